// 32-bit and 64-bit players on the command line: `inspect` says which kind a
// player is and which engine a build takes, `build` takes that engine family,
// `show` says which engine a built projector carries. Most cases run a copy of
// the command beside a made-up Tools folder of both families, whose files have
// bytes of their own; one builds with the real Tools folder when it holds the
// 64-bit family.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli_support.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "support/pe_builder.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::PeBuilder;
using test::PeBytes;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string EngineMark(bool x64) { return x64 ? "engine of the x86_64 family" : "engine of the i686 family"; }

class PlayerKinds : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        // The command finds its Tools folder from its own, resolved path.
        gen_ = fs::canonical(dir_) / "gen";
        fs::create_directories(gen_ / "tools" / "x64");
        fs::copy_file(VS_CLI, gen_ / "vexelscreen");
        fs::permissions(gen_ / "vexelscreen", fs::perms::owner_all);
        for (bool x64 : {false, true}) {
            const std::string mark = EngineMark(x64);
            const fs::path folder = x64 ? gen_ / "tools" / "x64" : gen_ / "tools";
            PeBuilder()
                .Pe32Plus(x64)
                .IconImage(1, test::MakeIconImage(32, 32, 8, 7))
                .IconGroup(1, {1})
                .Version(test::VersionSpec{})
                .Resource(10, 1, 1033, PeBytes(mark.begin(), mark.end()))
                .Write((folder / "VSengine.exe").string());
            for (const char* tool : {"mhproc.dll", "VSP.exe", "VSE.exe", "VSS.exe", "VSD.exe"})
                std::ofstream(folder / tool) << (x64 ? "x64 tool " : "tool ") << tool;
        }
        test::SwfBuilder movie;
        movie.fsExec("vexelprint(0,0,0,0)");
        test::WriteProjectorFile(Path("movie32.exe"), test::BuildProjector(movie.build()));
        WritePlayer64(Path("movie64.exe"), movie.build());
    }

    // A projector whose player is a 64-bit executable.
    static void WritePlayer64(const std::string& path, const test::ByteVec& movie) {
        const std::string text = "ShockwaveFlash";
        PeBytes tail(text.begin(), text.end());
        tail.push_back(0);
        tail.insert(tail.end(), movie.begin(), movie.end());
        PeBuilder().Pe32Plus().Append(tail).Write(path);
    }

    test::CliResult Run(const std::vector<std::string>& args) const {
        return test::RunProgram((gen_ / "vexelscreen").string(), args);
    }
    std::string Tools(const std::string& rel) const { return (gen_ / "tools" / rel).string(); }

    fs::path gen_;
};

TEST_F(PlayerKinds, InspectSaysTheKindAndTheEngineABuildTakes) {
    const auto x86 = Run({"inspect", Path("movie32.exe")});
    ASSERT_EQ(x86.exitCode, 0) << x86.err;
    EXPECT_NE(x86.out.find("Uses VexelSTORE: No\nPlayer: 32-bit (a build uses the 32-bit engine " +
                           Tools("VSengine.exe") + ")\n"),
              std::string::npos)
        << x86.out;

    const auto x64 = Run({"inspect", Path("movie64.exe")});
    ASSERT_EQ(x64.exitCode, 0) << x64.err;
    EXPECT_NE(x64.out.find("Movie width: 550\n"), std::string::npos) << x64.out;
    EXPECT_NE(x64.out.find("Uses VexelSTORE: No\nPlayer: 64-bit (a build uses the 64-bit engine " +
                           Tools("x64/VSengine.exe") + ")\n"),
              std::string::npos)
        << x64.out;

    const auto json = Run({"inspect", "--json", "--dry-run", Path("movie64.exe")});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_NE(json.out.find("\"player\": \"64-bit\",\n  \"engine\": \"" + Tools("x64/VSengine.exe") + "\""),
              std::string::npos)
        << json.out;

    // A player with damaged headers is taken for a 32-bit one, without a word.
    std::string bytes = Slurp(Path("movie64.exe"));
    bytes[0x86] = bytes[0x87] = '\xFF';  // a section table past the end of the file
    std::ofstream(Path("damaged.exe"), std::ios::binary) << bytes;
    const auto damaged = Run({"inspect", Path("damaged.exe")});
    ASSERT_EQ(damaged.exitCode, 0) << damaged.err;
    EXPECT_EQ(damaged.err, "");
    EXPECT_NE(damaged.out.find("Player: 32-bit (a build uses the 32-bit engine " + Tools("VSengine.exe") + ")\n"),
              std::string::npos)
        << damaged.out;
}

