// The `resources` command, and third-party readers on files that the resource
// updater wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <sys/wait.h>

#include "exe/resource_updater.h"
#include "cli_support.h"
#include "support/pe_builder.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::MakeIconImage;
using test::PeBuilder;
using test::PeBytes;
using test::PeLayout;
using test::RunCli;
using test::U16;
using test::VersionSpec;

class ResourcesCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vs_resources_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    fs::path dir_;
};

PeBuilder Engine() {
    VersionSpec english;
    english.fileVersion[0] = 2;
    english.fileVersion[1] = 5;
    english.fileVersion[2] = 1;
    english.fileVersion[3] = 300;
    english.strings = {{"FileDescription", "Engine"}, {"CompanyName", "Vexel"}};
    VersionSpec german = english;
    german.language = 1031;
    german.strings = {{"FileDescription", "Maschine"}};
    return PeBuilder()
        .IconImage(1, MakeIconImage(32, 32, 8, 5))
        .IconImage(2, MakeIconImage(16, 16, 4, 6))
        .IconGroup(1, {1, 2})
        .Version(english)
        .Version(german)
        .Resource(ResourceId::Named(U16("PAYLOAD")), ResourceId::Number(1), 0, PeBytes(100, 7));
}

// A version block in the generator's fixed layout: 1784 bytes, string slots of
// 136 bytes whose value length fields are not the values' lengths.
PeBytes FixedLayoutBlock() {
    PeBytes b(1784, 0);
    auto u16at = [&](std::size_t at, std::uint16_t v) { test::PutLe16(b, at, v); };
    auto textAt = [&](std::size_t at, const std::string& s) {
        for (std::size_t i = 0; i < s.size(); ++i) u16at(at + 2 * i, static_cast<std::uint8_t>(s[i]));
    };
    u16at(0, 1784);
    u16at(2, 52);
    textAt(6, "VS_VERSION_INFO");
    test::PutLe32(b, 40, 0xFEEF04BD);
    test::PutLe32(b, 44, 0x00010000);
    test::PutLe32(b, 48, 0x00020005);
    test::PutLe32(b, 52, 0x0001012C);
    test::PutLe32(b, 56, 0x00010000);
    u16at(92, 1692);
    textAt(98, "StringFileInfo");
    u16at(128, 1656);
    textAt(134, "040904E4");
    const char* keys[12] = {"Comments", "CompanyName", "FileDescription", "FileVersion", "InternalName",
                            "LegalCopyright", "LegalTrademarks", "OriginalFilename", "PrivateBuild",
                            "ProductName", "ProductVersion", "SpecialBuild"};
    for (int i = 0; i < 12; ++i) {
        std::size_t slot = 152 + 136 * i;
        std::size_t k = std::string(keys[i]).size();
        u16at(slot, 136);
        u16at(slot + 2, static_cast<std::uint16_t>(k % 2 ? 64 - k : 64 - k - 1));
        u16at(slot + 4, 1);
        textAt(slot + 6, keys[i]);
        std::size_t valueAt = (slot + 6 + 2 * k + 2 + 3) & ~std::size_t{3};
        if (i == 0) textAt(valueAt, "A comment");
        if (i == 3) textAt(valueAt, "2.5.1.300");
    }
    return b;
}

