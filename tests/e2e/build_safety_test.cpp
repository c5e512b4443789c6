// `vexelscreen build` never loses a user's file: outputs that are inputs,
// retrieval into a folder that holds files, failures of every kind, long
// names, interruptions, named pipes, and the names a project stores.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "cli_support.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"
#include "support/bmp_builder.h"
#include "support/ico_builder.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

class BuildSafety : public test::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        if (!fs::exists(fs::path(VS_TOOLS_DIR) / "VSengine.exe")) GTEST_SKIP() << "the engine was not built";
        test::WriteProjectorFile(Path("movie.exe"), test::BuildProjector(test::SwfBuilder().build()));
        std::ofstream(Path("readme.txt")) << "read me";
        std::vector<std::uint32_t> pixels(20 * 10, 0xFFFFFF);
        for (int i = 0; i < 100; ++i) pixels[static_cast<std::size_t>(i)] = 0x102030;
        test::WriteFileBytes(Path("shape.bmp"), test::MakeBmp({}, 20, 10, pixels));
        test::WriteBytes(Path("icon.ico"),
                         test::IcoFile({test::DibIcon(16, 16, 32, {}, [](int x, int y) {
                             return 0xFF000000u | static_cast<std::uint32_t>(x * 16 << 8 | y * 16);
                         })}));
    }
    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // The bytes of every regular file in the test's folder, by path.
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::recursive_directory_iterator(dir_))
            if (e.is_regular_file()) files[e.path().string()] = Slurp(e.path());
        return files;
    }
    void ExpectNoTempFile(const std::string& what) const {
        for (const auto& e : fs::recursive_directory_iterator(dir_))
            EXPECT_NE(e.path().extension(), ".tmp") << what << ": a temporary file is left: " << e.path();
    }
    // Every file that was there is there with its bytes, and no temporary
    // file is left anywhere in the folder.
    void ExpectKept(const std::map<std::string, std::string>& before, const std::string& what) const {
        for (const auto& [path, bytes] : before) {
            ASSERT_TRUE(fs::exists(path)) << what << ": " << path << " is gone";
            EXPECT_TRUE(Slurp(path) == bytes) << what << ": " << path << " changed";
        }
        ExpectNoTempFile(what);
    }
    test::CliResult SaveProject(const std::vector<std::string>& more = {}) {
        std::vector<std::string> args = {"build", "--projector", Path("movie.exe"), "--add", Path("readme.txt"),
                                         "--icon", Path("icon.ico"), "--shape", Path("shape.bmp")};
        args.insert(args.end(), more.begin(), more.end());
        return RunCli(args);
    }
};

TEST_F(BuildSafety, AnOutputThatIsAnInputIsRefusedBeforeAnythingIsWritten) {
    ASSERT_EQ(SaveProject({"--save-project", Path("p.vsp")}).exitCode, 0);
    fs::create_directory(Path("sub"));
    fs::create_hard_link(Path("readme.txt"), Path("hard.txt"));
    fs::create_symlink(Path("p.vsp"), Path("link.vsp"));
    const auto before = Snapshot();

    struct Case {
        std::vector<std::string> args;
        std::string named;  // the message names this file
    };
    const std::vector<Case> cases = {
        {{"--save-project", Path("q.vsp"), "-o", Path("q.vsp")}, "q.vsp"},
        {{"--save-project", Path("sub/../q.vsp"), "-o", Path("q.vsp")}, "q.vsp"},
        {{"-o", Path("movie.exe")}, "movie.exe"},
        {{"-o", Path("sub/../readme.txt")}, "readme.txt"},
        {{"-o", Path("hard.txt")}, "hard.txt"},
        {{"-o", Path("icon.ico")}, "icon.ico"},
        {{"-o", Path("shape.bmp")}, "shape.bmp"},
        {{"--save-project", Path("movie.exe")}, "movie.exe"},
        {{"--save-project", Path("hard.txt")}, "hard.txt"},
        {{"--save-project", Path("shape.bmp")}, "shape.bmp"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"build",  "--projector", Path("movie.exe"), "--add",   Path("readme.txt"),
                                         "--icon", Path("icon.ico"), "--shape",      Path("shape.bmp")};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = RunCli(args);
        const std::string what = c.args[0] + " " + c.args[1];
        EXPECT_EQ(r.exitCode, 1) << what;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << what << ": " << r.err;
        ExpectKept(before, what);
        EXPECT_FALSE(fs::exists(Path("q.vsp"))) << what;
    }
    for (const std::string& out : {Path("p.vsp"), Path("link.vsp"), Path("sub/../readme.txt")}) {
        const auto r = RunCli({"build", Path("p.vsp"), "-o", out});
        EXPECT_EQ(r.exitCode, 1) << out;
        EXPECT_NE(r.err.find(fs::path(out).filename().string()), std::string::npos) << r.err;
        ExpectKept(before, out);
    }
    // An empty name is refused, never taken for a name that was not given.
    for (const char* option : {"-o", "--save-project"}) {
        const auto r = test::RunCliAfter("cd '" + Path("sub") + "' &&", {"build", "--projector", Path("movie.exe"), option, ""});
        EXPECT_NE(r.exitCode, 0) << option;
        EXPECT_NE(r.err.find("empty"), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_empty(Path("sub"))) << option;
    }
}

