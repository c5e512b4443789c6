// The same projector on both systems: the Windows command line under wine
// and the Linux one build the same projector from the same inputs and the
// same project, apart from the stored file names, each in its own system's
// spelling; and they cut the same region out of the same bitmaps (GDI under
// wine, pixman on Linux).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/wait.h>

#include "cli_support.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "platform/cp1252.h"
#include "platform/stream.h"
#include "support/bmp_builder.h"
#include "support/ico_builder.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "support/temp_dir.h"
#include "support/test_signer.h"
#include "support/wine_loader.h"
#include "swf/projector_movie.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::CliResult;
using test::RunCli;
using Bytes = std::vector<std::uint8_t>;
using PathFn = std::function<std::string(const std::string&)>;

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A Linux path as wine's Windows programs spell it (drive Z: is /).
std::string WinePath(const std::string& path) {
    std::string out = "Z:" + path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

std::string FilePart(const std::string& name) {
    const std::size_t cut = name.find_last_of("/\\");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

class SameOnBothSystems : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        if (!fs::exists(VS_WINDOWS_CLI)) GTEST_SKIP() << "the Windows build made no vexelscreen.exe";
        // The Windows command line is a 64-bit program.
        VS_WINE_LOADER_OR_SKIP(wine, VS_WINE_LOADER, 64);
    }

    CliResult RunWindows(const std::vector<std::string>& args) {
        std::string cmd = "sh " + Quote(VS_WINE_RUN) + " " + Quote(VS_WINEPREFIX) + " " + Quote(VS_WINDOWS_CLI);
        for (const std::string& a : args) cmd += " " + Quote(a);
        cmd += " >" + Quote(Path("win.out")) + " 2>" + Quote(Path("win.err")) + " </dev/null";
        const int status = std::system(cmd.c_str());
        CliResult r;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = Slurp(Path("win.out"));
        r.err = Slurp(Path("win.err"));
        fs::remove(Path("win.out"));
        fs::remove(Path("win.err"));
        return r;
    }

    // The names a package stores: the projector, the hook library, the files.
    static std::vector<std::string> StoredNames(const s_TVexelProjector& s) {
        std::vector<std::string> names = {s.MainFile().Filename(), s.DLLFile().Filename()};
        for (int i = 0; i < s.Files().Count(); ++i) names.push_back(s.Files().Items(i).Filename());
        return names;
    }

    // Checks that two built projectors are the same but for the stored names:
    // the engine part byte for byte, and the package once each Windows name
    // is put back as the Linux one.
    void ExpectSameProjector(const std::string& linux, const std::string& windows, bool windowsSpelling) {
        s_TVexelProjector ls, ws;
        const LocatedSettings lp = ReadSettingsFile(linux, ls);
        const LocatedSettings wp = ReadSettingsFile(windows, ws);
        const std::string lb = Slurp(linux), wb = Slurp(windows);
        ASSERT_EQ(lp.offset, wp.offset) << "engine parts of different lengths";
        EXPECT_TRUE(lb.compare(0, lp.offset, wb, 0, wp.offset) == 0) << "the engine parts differ";

        const std::vector<std::string> ln = StoredNames(ls), wn = StoredNames(ws);
        ASSERT_EQ(ln.size(), wn.size());
        std::string package = wb.substr(wp.offset);
        for (std::size_t i = 0; i < ln.size(); ++i) {
            EXPECT_EQ(FilePart(ln[i]), FilePart(wn[i])) << i;
            if (windowsSpelling && !wn[i].empty()) {
                EXPECT_EQ(wn[i].find('/'), std::string::npos) << wn[i];
                EXPECT_EQ(wn[i].rfind("Z:\\", 0), 0u) << wn[i];
            }
            if (ln[i] == wn[i]) continue;
            const std::string from = AnsiString::FromUtf8(wn[i]).bytes(), to = AnsiString::FromUtf8(ln[i]).bytes();
            ASSERT_LT(from.size(), 256u);
            ASSERT_LT(to.size(), 256u);
            const std::string fromRecord = std::string(1, static_cast<char>(from.size())) + from;
            const std::string toRecord = std::string(1, static_cast<char>(to.size())) + to;
            const std::size_t at = package.find(fromRecord);
            ASSERT_NE(at, std::string::npos) << wn[i];
            package.replace(at, fromRecord.size(), toRecord);
        }
        // The offset at the end is the same; the rest must now be too.
        EXPECT_TRUE(package == lb.substr(lp.offset)) << "settings, shape or packed bytes differ";
    }

    // Builds from the options with each system's own spelling of the paths,
    // then the Linux project on both systems, and compares the projectors.
    void Check(const std::function<std::vector<std::string>(const PathFn&)>& options) {
        const PathFn same = [](const std::string& p) { return p; };
        std::vector<std::string> linuxArgs = options(same);
        linuxArgs.insert(linuxArgs.end(), {"-o", Path("linux.exe"), "--save-project", Path("linux.vsp")});
        const CliResult l = RunCli(linuxArgs);
        ASSERT_EQ(l.exitCode, 0) << l.err;
        std::vector<std::string> windowsArgs = options(WinePath);
        windowsArgs.insert(windowsArgs.end(), {"-o", WinePath(Path("windows.exe"))});
        const CliResult w = RunWindows(windowsArgs);
        if (w.exitCode == 77) GTEST_SKIP() << w.err;
        ASSERT_EQ(w.exitCode, 0) << w.err;
        ExpectSameProjector(Path("linux.exe"), Path("windows.exe"), true);

        const CliResult lp = RunCli({"build", Path("linux.vsp"), "-o", Path("linux-project.exe")});
        ASSERT_EQ(lp.exitCode, 0) << lp.err;
        const CliResult wp = RunWindows({"build", WinePath(Path("linux.vsp")), "-o", WinePath(Path("windows-project.exe"))});
        ASSERT_EQ(wp.exitCode, 0) << wp.err;
        ExpectSameProjector(Path("linux-project.exe"), Path("windows-project.exe"), false);
    }

    void Movie(const std::string& name, const std::function<void(test::SwfBuilder&)>& commands) {
        test::SwfBuilder movie;
        commands(movie);
        movie.filler(Bytes(5000, 0x5A));
        test::WriteProjectorFile(Path(name), test::BuildProjector(movie.build()));
    }
};

