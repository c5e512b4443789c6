// The bundled example as a user meets it: examples/build_example.sh builds the
// sample projector, and the built projector runs under wine on a virtual
// display. Our engine unpacks the stand-in player, whose window then carries
// the sample's caption and the shape of the sample's bitmap, and says what it
// is and what the movie behind it is.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "platform/stream.h"
#include "shape/bitmap.h"
#include "shape/region_from_bitmap.h"
#include "support/temp_dir.h"
#include "support/wine_loader.h"

extern char** environ;

namespace vs {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool WaitFor(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(100ms);
    }
    return done();
}

std::map<std::string, std::string> ReadReport(const fs::path& file) {
    std::map<std::string, std::string> r;
    std::istringstream in(Slurp(file));
    for (std::string line; std::getline(in, line);)
        if (auto eq = line.find('='); eq != std::string::npos) r[line.substr(0, eq)] = line.substr(eq + 1);
    return r;
}

// A Windows program under a wine loader, its output in a file; killed if the
// test leaves early.
class WineRun {
public:
    WineRun(const std::string& loader, const std::string& program, const fs::path& log) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        char* argv[] = {const_cast<char*>(loader.c_str()), const_cast<char*>(program.c_str()), nullptr};
        if (posix_spawn(&pid_, loader.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~WineRun() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return pid_ > 0; }
    // The exit code, or -1 when the program did not end in time.
    int Wait(std::chrono::seconds limit) {
        int status = 0;
        if (!WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit)) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    }

private:
    pid_t pid_ = -1;
};

class Example : public test::TempDirTest {
protected:
    void SetUp() override {
        // The sample's player is a 64-bit program, which runs wherever wine does.
        VS_WINE_LOADER_OR_SKIP(wine, VS_WINE_LOADER, 64);
        loader_ = wine.path;
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display (is Xvfb installed?)";
        const char* prefix = std::getenv("WINEPREFIX");
        if (!prefix || !fs::exists(fs::path(prefix) / "system.reg")) GTEST_SKIP() << "the wine prefix was not made";
        if (!fs::exists(VS_EXAMPLE_PLAYER) || !fs::exists(VS_TOOLS_DIR "/x64/VSengine.exe"))
            GTEST_SKIP() << "the engine or the stand-in player was not built (no mingw-w64 cross compiler)";
        TempDirTest::SetUp();
    }
    std::string loader_;
};

std::string RectsText(const std::vector<Rect>& rects) {
    std::string out;
    for (const Rect& r : rects)
        out += (out.empty() ? "" : ";") + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
               std::to_string(r.right) + "," + std::to_string(r.bottom);
    return out;
}

TEST_F(Example, BuiltProjectorOpensTheShapedCaptionedPlayerWindow) {
    const fs::path example = dir_ / "example", control = dir_ / "control";
    fs::create_directories(control);
    const std::string script = std::string(VS_SOURCE_DIR "/examples/build_example.sh '") + VS_BINARY_DIR + "' '" +
                               example.string() + "' >'" + (dir_ / "build.log").string() + "' 2>&1";
    ASSERT_EQ(std::system(script.c_str()), 0) << Slurp(dir_ / "build.log");

    // The shape the window must have: the sample bitmap without its top-left
    // pixel's colour, as the example's project takes it.
    const TBitmap bitmap = TBitmap::FromBytes(ReadWholeFile((example / "shape.bmp").string()));
    const std::vector<Rect> shape = BitmapToRegion(bitmap, bitmap.Pixel(0, 0)).rects();
    ASSERT_GT(shape.size(), 1u) << "the sample shape is not a plain rectangle";

    std::string playerDir = "Z:" + control.string();
    for (char& c : playerDir)
        if (c == '/') c = '\\';
    ::setenv("VS_TEST_PLAYER_DIR", playerDir.c_str(), 1);
    WineRun projector(loader_, (example / "Sample.exe").string(), dir_ / "wine.log");
    ASSERT_TRUE(projector.started());

    std::map<std::string, std::string> report;
    const bool shaped = WaitFor(
        [&] {
            if (!fs::exists(control / "shown.txt") || fs::exists(control / "report.request")) return false;
            if (fs::exists(control / "report.txt")) report = ReadReport(control / "report.txt");
            if (report["caption"] == "Sample projector" && report["region"] != "none") return true;
            std::ofstream(control / "report.request").put('\n');
            return false;
        },
        180s);
    ASSERT_TRUE(shaped) << "caption " << report["caption"] << "\n" << Slurp(dir_ / "wine.log");

    EXPECT_EQ(report["region"], RectsText(shape));
    int left = 0, top = 0, right = 0, bottom = 0;
    ASSERT_EQ(std::sscanf(report["rect"].c_str(), "%d,%d,%d,%d", &left, &top, &right, &bottom), 4) << report["rect"];
    EXPECT_EQ(right - left, bitmap.Width());
    EXPECT_EQ(bottom - top, bitmap.Height());
    EXPECT_EQ(report["text"],
              "Stand-in player - this program stands in for a Flash player|"
              "Movie: 640 x 480 pixels, 25 frames per second, 120 frames");

    std::ofstream(control / "close.request").put('\n');
    EXPECT_EQ(projector.Wait(60s), 0) << Slurp(dir_ / "wine.log");
}

}  // namespace
}  // namespace vs