TEST_F(BuildSafety, RetrievalKeepsFilesAndGivesEveryEntryItsOwnName) {
    // Stored names as two systems write them: backslashes, slashes, and names
    // that differ only in case.
    for (const char* folder : {"b", "d"}) fs::create_directory(Path(folder));
    std::ofstream(Path("a\\x.txt")) << "one";
    std::ofstream(Path("b/x.txt")) << "two";
    std::ofstream(Path("c\\Data.txt")) << "three";
    std::ofstream(Path("d/DATA.TXT")) << "four";
    ASSERT_EQ(RunCli({"build", "--projector", Path("movie.exe"), "--add", Path("a\\x.txt"), "--add", Path("b/x.txt"),
                      "--add", Path("c\\Data.txt"), "--add", Path("d/DATA.TXT"), "--icon", Path("icon.ico"),
                      "--save-project", Path("p.vsp")})
                  .exitCode,
              0);
    fs::create_directory(Path("away"));
    for (const char* name : {"a\\x.txt", "b/x.txt", "c\\Data.txt", "d/DATA.TXT", "icon.ico"})
        fs::rename(Path(name), Path("away/" + fs::path(name).filename().string() + ".moved"));
    fs::create_directory(Path("got"));
    std::ofstream(Path("got/x.txt")) << "precious";
    std::ofstream(Path("afile")) << "a file, not a folder";
    auto before = Snapshot();

    const auto kept = RunCli({"build", Path("p.vsp"), "--retrieve", Path("got"), "-o", Path("out.exe")});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_NE(kept.err.find(Path("got/x.txt")), std::string::npos) << kept.err;
    EXPECT_NE(kept.err.find("--force"), std::string::npos) << kept.err;
    ExpectKept(before, "an existing file in DIR");
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("got")), {}), 1) << "nothing retrieved";
    EXPECT_FALSE(fs::exists(Path("out.exe")));

    // A folder that cannot be made ends in the one error path, not a crash.
    for (const std::string& dir : {Path("afile/sub"), Path("afile")}) {
        const auto r = RunCli({"build", Path("p.vsp"), "--retrieve", dir, "-o", Path("out.exe")});
        EXPECT_EQ(r.exitCode, 1) << dir;
        EXPECT_NE(r.err.find("afile"), std::string::npos) << r.err;
        ExpectKept(before, dir);
        EXPECT_FALSE(fs::exists(Path("out.exe")));
    }

    const auto forced = RunCli({"build", Path("p.vsp"), "--retrieve", Path("got"), "--force", "-o", Path("out.exe")});
    ASSERT_EQ(forced.exitCode, 0) << forced.err;
    const std::map<std::string, std::string> want = {{"x.txt", "one"},     {"x (2).txt", "two"},
                                                     {"Data.txt", "three"}, {"DATA (2).TXT", "four"},
                                                     {"icon.ico", Slurp(Path("away/icon.ico.moved"))}};
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("got")), {}), 5);
    for (const auto& [name, bytes] : want) EXPECT_EQ(Slurp(Path("got/" + name)), bytes) << name;
    s_TVexelProjector s;
    ReadSettingsFile(Path("out.exe"), s);
    ASSERT_GE(s.Files().Count(), 4);
    int i = 0;
    for (const char* name : {"x.txt", "x (2).txt", "Data.txt", "DATA (2).TXT"})
        EXPECT_EQ(s.Files().Items(i++).Filename(), Path("got/") + name) << "every entry, in list order";
}

TEST_F(BuildSafety, NamesUpToTheFileSystemsLimitWork) {
    const std::string longOutput = Path(std::string(251, 'o') + ".exe");
    const std::string longProject = Path(std::string(251, 'p') + ".vsp");
    const auto saved = SaveProject({"--save-project", longProject, "-o", Path("out.exe")});
    ASSERT_EQ(saved.exitCode, 0) << saved.err;
    EXPECT_TRUE(fs::exists(longProject));
    for (int run = 0; run < 2; ++run) {
        const auto built = RunCli({"build", longProject, "-o", longOutput});
        EXPECT_EQ(built.exitCode, 0) << built.err << " (run " << run << ": the second replaces the output)";
    }
    EXPECT_TRUE(fs::exists(longOutput));
    ExpectNoTempFile("long names");

    // A project cannot keep an output name of more than 255 characters: it is
    // refused, not cut to another name, and nothing is written.
    const auto before = Snapshot();
    const auto refused = SaveProject({"--save-project", Path("long.vsp"), "-o", longOutput});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("a project keeps names of up to 255"), std::string::npos) << refused.err;
    EXPECT_FALSE(fs::exists(Path("long.vsp")));
    ExpectKept(before, "an output name too long for the project");
}