TEST_F(PlayerKinds, BuildTakesTheFamilyAndShowSaysWhichEngine) {
    struct Case {
        std::string player;
        bool x64;
        std::string folder;  // of the hook library and the tools
    };
    for (const Case& c : {Case{"movie64.exe", true, Tools("x64/")}, Case{"movie32.exe", false, Tools("")}}) {
        const std::string out = Path(c.player + ".built.exe");
        const auto built = Run({"build", "--projector", Path(c.player), "--set", "InsDesktop=True", "-o", out});
        ASSERT_EQ(built.exitCode, 0) << built.err;
        const std::string bytes = Slurp(out);
        EXPECT_NE(bytes.find(EngineMark(c.x64)), std::string::npos) << c.player;
        EXPECT_EQ(bytes.find(EngineMark(!c.x64)), std::string::npos) << c.player;

        s_TVexelProjector s;
        ReadSettingsFile(out, s);
        EXPECT_EQ(s.DLLFile().Filename(), c.folder + "mhproc.dll");
        const std::vector<std::uint8_t> library = s.DLLFile().Extract();
        EXPECT_EQ(std::string(library.begin(), library.end()), (c.x64 ? "x64 tool " : "tool ") + std::string("mhproc.dll"));
        ASSERT_EQ(s.Files().Count(), 2);
        EXPECT_EQ(s.Files().Items(0).Filename(), c.folder + "VSP.exe");
        EXPECT_EQ(s.Files().Items(1).Filename(), c.folder + "VSD.exe");

        const auto shown = Run({"show", out});
        ASSERT_EQ(shown.exitCode, 0) << shown.err;
        EXPECT_EQ(shown.out.find("Built projector; settings stream at offset "), 0u) << shown.out;
        const std::size_t line2 = shown.out.find('\n') + 1;
        EXPECT_EQ(shown.out.substr(line2, shown.out.find('\n', line2) + 1 - line2),
                  std::string("Engine: ") + (c.x64 ? "64-bit" : "32-bit") + "\n")
            << shown.out;
    }
}

TEST_F(PlayerKinds, AMissingEngineOfTheFamilyStopsTheBuildBeforeAnythingIsWritten) {
    ASSERT_EQ(Run({"build", "--projector", Path("movie64.exe"), "--save-project", Path("p.vsp")}).exitCode, 0);
    fs::remove(Tools("x64/VSengine.exe"));
    test::SwfBuilder movie;
    movie.fsExec("vexelprint(0,0,0,0)");
    WritePlayer64(Path("fresh64.exe"), movie.build());
    const std::string fresh = Slurp(Path("fresh64.exe"));
    const std::string missing = "The projector engine " + Tools("x64/VSengine.exe") + " is missing";

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"build", "--projector", Path("fresh64.exe"), "-o", Path("out.exe")},
          {"build", "--projector", Path("fresh64.exe"), "--save-project", Path("q.vsp")},
          {"build", Path("p.vsp"), "-o", Path("out.exe")}}) {
        const auto r = Run(args);
        EXPECT_EQ(r.exitCode, 1) << args[1];
        EXPECT_NE(r.err.find(missing), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(Path("out.exe")));
    EXPECT_FALSE(fs::exists(Path("q.vsp")));
    EXPECT_EQ(Slurp(Path("fresh64.exe")), fresh) << "the projector was not inspected, so not rewritten";

    // The 32-bit family is still there for 32-bit players.
    EXPECT_EQ(Run({"build", "--projector", Path("movie32.exe"), "-o", Path("out.exe")}).exitCode, 0);
}

TEST_F(PlayerKinds, NoOutputGoesOverAProgramOfTheX64Folder) {
    for (const std::string& player : {Path("movie64.exe"), Path("movie32.exe")}) {
        for (const std::string& target : {Tools("x64/VSengine.exe"), Tools("x64/../x64/VSS.exe")}) {
            const std::string before = Slurp(target);
            const auto r = Run({"build", "--projector", player, "-o", target});
            EXPECT_EQ(r.exitCode, 1) << target;
            EXPECT_NE(r.err.find("is the same file as a program of the Tools folder"), std::string::npos) << r.err;
            EXPECT_EQ(Slurp(target), before) << target;
        }
    }
}

// With the real Tools folder: the 64-bit engine and its hook library go into
// a 64-bit player's projector.
TEST(PlayerKindsWithTheToolsFolder, A64BitPlayerIsBuiltOnTheBuilt64BitEngine) {
    const fs::path x64 = fs::path(VS_TOOLS_DIR) / "x64";
    for (const char* file : {"VSengine.exe", "mhproc.dll"})
        if (!fs::exists(x64 / file)) GTEST_SKIP() << "the 64-bit Tools family was not built (" << (x64 / file) << ")";
    const fs::path dir = fs::temp_directory_path() / ("vs_e2e_x64_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    test::SwfBuilder movie;
    const std::string text = "ShockwaveFlash";
    PeBytes tail(text.begin(), text.end());
    tail.push_back(0);
    const test::ByteVec swf = movie.build();
    tail.insert(tail.end(), swf.begin(), swf.end());
    PeBuilder().Pe32Plus().Append(tail).Write((dir / "movie64.exe").string());

    const auto built = test::RunCli({"build", "--projector", (dir / "movie64.exe").string(), "-o", (dir / "out.exe").string()});
    ASSERT_EQ(built.exitCode, 0) << built.err;
    const auto shown = test::RunCli({"show", (dir / "out.exe").string()});
    EXPECT_NE(shown.out.find("\nEngine: 64-bit\n"), std::string::npos) << shown.out;
    s_TVexelProjector s;
    ReadSettingsFile((dir / "out.exe").string(), s);
    const std::vector<std::uint8_t> library = s.DLLFile().Extract();
    EXPECT_TRUE(std::string(library.begin(), library.end()) == Slurp(x64 / "mhproc.dll"));
    EXPECT_TRUE(fs::equivalent(s.DLLFile().Filename(), x64 / "mhproc.dll")) << s.DLLFile().Filename();
    fs::remove_all(dir);
}

}  // namespace
}  // namespace vs
