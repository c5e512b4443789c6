// `vexelscreen stamp` on generated executables, read back by our own reader
// and, when installed, by windres and wrestool.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "exe/exe_image.h"
#include "exe/icon.h"
#include "exe/icon_replace.h"
#include "exe/jv_icon.h"
#include "exe/version_info.h"
#include "cli_support.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "platform/stream.h"
#include "support/ico_builder.h"
#include "support/pe_builder.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

bool HaveProgram(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}
// Output of a shell command, and its exit status.
std::pair<int, std::string> Shell(const std::string& cmd) {
    std::string out;
    FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return {-1, out};
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    return {::pclose(p), out};
}

class Stamp : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vs_e2e_stamp_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        exe_ = (dir_ / "target.exe").string();
        ico_ = (dir_ / "pick.ico").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    // An engine-like executable: icon group, a German version resource, a
    // relocation section behind the resources and an appended tail.
    test::PeLayout MakeExe() {
        test::VersionSpec german;
        german.language = 1031;
        german.strings = {{"FileDescription", "Alt"}};
        test::PeLayout layout;
        test::PeBuilder()
            .IconImage(1, test::MakeIconImage(32, 32, 8, 9))
            .IconGroup(1, {1})
            .Version(german)
            .RelocAfterResources()
            .Write(exe_, &layout);
        return layout;
    }
    void MakeIco() {
        test::WriteBytes(ico_, test::IcoFile({test::DibIcon(16, 16, 4, test::StandardPalette16(),
                                                            [](int x, int y) { return static_cast<std::uint32_t>((x + y) % 16); }),
                                              test::DibIcon(32, 32, 4, test::StandardPalette16(),
                                                            [](int x, int) { return static_cast<std::uint32_t>(x % 16); })}));
    }
    static std::vector<std::uint8_t> VersionData(const std::string& file, std::uint16_t language) {
        TExeImage image(file);
        TResourceList& root = image.ResourceTree();
        for (int i = 0; i < root.Count(); ++i)
            if (!root.Items(i).IsNamed() && root.Items(i).Id() == 16)
                for (const TResourceLanguage& l : root.Items(i).Children().Items(0).Languages())
                    if (l.language == language) return {l.pointer, l.pointer + l.size};
        return {};
    }

    fs::path dir_;
    std::string exe_, ico_;
};