TEST_F(BuildSafety, NothingIsWrittenOverTheToolsFolder) {
    const fs::path engine = fs::path(VS_TOOLS_DIR) / "VSengine.exe";
    const std::string bytes = Slurp(engine);
    struct Restore {
        const fs::path& engine;
        const std::string& bytes;
        ~Restore() {
            if (Slurp(engine) != bytes) std::ofstream(engine, std::ios::binary | std::ios::trunc) << bytes;
        }
    } restore{engine, bytes};
    fs::create_symlink(engine, Path("engine-link.exe"));
    const std::vector<std::vector<std::string>> runs = {
        {"build", "--projector", Path("movie.exe"), "--save-project", engine.string(), "-o", Path("out.exe")},
        {"build", "--projector", Path("movie.exe"), "--save-project", Path("engine-link.exe")},
        {"build", "--projector", Path("movie.exe"), "-o", Path("engine-link.exe")},
        {"datetime", Path("engine-link.exe")},
        {"stamp", engine.string(), "--version", "9.9.9.9"},
    };
    for (const auto& args : runs) {
        const auto r = RunCli(args);
        EXPECT_EQ(r.exitCode, 1) << args[0] << " " << args.back();
        EXPECT_NE(r.err.find("is the same file as a program of the Tools folder"), std::string::npos) << r.err;
        EXPECT_TRUE(Slurp(engine) == bytes) << "the engine was replaced by " << args[0] << " " << args.back();
        EXPECT_FALSE(fs::exists(Path("out.exe")));
        ExpectNoTempFile(args.back());
    }
}

