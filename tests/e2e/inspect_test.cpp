// `vexelscreen inspect` on projectors made by the tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "cli_support.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::ByteVec;
using test::RunCli;

class InspectCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vs_e2e_inspect_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string MakeProjector() {
        test::SwfBuilder b;
        b.frameCount = 42;
        b.fsExec("vexelprint(1,2,3,4)");
        b.fsExec("vexelexec(start.exe)");
        b.fsExec("vexelprint(7)");  // does not fit
        std::string p = (dir_ / "movie.exe").string();
        test::WriteProjectorFile(p, test::BuildProjector(b.build()));
        return p;
    }

    fs::path dir_;
};

TEST_F(InspectCli, PrintsTheGridAndRewritesTheFile) {
    std::string p = MakeProjector();
    const ByteVec before = test::ReadProjectorFile(p);
    auto r = RunCli({"inspect", p});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Movie width: 550\nMovie height: 400\nFlash version: 6\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Framecount: 42\nUses VexelPRINT: Yes\nUses VexelEXEC: Yes\nUses VexelSTORE: No\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Rewrote 2 of 3 commands"), std::string::npos);
    EXPECT_NE(r.out.find(": \"vexelprint(1,2,3,4)\" -> \"VSP.exe\\t1\\t2\\t3\\t4\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": \"vexelprint(7)\" left unchanged (does not fit: 16 bytes needed, 14 there)"),
              std::string::npos);
    const ByteVec after = test::ReadProjectorFile(p);
    EXPECT_EQ(after.size(), before.size());
    EXPECT_NE(after, before);

    // Again: nothing left to rewrite, the services are still found.
    r = RunCli({"inspect", p});
    EXPECT_NE(r.out.find("Uses VexelPRINT: Yes\nUses VexelEXEC: Yes\n"), std::string::npos);
    EXPECT_NE(r.out.find("Rewrote 0 of 1 command"), std::string::npos) << r.out;
    EXPECT_EQ(test::ReadProjectorFile(p), after);
}

TEST_F(InspectCli, DryRunAsJsonLeavesTheFileAlone) {
    std::string p = MakeProjector();
    const ByteVec before = test::ReadProjectorFile(p);
    auto r = RunCli({"inspect", p, "--dry-run", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::ReadProjectorFile(p), before);
    EXPECT_NE(r.out.find("\"dryRun\": true"), std::string::npos);
    EXPECT_NE(r.out.find("\"Movie width\": \"550\""), std::string::npos);
    EXPECT_NE(r.out.find("\"HasEXEC\": true"), std::string::npos);
    EXPECT_NE(r.out.find("\"fileWritten\": false"), std::string::npos);
    EXPECT_NE(r.out.find("\"oldText\": \"vexelexec(start.exe)\", \"newText\": \"VSE.exe\\tstart.exe\\t\""),
              std::string::npos) << r.out;
    // The offset reported is where the command stands in the file.
    const std::string text(before.begin(), before.end());
    const std::size_t at = text.find("vexelexec(start.exe)");
    EXPECT_NE(r.out.find("\"kind\": \"exec\", \"offset\": " + std::to_string(at)), std::string::npos);
}

TEST_F(InspectCli, RefusesMissingFilesAndOtherFiles) {
    auto r = RunCli({"inspect", (dir_ / "missing.exe").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Cannot open file"), std::string::npos);

    std::string p = (dir_ / "plain.exe").string();
    test::WriteProjectorFile(p, test::BuildPlayerPart());
    r = RunCli({"inspect", p});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("The selected file is not a Flash projector. Please use another file."), std::string::npos);
    EXPECT_TRUE(r.out.empty());
}

}  // namespace
}  // namespace vs