TEST_F(Stamp, VersionStringsAndIcon) {
    MakeExe();
    MakeIco();
    auto r = RunCli({"stamp", exe_, "--version", "2.5.1.300", "--string", "CompanyName=Acme \xE2\x82\xAC",
                     "--string", "Comments=" + std::string(64, 'c'), "--icon", ico_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("version 2.5.1.300"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("Comments keeps only its first 55 characters"), std::string::npos) << r.err;

    VersionInfoValues v = DefaultVersionInfoValues();
    v.numbers = {2, 5, 1, 300};
    v.strings[0] = std::string(64, 'c');
    v.strings[1] = "Acme \xE2\x82\xAC";
    TVersionInfoRec rec;
    SetVersionInfoRec(rec, v);
    EXPECT_EQ(VersionData(exe_, 1033), BuildVersionBlock(rec));
    EXPECT_FALSE(VersionData(exe_, 1031).empty());  // the other language stays

    // The icon is the 32 x 32 image of the file, written with 256 colours.
    TExeImage image(exe_);
    auto slot = FindFirstIconImage(image.ResourceTree());
    ASSERT_TRUE(slot);
    TMemoryStream expected;
    TjvIcon::WriteIconFile(expected, LoadIconFile(ico_));
    auto file = image.FileBytes();
    EXPECT_TRUE(std::equal(expected.bytes().begin() + kIconFileImageOffset, expected.bytes().end(), file.begin() + slot->offset));
}

TEST_F(Stamp, DefaultsWhenOnlyAStringIsGiven) {
    MakeExe();
    auto r = RunCli({"stamp", exe_, "--string", "Product name=Viewer"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    VersionInfoValues v = DefaultVersionInfoValues();
    v.strings[9] = "Viewer";
    TVersionInfoRec rec;
    SetVersionInfoRec(rec, v);
    EXPECT_EQ(VersionData(exe_, 1033), BuildVersionBlock(rec));
}

TEST_F(Stamp, BadArgumentsAndFailuresLeaveTheFileUnchanged) {
    MakeExe();
    const auto before = ReadWholeFile(exe_);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::string notExe = (dir_ / "notes.txt").string();
    test::WriteBytes(notExe, {'t', 'e', 'x', 't'});
    const std::vector<Case> cases = {
        {{"stamp", exe_}, "nothing to stamp"},
        {{"stamp", exe_, "--version", "1.2.70000.0"}, "0 to 65535"},
        {{"stamp", exe_, "--version", "1.2.3.4.5"}, "four numbers"},
        {{"stamp", exe_, "--version", "1..3"}, "four numbers"},
        {{"stamp", exe_, "--string", "Copyright=me"}, "LegalCopyright"},
        {{"stamp", exe_, "--string", "novalue"}, "Key=Value"},
        {{"stamp", exe_, "--icon", (dir_ / "none.ico").string()}, "Cannot open file"},
        {{"stamp", exe_, "--icon", notExe}, "has no icon of its own"},
        {{"stamp", exe_, "--version", "2.0.0.0", "--icon", exe_ + ".ico"}, "Cannot open file"},
    };
    for (const Case& c : cases) {
        auto r = RunCli(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(ReadWholeFile(exe_), before) << c.message;
    }

    // A damaged icon file is reported with the system's message.
    test::WriteBytes(ico_, {0, 0, 2, 0, 1, 0});
    auto r = RunCli({"stamp", exe_, "--version", "3.0.0.0", "--icon", ico_});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Icon image is not valid"), std::string::npos) << r.err;
    EXPECT_EQ(ReadWholeFile(exe_), before);

    // The version would go in, but there is no icon to replace: nothing changes.
    test::PeBuilder().Version(test::VersionSpec{}).Write(exe_);
    const auto noIcon = ReadWholeFile(exe_);
    MakeIco();
    r = RunCli({"stamp", exe_, "--version", "3.0.0.0", "--icon", ico_});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no icon image to replace; the file is unchanged"), std::string::npos) << r.err;
    EXPECT_EQ(ReadWholeFile(exe_), noIcon);

    // Not an executable at all.
    r = RunCli({"stamp", notExe, "--version", "3.0.0.0"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("could not be updated"), std::string::npos) << r.err;
    EXPECT_EQ(ReadWholeFile(notExe), std::vector<std::uint8_t>({'t', 'e', 'x', 't'}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3) << "no working copy left behind";
}

TEST_F(Stamp, WindresReadsTheVersionBack) {
    if (!HaveProgram("i686-w64-mingw32-windres")) GTEST_SKIP() << "i686-w64-mingw32-windres is not installed";
    MakeExe();
    // windres takes only string entries as long as their text, so this uses the compact layout.
    auto r = RunCli({"stamp", exe_, "--compact-version", "--version", "2.5.1.300", "--string", "CompanyName=Acme",
                     "--string", "File version=" + std::string(64, '7')});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto [status, rc] = Shell("i686-w64-mingw32-windres -i '" + exe_ + "' -O rc");
    ASSERT_EQ(status, 0) << rc;
    EXPECT_NE(rc.find("FILEVERSION 2, 5, 1, 300"), std::string::npos) << rc;
    EXPECT_NE(rc.find("PRODUCTVERSION 1, 0, 0, 0"), std::string::npos) << rc;
    EXPECT_NE(rc.find("BLOCK \"040904E4\""), std::string::npos) << rc;
    EXPECT_NE(rc.find("VALUE \"CompanyName\", \"Acme\""), std::string::npos) << rc;
    EXPECT_NE(rc.find("VALUE \"FileDescription\", \"VexelSCREEN Flash Projector File\""), std::string::npos) << rc;
    EXPECT_NE(rc.find("VALUE \"FileVersion\", \"" + std::string(51, '7') + "\""), std::string::npos) << rc;
    EXPECT_NE(rc.find("VALUE \"SpecialBuild\", \"\""), std::string::npos) << rc;
    EXPECT_NE(rc.find("\"Alt\""), std::string::npos) << "the German resource stays\n" << rc;
}

TEST_F(Stamp, WrestoolListsEveryResource) {
    if (!HaveProgram("wrestool")) GTEST_SKIP() << "wrestool is not installed";
    MakeExe();
    MakeIco();
    auto before = Shell("wrestool -l '" + exe_ + "'");
    ASSERT_EQ(before.first, 0) << before.second;
    auto r = RunCli({"stamp", exe_, "--version", "1.0.0.7", "--icon", ico_});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto after = Shell("wrestool -l '" + exe_ + "'");
    ASSERT_EQ(after.first, 0) << after.second;
    EXPECT_NE(after.second.find("--type=16 --name=1 --language=1033"), std::string::npos) << after.second;
    EXPECT_NE(after.second.find("--type=16 --name=1 --language=1031"), std::string::npos) << after.second;
    EXPECT_NE(after.second.find("--type=14 --name=1"), std::string::npos) << after.second;
    EXPECT_NE(after.second.find("--type=3 --name=1"), std::string::npos) << after.second;
    // The icon is extracted as a 256-colour icon.
    auto ico = Shell("wrestool -x --type=14 '" + exe_ + "' -o '" + (dir_ / "out.ico").string() + "'");
    ASSERT_EQ(ico.first, 0) << ico.second;
    EXPECT_EQ(LoadIconFile((dir_ / "out.ico").string()).Width(), 32);
}

}  // namespace
}  // namespace vs