TEST_F(SameOnBothSystems, ProjectorsFromOptionsAndFromTheSameProject) {
    // A printing movie with a shape, an additional file and version texts.
    Movie("movie.exe", [](test::SwfBuilder& b) { b.fsExec("vexelprint(0,0,0,0)"); });
    std::ofstream(Path("readme.txt")) << "read me";
    std::vector<std::uint32_t> pixels(40 * 30, 0xFFFFFF);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            if ((x - 20) * (x - 20) + (y - 15) * (y - 15) < 150) pixels[static_cast<std::size_t>(y * 40 + x)] = 0x102030;
    test::WriteFileBytes(Path("shape.bmp"), test::MakeBmp({}, 40, 30, pixels));
    Check([&](const PathFn& p) {
        return std::vector<std::string>{"build", "--projector", p(Path("movie.exe")), "--add", p(Path("readme.txt")),
                                        "--shape", p(Path("shape.bmp")), "--version", "2.1.0.7", "--string",
                                        "CompanyName=Caf\xc3\xa9 Ltd", "--compression", "2", "--set", "ShowPopupMenu=True"};
    });
}

TEST_F(SameOnBothSystems, CompressedMoviesProjectorsOfMoviesAndMoviesTakenOut) {
    test::SwfBuilder movie;
    movie.fsExec("vexelexec(readme.txt, )").filler(Bytes(20000, 0x41));
    const Bytes fws = movie.build();
    test::WriteProjectorFile(Path("player.exe"), test::BuildPlayerPart());
    for (MovieCompression c : {MovieCompression::Zlib, MovieCompression::Lzma}) {
        SCOPED_TRACE(MovieCompressionName(c));
        test::WriteProjectorFile(Path("movie.swf"), PackMovie(fws, c));
        ASSERT_EQ(RunCli({"projector", "--player", Path("player.exe"), Path("movie.swf"), "-o", Path("l.exe")}).exitCode, 0);
        const CliResult w = RunWindows({"projector", "--player", WinePath(Path("player.exe")), WinePath(Path("movie.swf")),
                                        "-o", WinePath(Path("w.exe"))});
        if (w.exitCode == 77) GTEST_SKIP() << w.err;
        ASSERT_EQ(w.exitCode, 0) << w.err;
        EXPECT_TRUE(Slurp(Path("l.exe")) == Slurp(Path("w.exe"))) << "the projectors differ";
        const char* method = c == MovieCompression::Zlib ? "zlib" : "lzma";
        ASSERT_EQ(RunCli({"movie", Path("l.exe"), "-o", Path("l.swf"), "--compress", method}).exitCode, 0);
        ASSERT_EQ(RunWindows({"movie", WinePath(Path("w.exe")), "-o", WinePath(Path("w.swf")), "--compress", method}).exitCode, 0);
        EXPECT_TRUE(Slurp(Path("l.swf")) == Slurp(Path("w.swf"))) << "the movies differ";
    }
    // A projector as published, its movie compressed: built from its options
    // and from the project on both systems, and never changed.
    Bytes published = test::BuildPlayerPart();
    const Bytes cws = PackMovie(fws, MovieCompression::Zlib);
    published.insert(published.end(), cws.begin(), cws.end());
    for (std::uint32_t v : {0xFA123456u, static_cast<std::uint32_t>(cws.size())})
        for (int i = 0; i < 4; ++i) published.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    test::WriteProjectorFile(Path("published.exe"), published);
    std::ofstream(Path("readme.txt")) << "read me";
    Check([&](const PathFn& p) {
        return std::vector<std::string>{"build", "--projector", p(Path("published.exe")), "--add", p(Path("readme.txt"))};
    });
    EXPECT_TRUE(test::ReadProjectorFile(Path("published.exe")) == published);
}

