// `vexelscreen build`, `show` of a project and `datetime` on generated fixtures.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_support.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "support/bmp_builder.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

class BuildCommand : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        if (!fs::exists(fs::path(VS_TOOLS_DIR) / "VSengine.exe")) GTEST_SKIP() << "the engine was not built";
        test::SwfBuilder movie;
        movie.fsExec("vexelprint(0,0,0,0)");
        test::WriteProjectorFile(Path("movie.exe"), test::BuildProjector(movie.build()));
        std::ofstream(Path("readme.txt")) << "read me";
        std::vector<std::uint32_t> pixels(40 * 30, 0xFFFFFF);
        for (int i = 0; i < 600; ++i) pixels[static_cast<std::size_t>(i)] = 0x102030;
        test::WriteFileBytes(Path("shape.bmp"), test::MakeBmp({}, 40, 30, pixels));
    }
    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    test::CliResult SaveProject() {
        return RunCli({"build", "--projector", Path("movie.exe"), "--add", Path("readme.txt"), "--shape", Path("shape.bmp"),
                       "--version", "2.1.0.7", "--string", "CompanyName=Caf\xc3\xa9 Ltd", "--compression", "2", "--set",
                       "ShowPopupMenu=True", "--save-project", Path("p.vsp")});
    }
};

TEST_F(BuildCommand, ProjectAndOptionsGiveTheSameBytesOnEveryRun) {
    ASSERT_EQ(SaveProject().exitCode, 0);
    EXPECT_FALSE(fs::exists(Path("VexelSCREEN Projector.exe"))) << "--save-project builds only with -o";
    auto a = RunCli({"build", Path("p.vsp"), "-o", Path("a.exe"), "--jobs", "1"});
    ASSERT_EQ(a.exitCode, 0) << a.err;
    auto b = RunCli({"build", Path("p.vsp"), "-o", Path("b.exe"), "--json"});
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_EQ(Slurp(Path("a.exe")), Slurp(Path("b.exe"))) << "one thread and all cores, and two runs";
    EXPECT_NE(b.out.find("\"version\": \"2.1.0.7\""), std::string::npos) << b.out;
    EXPECT_NE(b.out.find("\"packageOffset\": "), std::string::npos);
    EXPECT_NE(b.out.find("VSP.exe"), std::string::npos) << "the print tool for the movie's print command";

    s_TVexelProjector s;
    ReadSettingsFile(Path("a.exe"), s);
    EXPECT_TRUE(s.ShowPopupMenu) << "--set acts after the mapping";
    EXPECT_EQ(s.BorderStyle, TspBorder::spbNone) << "the shape's \"No border\"";
    EXPECT_EQ(s.WindowWidth, 40);
    EXPECT_EQ(s.Files().Items(0).CompressMode, 2);

    // The project's five parts.
    auto shown = RunCli({"show", Path("p.vsp")});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    for (const char* want : {"Project file", "Shape picture: TBitmap", "40 x 30", "Version 2.1.0.7",
                             "Company name = 'Caf\xc3\xa9 Ltd'", "Icon: TIcon", "compression 2"})
        EXPECT_NE(shown.out.find(want), std::string::npos) << want << "\n" << shown.out;
    auto json = RunCli({"show", "--json", Path("p.vsp")});
    EXPECT_NE(json.out.find("\"fileRecord\": {\"outputName\": \"VexelSCREEN Projector.exe\""), std::string::npos)
        << json.out;
}

TEST_F(BuildCommand, MissingFilesRefusedProjectorsAndBadOptionsFailLoudly) {
    ASSERT_EQ(SaveProject().exitCode, 0);
    fs::rename(Path("readme.txt"), Path("moved.txt"));
    auto missing = RunCli({"build", Path("p.vsp"), "-o", Path("out.exe")});
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.err.find(Path("readme.txt")), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(Path("out.exe")));

    auto retrieved = RunCli({"build", Path("p.vsp"), "-o", Path("out.exe"), "--retrieve", Path("got")});
    ASSERT_EQ(retrieved.exitCode, 0) << retrieved.err;
    EXPECT_EQ(Slurp(Path("got/readme.txt")), "read me");
    s_TVexelProjector s;
    ReadSettingsFile(Path("out.exe"), s);
    EXPECT_EQ(s.Files().Items(0).Filename(), Path("got/readme.txt"));

    // A file that is not a Flash projector, a project that does not load.
    std::ofstream(Path("junk.exe")) << "MZ junk";
    auto refused = RunCli({"build", "--projector", Path("junk.exe"), "-o", Path("junk out.exe")});
    EXPECT_NE(refused.exitCode, 0);
    EXPECT_NE(refused.err.find("not a Flash projector"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(Path("junk out.exe")));
    auto broken = RunCli({"build", Path("junk.exe"), "-o", Path("junk out.exe")});
    EXPECT_NE(broken.exitCode, 0);
    EXPECT_FALSE(fs::exists(Path("junk out.exe")));

    for (std::vector<std::string> bad : {std::vector<std::string>{"--set", "Shape=1"},
                                         {"--set", "BorderStyle=round"},
                                         {"--set", "WindowX=ten"},
                                         {"--version", "1.2.3.70000"},
                                         {"--string", "Colour=red"},
                                         {"--transparent", "red", "--shape", Path("shape.bmp")}}) {
        std::vector<std::string> args = {"build", "--projector", Path("movie.exe"), "-o", Path("bad.exe")};
        args.insert(args.end(), bad.begin(), bad.end());
        auto r = RunCli(args);
        EXPECT_NE(r.exitCode, 0) << bad[0];
        EXPECT_FALSE(fs::exists(Path("bad.exe"))) << bad[0];
    }

    // A generator whose Tools folder is missing has no engine.
    fs::copy_file(VS_CLI, Path("lonely"));
    fs::permissions(Path("lonely"), fs::perms::owner_all);
    const std::string cmd = "'" + Path("lonely") + "' build --projector '" + Path("movie.exe") + "' -o '" +
                            Path("lonely.exe") + "' 2>/dev/null";
    EXPECT_NE(std::system(cmd.c_str()), 0);
    EXPECT_FALSE(fs::exists(Path("lonely.exe")));
}

TEST_F(BuildCommand, DatetimeSample) {
    auto r = RunCli({"datetime", Path("dt.txt"), "--name", "1=Year", "--name", "Time_MS=ms"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string line = Slurp(Path("dt.txt"));
    EXPECT_EQ(line.rfind("Year=20", 0), 0u) << line;
    EXPECT_NE(line.find("&Date_MM="), std::string::npos);
    EXPECT_NE(line.find("&ms="), std::string::npos);
    EXPECT_EQ(line.substr(line.size() - 22), "&VexelDateTimeLOADED=1");
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_NE(RunCli({"datetime", Path("x.txt"), "--name", "9=x"}).exitCode, 0);
}

}  // namespace
}  // namespace vs