TEST_F(BuildSafety, AProjectSavedWithABuildChangesOnlyWithIt) {
    ASSERT_EQ(SaveProject({"--save-project", Path("p.vsp")}).exitCode, 0);
    const auto before = Snapshot();
    // The build fails after the project was made: the project stays as it was.
    const auto r = SaveProject({"--compression", "1", "--save-project", Path("p.vsp"), "-o", Path("no/such/out.exe")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Cannot create file " + Path("no/such/out.exe") + ": No such file or directory"),
              std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Saved the project"), std::string::npos) << r.err;
    ExpectKept(before, "a failed build with --save-project");
}

TEST_F(BuildSafety, RetrievalNeverReplacesWhatIsNotAFile) {
    ASSERT_EQ(SaveProject({"--save-project", Path("p.vsp")}).exitCode, 0);
    fs::rename(Path("readme.txt"), Path("readme.moved"));
    fs::rename(Path("icon.ico"), Path("icon.moved"));
    fs::create_directories(Path("got/icon.ico"));
    ASSERT_EQ(::mkfifo(Path("got/readme.txt").c_str(), 0600), 0);
    const auto before = Snapshot();
    const auto r = test::RunCliGuarded({"build", Path("p.vsp"), "--retrieve", Path("got"), "--force", "-o", Path("out.exe")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(Path("got/readme.txt") + " (a named pipe"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(Path("got/icon.ico") + " (a folder)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Since"), std::string::npos) << r.err;
    ExpectKept(before, "retrieval onto a named pipe and a folder");
    EXPECT_TRUE(fs::is_fifo(Path("got/readme.txt")) && fs::is_directory(Path("got/icon.ico")));
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("got")), {}), 2);
    EXPECT_FALSE(fs::exists(Path("out.exe")));
}

TEST_F(BuildSafety, AProjectThatIsItsOwnOutputIsNamedSo) {
    ASSERT_EQ(SaveProject({"--save-project", Path("q.vsp"), "-o", Path("p.vsp")}).exitCode, 0);
    fs::remove(Path("p.vsp"));
    fs::rename(Path("q.vsp"), Path("p.vsp"));
    const auto r = RunCli({"build", Path("p.vsp")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("\"" + Path("p.vsp") + "\" is both the output that the project records and the project to "
                         "build"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("-o"), std::string::npos) << r.err;
}

TEST_F(BuildSafety, AnInterruptedBuildLeavesNothingAndKeepsThePreviousOutput) {
    // Incompressible data at the best compression keeps the packing busy long
    // enough to be interrupted while the temporary output exists.
    std::vector<std::uint8_t> noise(8u << 20);
    std::mt19937 random(7);
    for (std::uint8_t& b : noise) b = static_cast<std::uint8_t>(random());
    test::WriteFileBytes(Path("big.bin"), noise);
    ASSERT_EQ(RunCli({"build", "--projector", Path("movie.exe"), "-o", Path("out.exe")}).exitCode, 0);
    const auto before = Snapshot();

    for (const auto& [signal, code] : {std::pair{SIGTERM, 143}, std::pair{SIGINT, 130}, std::pair{SIGHUP, 129}}) {
        const int pid = test::StartCli({"build", "--projector", Path("movie.exe"), "--add", Path("big.bin"),
                                        "--compression", "4", "--jobs", "1", "-o", Path("out.exe")});
        ASSERT_GT(pid, 0);
        bool seen = false;
        int status = 0;
        while (!seen && ::waitpid(pid, &status, WNOHANG) == 0) {
            for (const auto& e : fs::directory_iterator(dir_)) seen = seen || e.path().extension() == ".tmp";
            if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(seen) << "the build ended before its temporary output appeared";
        ::kill(pid, signal);
        EXPECT_EQ(test::WaitCli(pid), code) << strsignal(signal);
        ExpectKept(before, strsignal(signal));
    }
}

TEST_F(BuildSafety, OnlyRegularFilesAreReadOrReplaced) {
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    fs::create_directory(Path("folder"));
    const auto before = Snapshot();
    for (const std::string& input : {Path("pipe"), Path("folder")}) {
        const std::vector<std::vector<std::string>> runs = {
            {"build", input, "-o", Path("out.exe")},
            {"build", "--projector", input, "-o", Path("out.exe")},
            {"build", "--projector", Path("movie.exe"), "--shape", input, "-o", Path("out.exe")},
            {"build", "--projector", Path("movie.exe"), "--icon", input, "-o", Path("out.exe")},
            {"build", "--projector", Path("movie.exe"), "--add", input, "-o", Path("out.exe")},
            {"build", "--projector", Path("movie.exe"), "-o", input},
            {"show", input},
            {"extract", input, Path("x")},
            {"resources", input},
            {"datetime", input},
        };
        for (const auto& args : runs) {
            const auto r = test::RunCliGuarded(args);
            EXPECT_EQ(r.exitCode, 1) << args[0] << " " << args[1] << " " << input << " (124: it waited)";
            EXPECT_NE(r.err.find(input), std::string::npos) << r.err;
            EXPECT_FALSE(fs::exists(Path("out.exe")));
            ExpectKept(before, input);
            EXPECT_TRUE(fs::is_fifo(Path("pipe")) && fs::is_directory(Path("folder"))) << "an output replaced it";
        }
    }
}

TEST_F(BuildSafety, StoredNamesAreCleanFullPathsAndTheProjectKeepsItsOutput) {
    fs::create_directory(Path("sub"));
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    const auto saved = RunCli({"build", "--projector", "./movie.exe", "--add", "sub/../readme.txt", "--save-project",
                               "./sub/p.vsp", "-o", "sub/./out.exe"});
    fs::current_path(previous);
    ASSERT_EQ(saved.exitCode, 0) << saved.err;

    s_TVexelProjector s;
    ReadSettingsFile(Path("sub/p.vsp"), s);
    EXPECT_EQ(s.MainFile().Filename(), Path("movie.exe"));
    EXPECT_EQ(s.Files().Items(0).Filename(), Path("readme.txt"));
    const auto shown = RunCli({"show", "--json", Path("sub/p.vsp")});
    EXPECT_NE(shown.out.find("\"outputName\": \"" + Path("sub/out.exe") + "\""), std::string::npos) << shown.out;

    // Built again from the project alone, the projector lands where it was.
    const std::string first = Slurp(Path("sub/out.exe"));
    ASSERT_TRUE(fs::remove(Path("sub/out.exe")));
    const auto again = RunCli({"build", Path("sub/p.vsp")});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Slurp(Path("sub/out.exe")).size(), first.size());
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(static_cast<mode_t>(fs::status(Path("sub/out.exe")).permissions()), 0777 & ~mask)
        << "the user's permissions for a program, not the engine's";
}

TEST_F(BuildSafety, VersionAndABareSettingsStream) {
    const auto version = RunCli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("vexelscreen ", 0), 0u) << version.out;

    ASSERT_EQ(RunCli({"build", "--projector", Path("movie.exe"), "--set", "CaptionText=Bare", "-o", Path("out.exe")})
                  .exitCode,
              0);
    const std::string built = Slurp(Path("out.exe"));
    std::uint32_t offset = 0;
    std::memcpy(&offset, built.data() + built.size() - 4, 4);
    std::ofstream(Path("settings.bin"), std::ios::binary) << built.substr(offset, built.size() - 4 - offset);
    const auto shown = RunCli({"show", Path("settings.bin")});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(shown.out.rfind("Settings stream\n", 0), 0u) << shown.out;
    EXPECT_NE(shown.out.find("Bare"), std::string::npos) << shown.out;
}

}  // namespace
}  // namespace vs