TEST_F(SameOnBothSystems, ASignedProjectorReadsTheSameAndSigningSaysWhatToInstall) {
    if (const std::string why = test::SigningUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const test::TestSigner signer = test::MakeTestSigner(dir_.string());
    Movie("movie.exe", [](test::SwfBuilder& b) { b.fsExec("vexelprint(0,0,0,0)"); });
    ASSERT_EQ(RunCli({"build", "--projector", Path("movie.exe"), "-o", Path("built.exe")}).exitCode, 0);
    ASSERT_TRUE(test::SignWithOsslsigncode(signer, Path("built.exe"), Path("signed.exe")));
    const CliResult w = RunWindows({"extract", WinePath(Path("signed.exe")), WinePath(Path("w"))});
    if (w.exitCode == 77) GTEST_SKIP() << w.err;
    ASSERT_EQ(w.exitCode, 0) << w.err;
    ASSERT_EQ(RunCli({"extract", Path("signed.exe"), Path("l")}).exitCode, 0);
    for (const char* name : {"movie.exe", "VSP.exe"})
        EXPECT_TRUE(Slurp(dir_ / "w" / name) == Slurp(dir_ / "l" / name)) << name;
    // No osslsigncode.exe on wine's PATH: signing says what to install and
    // leaves the projector as it was.
    const std::string before = Slurp(Path("built.exe"));
    const CliResult sign = RunWindows({"sign", WinePath(Path("built.exe")), "--cert", WinePath(signer.certificate)});
    EXPECT_EQ(sign.exitCode, 1);
    EXPECT_NE(sign.err.find("Signing needs osslsigncode"), std::string::npos) << sign.err;
    EXPECT_TRUE(Slurp(Path("built.exe")) == before);
}

TEST_F(SameOnBothSystems, SixtyFourBitPlayerGetsTheSixtyFourBitEngine) {
    if (!fs::exists(VS_TEST_PLAYER64)) GTEST_SKIP() << "the 64-bit stand-in player was not built (no mingw-w64)";
    // The 64-bit stand-in player followed by a movie that stores variables.
    test::SwfBuilder movie;
    movie.getUrl("vexelscreen:savevariables(score)", "_level0");
    movie.filler(Bytes(3000, 0x33));
    // A Flash player names itself before its movie.
    std::string player = Slurp(VS_TEST_PLAYER64) + std::string("ShockwaveFlash\0", 15);
    const Bytes swf = movie.build();
    player.append(swf.begin(), swf.end());
    std::ofstream(Path("player64.exe"), std::ios::binary) << player;
    std::ofstream(Path("notes.txt")) << "notes";
    Check([&](const PathFn& p) {
        return std::vector<std::string>{"build", "--projector", p(Path("player64.exe")), "--add", p(Path("notes.txt")),
                                        "--compression", "3"};
    });
    // Both carry the 64-bit engine: its optional header is the PE32+ one.
    for (const char* name : {"linux.exe", "windows.exe"}) {
        const std::string built = Slurp(Path(name));
        ASSERT_GT(built.size(), 0x200u) << name;
        std::uint32_t lfanew = 0;
        std::memcpy(&lfanew, built.data() + 60, 4);
        ASSERT_LT(lfanew + 26u, built.size()) << name;
        EXPECT_EQ(static_cast<unsigned char>(built[lfanew + 24]), 0x0Bu) << name;
        EXPECT_EQ(static_cast<unsigned char>(built[lfanew + 25]), 0x02u) << name;
    }
}

TEST_F(SameOnBothSystems, IconsNamesOutsideAsciiAndEveryCompression) {
    // A movie that stores variables and launches files, an icon of its own,
    // files whose names need more than ASCII, the fastest and the strongest
    // compression.
    Movie("Caf\xc3\xa9 movie.exe", [](test::SwfBuilder& b) {
        b.getUrl("vexelscreen:savevariables(score)", "_level0");
        b.fsExec("vexelexec(notes.txt)");
    });
    Bytes data(70000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>((i * 7919) >> 3);
    test::WriteFileBytes(Path("donn\xc3\xa9" "es.bin"), data);
    std::ofstream(Path("notes.txt")) << "notes";
    test::WriteBytes(Path("own.ico"), test::IcoFile({test::DibIcon(32, 32, 8, test::StandardPalette16(),
                                                                   [](int x, int y) { return std::uint32_t((x + y) % 16); },
                                                                   [](int x, int) { return x < 2; })}));
    for (const char* mode : {"1", "4"}) {
        SCOPED_TRACE(mode);
        Check([&](const PathFn& p) {
            return std::vector<std::string>{"build", "--projector", p(Path("Caf\xc3\xa9 movie.exe")), "--add",
                                            p(Path("donn\xc3\xa9" "es.bin")), "--add", p(Path("notes.txt")), "--icon",
                                            p(Path("own.ico")), "--compression", mode, "--set", "StayOnTop=True"};
        });
        if (HasFatalFailure() || IsSkipped()) return;
    }
}

TEST_F(SameOnBothSystems, RegionsOfTheSameBitmaps) {
    struct Picture {
        const char* name;
        test::BmpOptions options;
        int width, height;
        std::function<std::uint32_t(int, int)> pixel;
        const char* transparent;  // nullptr: the top-left pixel
    };
    const std::vector<Picture> pictures = {
        {"disc.bmp", {}, 64, 48,
         [](int x, int y) { return (x - 32) * (x - 32) + (y - 24) * (y - 24) < 400 ? 0x2040A0u : 0xFF00FFu; }, nullptr},
        {"stripes.bmp", {.bitsPerPixel = 8, .compression = test::kBmpRle8, .palette = test::GreyPalette(4)}, 50, 20,
         [](int x, int y) { return std::uint32_t((x / 3 + y / 2) % 4); }, "000000"},
        {"holes.bmp", {.bitsPerPixel = 1, .palette = {0x000000, 0xFFFFFF}}, 33, 17,
         [](int x, int y) { return std::uint32_t((x * y + x) % 5 == 0); }, "FFFFFF"},
        {"top-down.bmp", {.bitsPerPixel = 32, .compression = test::kBmpBitfields, .topDown = true,
                          .redMask = 0xFF0000, .greenMask = 0xFF00, .blueMask = 0xFF},
         30, 30, [](int x, int y) { return x > y ? 0x00FF00u : 0x0000FFu; }, nullptr},
    };
    for (const Picture& pic : pictures) {
        SCOPED_TRACE(pic.name);
        std::vector<std::uint32_t> pixels;
        for (int y = 0; y < pic.height; ++y)
            for (int x = 0; x < pic.width; ++x) pixels.push_back(pic.pixel(x, y));
        test::WriteFileBytes(Path(pic.name), test::MakeBmp(pic.options, pic.width, pic.height, pixels));
        std::vector<std::string> args = {"region", Path(pic.name), "--json"};
        if (pic.transparent) args.insert(args.end(), {"--transparent", pic.transparent});
        const CliResult l = RunCli(args);
        ASSERT_EQ(l.exitCode, 0) << l.err;
        args[1] = WinePath(Path(pic.name));
        const CliResult w = RunWindows(args);
        if (w.exitCode == 77) GTEST_SKIP() << w.err;
        ASSERT_EQ(w.exitCode, 0) << w.err;
        EXPECT_NE(l.out.find("\"rectangles\": [\n"), std::string::npos) << "a shape with rectangles";
        EXPECT_EQ(w.out, l.out);
    }
}

}  // namespace
}  // namespace vs
