// `vexelscreen show` and `vexelscreen extract` on packages made by the tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli_support.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

class ShowExtract : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        fs::create_directories(dir_ / "src" / "a");
        fs::create_directories(dir_ / "src" / "b");
        fs::create_directories(dir_ / "src" / "c");
        fs::create_directories(dir_ / "src" / "d");
    }

    std::string Make(const std::string& rel, const std::string& content) {
        std::string p = (dir_ / "src" / rel).string();
        std::ofstream(p, std::ios::binary) << content;
        return p;
    }
    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    // A fake engine followed by a package with a main file and two files of one name.
    std::string MakePackage(bool accented = false) {
        s_TVexelProjector p;
        p.CaptionText = "My movie";
        p.MainFile().CompressMode = 3;
        p.MainFile().SetFilename(Make("movie.exe", std::string(5000, 'M')));
        p.Files().DefaultCompressMode = 1;
        p.Files().AddFile(Make("a/readme.txt", "first"));
        p.Files().AddFile(Make("b/README.TXT", "second"));
        p.Files().AddFile((dir_ / "src" / "missing.dat").string());
        if (accented) {  // one file on Windows, where names are compared case-insensitively
            p.Files().AddFile(Make("c/\u00C4\u0160.txt", "upper"));
            p.Files().AddFile(Make("d/\u00E4\u0161.txt", "lower"));
        }
        std::string out = (dir_ / "built.exe").string();
        TFileStream f(out, FileMode::Create);
        f.WriteBuffer("MZ fake engine", 14);
        AppendPackage(f, p);
        return out;
    }

};

TEST_F(ShowExtract, ShowPrintsPropertiesAndFiles) {
    auto r = RunCli({"show", MakePackage()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Built projector; settings stream at offset 14\nEngine: 32-bit\n", 0), 0u)
        << "an engine that is no 64-bit executable counts as 32-bit\n" << r.out;
    EXPECT_NE(r.out.find("CaptionText = 'My movie'"), std::string::npos);
    EXPECT_NE(r.out.find("PositionH = spphRight"), std::string::npos);
    EXPECT_NE(r.out.find("movie.exe', 5000 bytes, mode 3"), std::string::npos);
    EXPECT_NE(r.out.find("Files: 3"), std::string::npos);

    auto j = RunCli({"show", "--json", MakePackage()});
    ASSERT_EQ(j.exitCode, 0);
    EXPECT_NE(j.out.find("\"CaptionText\": \"My movie\""), std::string::npos) << j.out;
    EXPECT_NE(j.out.find("\"Filesize\": 5000, \"CompressMode\": 3"), std::string::npos);
}

TEST_F(ShowExtract, ExtractWritesEveryFileWithoutClobbering) {
    std::string pkg = MakePackage(true);
    fs::path out = dir_ / "out";
    auto r = RunCli({"extract", pkg, out.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Slurp(out / "movie.exe"), std::string(5000, 'M'));
    EXPECT_EQ(Slurp(out / "readme.txt"), "first");
    EXPECT_EQ(Slurp(out / "README (2).TXT"), "second");
    EXPECT_EQ(Slurp(out / fs::u8path("\u00C4\u0160.txt")), "upper");
    EXPECT_EQ(Slurp(out / fs::u8path("\u00E4\u0161 (2).txt")), "lower");
    EXPECT_NE(r.err.find("missing.dat"), std::string::npos);

    // A second run does not replace what is there unless asked to.
    std::ofstream(out / "readme.txt") << "mine";
    auto again = RunCli({"extract", pkg, out.string()});
    EXPECT_NE(again.exitCode, 0);
    EXPECT_EQ(Slurp(out / "readme.txt"), "mine");
    auto forced = RunCli({"extract", "--force", pkg, out.string()});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(Slurp(out / "readme.txt"), "first");
}

// A file that cannot be written (here: larger than the process may write, as
// on a full disk) ends the extraction with its name and the system's reason,
// and none of the other files is kept.
TEST_F(ShowExtract, ExtractIsAllOrNothing) {
    s_TVexelProjector p;
    p.MainFile().CompressMode = 3;
    p.MainFile().SetFilename(Make("movie.exe", std::string(100, 'M')));
    std::string big(200000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 2654435761u >> 13);
    p.Files().AddFile(Make("a/big.bin", big));
    const std::string pkg = (dir_ / "built.exe").string();
    {
        TFileStream f(pkg, FileMode::Create);
        f.WriteBuffer("MZ fake engine", 14);
        AppendPackage(f, p);
    }
    const fs::path out = dir_ / "out";
    // 128 blocks of 512 bytes: the movie fits, the big file does not.
    const auto r = test::RunCliAfter("trap '' XFSZ; ulimit -f 128;", {"extract", pkg, out.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Stream write error: " + (out / "big.bin").string() + ": File too large"), std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::is_directory(out));
    EXPECT_TRUE(fs::is_empty(out)) << "nothing kept, no temporary file left";
}

TEST_F(ShowExtract, ErrorsCarryTheStreamMessage) {
    std::string junk = Make("junk.bin", "MZ not a projector at all");
    auto r = RunCli({"show", junk});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Invalid stream format"), std::string::npos) << r.err;
    auto missing = RunCli({"show", (dir_ / "nope.exe").string()});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Cannot open file"), std::string::npos);

    // A package whose stream is cut short.
    std::string pkg = MakePackage();
    std::string bytes = Slurp(pkg);
    std::string cut = bytes.substr(0, 200) + bytes.substr(bytes.size() - 4);
    std::ofstream(pkg, std::ios::binary | std::ios::trunc) << cut;
    auto c = RunCli({"show", pkg});
    EXPECT_EQ(c.exitCode, 1);
    EXPECT_NE(c.err.find("Stream read error"), std::string::npos) << c.err;
}

TEST_F(ShowExtract, StoredNamesAreShownAsUtf8AndLocalFilesAreNeverRead) {
    // A package naming a file of this machine without carrying its data, and
    // a file whose name holds letters beyond ASCII.
    std::string secret = Make("secret.txt", "not for the package");
    s_TVexelProjector p;
    p.CaptionText = "Caf\xc3\xa9";
    p.MainFile().SetFilenameOnly(secret);
    p.MainFile().Filesize = 19;
    p.Files().AddFile(Make("caf\xc3\xa9.txt", "menu"));
    std::string out = (dir_ / "built.exe").string();
    {
        TFileStream f(out, FileMode::Create);
        f.WriteBuffer("MZ", 2);
        AppendPackage(f, p);
    }
    // The stream holds the 8-bit form.
    EXPECT_NE(Slurp(out).find("Caf\xe9"), std::string::npos);

    auto shown = RunCli({"show", out});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_NE(shown.out.find("CaptionText = 'Caf\xc3\xa9'"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("caf\xc3\xa9.txt', 4 bytes"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("secret.txt', 19 bytes, mode 0 (default), 0 bytes stored (no data)"), std::string::npos)
        << shown.out;

    fs::path target = dir_ / "out";
    auto r = RunCli({"extract", out, target.string()});
    EXPECT_EQ(Slurp(target / "caf\xc3\xa9.txt"), "menu");
    EXPECT_FALSE(fs::exists(target / "secret.txt")) << "a local file named by the package was copied";
    EXPECT_NE(r.err.find("'" + secret + "': the package holds no data for it"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace vs