TEST_F(ResourcesCommand, ListsTreeVersionAndFirstIconImage) {
    PeLayout layout;
    Engine().Write(Path("e.exe"), &layout);
    auto r = RunCli({"resources", Path("e.exe")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    char expected[200];
    // Rows in directory order: the named type, icon images, group, versions.
    std::snprintf(expected, sizeof expected, "3 (icon)               1                    1033  0x%08X  2216",
                  layout.dataAt[0].first);
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
    EXPECT_LT(r.out.find("PAYLOAD"), r.out.find("3 (icon)"));
    EXPECT_LT(r.out.find("14 (group_icon)"), r.out.find("16 (version)"));
    EXPECT_NE(r.out.find("Version information (language 1031):"), std::string::npos);
    EXPECT_NE(r.out.find("File version:    2.5.1.300"), std::string::npos);
    EXPECT_NE(r.out.find("FileDescription = Maschine"), std::string::npos);
    EXPECT_NE(r.out.find("CompanyName = Vexel"), std::string::npos);
    EXPECT_NE(r.out.find("Translation: language 1033, code page 1252"), std::string::npos);
    std::snprintf(expected, sizeof expected, "First icon image: offset 0x%08X (%u), size 2216", layout.dataAt[0].first,
                  layout.dataAt[0].first);
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
}

TEST_F(ResourcesCommand, JsonForScripts) {
    PeLayout layout;
    Engine().Write(Path("e.exe"), &layout);
    auto r = RunCli({"resources", Path("e.exe"), "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("{\"type\": \"PAYLOAD\", \"name\": 1, \"language\": 0, \"offset\": " +
                         std::to_string(layout.dataAt[5].first) + ", \"size\": 100}"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"fileVersion\": \"2.5.1.300\""), std::string::npos);
    EXPECT_NE(r.out.find("\"strings\": {\"FileDescription\": \"Engine\", \"CompanyName\": \"Vexel\"}"), std::string::npos);
    EXPECT_NE(r.out.find("\"firstIconImage\": {\"offset\": " + std::to_string(layout.dataAt[0].first) +
                         ", \"size\": 2216}"),
              std::string::npos);

    PeBuilder().Resource(10, 1, 0, {1}).Write(Path("plain.exe"));
    r = RunCli({"resources", Path("plain.exe"), "--json"});
    EXPECT_NE(r.out.find("\"versions\": [],\n  \"firstIconImage\": null"), std::string::npos) << r.out;
}

TEST_F(ResourcesCommand, ReadsTheFixedLayoutVersionBlock) {
    PeBuilder().Resource(16, 1, 1033, FixedLayoutBlock()).Write(Path("v.exe"));
    auto r = RunCli({"resources", Path("v.exe")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("File version:    2.5.1.300"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Product version: 1.0.0.0"), std::string::npos);
    EXPECT_NE(r.out.find("    Comments = A comment\n    CompanyName = \n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("    FileVersion = 2.5.1.300\n"), std::string::npos);
    EXPECT_NE(r.out.find("    SpecialBuild = \n"), std::string::npos);
}

TEST_F(ResourcesCommand, ReportsFilesItCannotRead) {
    auto r = RunCli({"resources", Path("missing.exe")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Couldn't open: " + Path("missing.exe")), std::string::npos) << r.err;

    PeBytes noMz = Engine().Build();
    noMz[0] = 'X';
    {
        FILE* f = std::fopen(Path("nomz.exe").c_str(), "wb");
        std::fwrite(noMz.data(), 1, noMz.size(), f);
        std::fclose(f);
    }
    r = RunCli({"resources", Path("nomz.exe")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("unrecognized file format"), std::string::npos);

    PeBuilder().NoResourceSection().Write(Path("bare.exe"));
    r = RunCli({"resources", Path("bare.exe")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("No resources in this file."), std::string::npos);
}

// ------------------------------------------------------------ third-party readers

bool HaveTool(const char* name) {
    std::string cmd = std::string("command -v ") + name + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::pair<int, std::string> RunShell(const std::string& cmd) {
    std::string out;
    FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return {-1, ""};
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = ::pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// wrestool's listing without offsets: "--type=3 --name=1 --language=1033".
std::set<std::string> WrestoolList(const std::string& file) {
    auto [code, out] = RunShell("wrestool -l '" + file + "'");
    EXPECT_EQ(code, 0) << out;
    std::set<std::string> entries;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::size_t bracket = line.find(" [");
        if (line.rfind("--type", 0) == 0) entries.insert(line.substr(0, bracket));
    }
    return entries;
}

TEST_F(ResourcesCommand, ThirdPartyReadersAcceptWhatTheUpdaterWrote) {
    const bool haveWindres = HaveTool("i686-w64-mingw32-windres");
    const bool haveWrestool = HaveTool("wrestool");
    if (!haveWindres && !haveWrestool) GTEST_SKIP() << "neither windres nor wrestool is installed";

    // The engine's layout: .reloc after .rsrc, and a section that must grow.
    std::string file = Path("engine.exe");
    Engine().RelocAfterResources().Write(file);
    std::set<std::string> before;
    if (haveWrestool) before = WrestoolList(file);

    VersionSpec stamped;
    stamped.fileVersion[0] = 7;
    stamped.fileVersion[3] = 42;
    stamped.strings = {{"FileDescription", "Stamped by the updater"}, {"Comments", std::string(3000, 'c')}};
    ResourceUpdater updater(file);
    updater.Update(ResourceId::Number(16), ResourceId::Number(1), 1033, test::MakeVersionBlock(stamped));
    updater.Update(ResourceId::Number(10), ResourceId::Number(77), 1033, PeBytes(5000, 0x5A));
    ASSERT_NO_THROW(updater.Commit());

    if (haveWindres) {
        auto [code, rc] = RunShell("i686-w64-mingw32-windres -i '" + file + "' -O rc");
        EXPECT_EQ(code, 0) << rc;
        EXPECT_NE(rc.find("FILEVERSION 7, 0, 0, 42"), std::string::npos) << rc;
        EXPECT_NE(rc.find("VALUE \"FileDescription\", \"Stamped by the updater\""), std::string::npos);
        EXPECT_NE(rc.find("VALUE \"FileDescription\", \"Maschine\""), std::string::npos);  // 1031 kept
        EXPECT_NE(rc.find("77 RCDATA"), std::string::npos);
        // And the objects tool reads the moved sections.
        auto [hcode, headers] = RunShell("i686-w64-mingw32-objdump -h '" + file + "'");
        if (hcode == 0) EXPECT_NE(headers.find(".reloc"), std::string::npos);
    }
    if (haveWrestool) {
        std::set<std::string> after = WrestoolList(file);
        std::set<std::string> expected = before;
        expected.insert("--type=10 --name=77 --language=1033");
        EXPECT_EQ(after, expected);
        EXPECT_EQ(before.size(), 6u);
    }
    // Our own listing agrees.
    auto r = RunCli({"resources", file});
    EXPECT_NE(r.out.find("FileDescription = Stamped by the updater"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("File version:    7.0.0.42"), std::string::npos);
}

// An executable linked by mingw-w64 itself: code, data, imports, TLS, .rsrc,
// then .reloc, DWARF sections and a symbol table behind it.
TEST_F(ResourcesCommand, RealLinkedExecutableGrowsAndStaysReadable) {
    if (!HaveTool("i686-w64-mingw32-gcc") || !HaveTool("i686-w64-mingw32-windres") || !HaveTool("wrestool"))
        GTEST_SKIP() << "the mingw-w64 cross tools or wrestool are not installed";
    {
        FILE* c = std::fopen(Path("app.c").c_str(), "w");
        std::fputs("int main(void) { return 0; }\n", c);
        std::fclose(c);
        FILE* rc = std::fopen(Path("app.rc").c_str(), "w");
        std::fputs("2 RCDATA { \"hello\" }\nSTRINGTABLE { 1, \"first\" 2, \"second\" }\n", rc);
        std::fclose(rc);
    }
    auto [code, log] = RunShell("cd '" + dir_.string() +
                                "' && i686-w64-mingw32-windres app.rc -O coff -o app.res && "
                                "i686-w64-mingw32-gcc -g app.c app.res -o app.exe && "
                                "i686-w64-mingw32-strip -o stripped.exe app.exe");
    ASSERT_EQ(code, 0) << log;
    for (const char* name : {"app.exe", "stripped.exe"}) {
        std::string file = Path(name);
        std::set<std::string> before = WrestoolList(file);
        ASSERT_EQ(before.size(), 2u);
        ResourceUpdater updater(file);
        updater.Update(ResourceId::Number(16), ResourceId::Number(1), 1033, test::MakeVersionBlock(VersionSpec{}));
        updater.Update(ResourceId::Number(10), ResourceId::Number(77), 1033, PeBytes(20000, 0x41));
        ASSERT_NO_THROW(updater.Commit()) << name;

        std::set<std::string> expected = before;
        expected.insert("--type=10 --name=77 --language=1033");
        expected.insert("--type=16 --name=1 --language=1033");
        EXPECT_EQ(WrestoolList(file), expected) << name;
        auto [rcCode, rc] = RunShell("i686-w64-mingw32-windres -i '" + file + "' -O rc");
        EXPECT_EQ(rcCode, 0) << rc;
        EXPECT_NE(rc.find("\"second\""), std::string::npos) << rc;
        EXPECT_NE(rc.find("VALUE \"FileDescription\", \"Test file\""), std::string::npos) << rc;
        // The object tools still read every section and, unstripped, the symbols.
        auto [hCode, headers] = RunShell("i686-w64-mingw32-objdump -h -t '" + file + "'");
        EXPECT_EQ(hCode, 0) << headers;
        EXPECT_NE(headers.find(".reloc"), std::string::npos);
        if (std::string(name) == "app.exe") EXPECT_NE(headers.find("crtexe.c"), std::string::npos) << headers;
    }
}

}  // namespace
}  // namespace vs
