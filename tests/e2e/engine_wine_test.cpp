// Built projectors run under wine on a virtual display: the engine unpacks
// the stand-in player, shapes and places its window, passes on or stops
// clicks and keys, writes the date/time file, serves variables on
// 127.0.0.1:5905 and leaves nothing behind; bad packages end it with a clear
// message; the tools do their part. Every case runs for both kinds of player,
// a 32-bit and a 64-bit one, each with the engine family built for it and
// under the wine loader of its kind.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "cli_support.h"
#include "engine_projector.h"
#include "package/package_file.h"
#include "package/store_win_region.h"
#include "package/vexel_projector.h"
#include "platform/region.h"
#include "platform/stream.h"
#include "support/bmp_builder.h"
#include "support/ico_builder.h"
#include "support/temp_dir.h"
#include "support/wine_loader.h"

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
        std::this_thread::sleep_for(50ms);
    }
    return done();
}

// "Z:\tmp\x" for "/tmp/x": how a Windows program under wine names a Linux path.
std::string WinePath(const fs::path& p) {
    std::string s = "Z:" + p.string();
    for (char& c : s)
        if (c == '/') c = '\\';
    return s;
}

// The Linux path of a path a Windows program reported.
fs::path LinuxPath(std::string win) {
    for (char& c : win)
        if (c == '\\') c = '/';
    const char* prefix = std::getenv("WINEPREFIX");
    if (win.size() >= 2 && win[1] == ':') {
        std::string drive(1, static_cast<char>(std::tolower(win[0])));
        if (drive == "z") return win.substr(2);
        return fs::path(prefix ? prefix : "") / ("drive_" + drive) / win.substr(3);
    }
    return win;
}

std::map<std::string, std::string> ReadReport(const fs::path& file) {
    std::map<std::string, std::string> r;
    std::istringstream in(Slurp(file));
    for (std::string line; std::getline(in, line);)
        if (auto eq = line.find('='); eq != std::string::npos) r[line.substr(0, eq)] = line.substr(eq + 1);
    return r;
}

// A Windows program started under a wine loader, its output in a file.
class WineProcess {
public:
    WineProcess(const std::string& loader, const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env, const fs::path& log) {
        pid_ = ::fork();
        if (pid_ == 0) {
            for (const auto& [k, v] : env) ::setenv(k.c_str(), v.c_str(), 1);
            int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            std::vector<char*> argv{const_cast<char*>(loader.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(loader.c_str(), argv.data());
            ::_exit(127);
        }
    }
    ~WineProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    // The exit code, or -1 when the program did not end in time.
    int Wait(std::chrono::seconds limit) {
        int status = 0;
        bool done = WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
        if (!done) return -1;
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

// Whether a program outside the test already listens on 127.0.0.1:5905 (the
// service's fixed port), which would answer in place of ours.
bool ServicePortTaken() {
    std::ifstream tcp("/proc/net/tcp");
    std::stringstream all;
    all << tcp.rdbuf();
    return all.str().find("0100007F:1711 00000000:0000 0A") != std::string::npos;
}

// A connection to the variable service that sends nothing.
int Connect() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(5905);
    ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
    EXPECT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return s;
}

// One HTTP exchange with the variable service; the status (0 when the
// connection was refused or closed without an answer) and the body.
std::pair<int, std::string> Http(const std::string& request, const char* address = "127.0.0.1") {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(5905);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    timeval tv{3, 0};
    ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return {0, {}};
    }
    ::send(s, request.data(), request.size(), MSG_NOSIGNAL);
    ::shutdown(s, SHUT_WR);
    std::string reply;
    char buf[4096];
    for (ssize_t n; (n = ::recv(s, buf, sizeof buf, 0)) > 0;) reply.append(buf, static_cast<std::size_t>(n));
    ::close(s);
    int status = 0;
    if (reply.starts_with("HTTP/1.0 ")) status = std::atoi(reply.c_str() + 9);
    auto body = reply.find("\r\n\r\n");
    return {status, body == std::string::npos ? std::string() : reply.substr(body + 4)};
}

// Whether VS_REQUIRE (a comma list) asks for something, so that its absence
// is a failure rather than a skip.
bool Required(const std::string& what) {
    const char* list = std::getenv("VS_REQUIRE");
    return list && ("," + std::string(list) + ",").find("," + what + ",") != std::string::npos;
}

// Whether DISPLAY names a display that runs (a local one has its socket).
bool DisplayRuns() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return false;
    const std::string d = display;
    if (d[0] != ':') return true;
    return fs::exists("/tmp/.X11-unix/X" + d.substr(1, d.find('.') - 1));
}

// The programs of one kind of player: the stand-in player, the engine family
// built for it and the wine loader that runs them.
struct Family {
    std::string player, tools, loader;
};

std::string KindName(const ::testing::TestParamInfo<int>& info) { return "Player" + std::to_string(info.param); }

class EngineRun : public test::TempDirTest {
protected:
    // Skips the test where this machine cannot run a kind (or fails it where
    // VS_REQUIRE asks for what is missing).
    void SetUpFor(const std::vector<int>& kinds) {
        for (int bits : kinds) {
            VS_WINE_LOADER_OR_SKIP(wine, VS_WINE_LOADER, bits);
            Family f{bits == 64 ? VS_TEST_PLAYER64 : VS_TEST_PLAYER, bits == 64 ? VS_TOOLS_DIR "/x64" : VS_TOOLS_DIR,
                     wine.path};
            if (!fs::exists(f.tools + "/VSengine.exe") || !fs::exists(f.player))
                GTEST_SKIP() << "the " << bits
                             << "-bit engine or stand-in player was not built (no mingw-w64 cross compiler)";
            families_[bits] = f;
        }
        if (!DisplayRuns()) {
            if (Required("display")) FAIL() << "no display, and VS_REQUIRE asks for one";
            GTEST_SKIP() << "no display (is Xvfb installed?)";
        }
        const char* prefix = std::getenv("WINEPREFIX");
        if (!prefix || !fs::exists(fs::path(prefix) / "system.reg")) GTEST_SKIP() << "the wine prefix was not made";
        TempDirTest::SetUp();
        control_ = dir_ / "control";
        out_ = dir_ / "out";
        fs::create_directories(control_);
        fs::create_directories(out_);
        exe_ = (out_ / "Projector.exe").string();
    }

    test::ProjectorInputs Inputs(const s_TVexelProjector& s, const Family& f) const {
        test::ProjectorInputs in;
        in.engine = f.tools + "/VSengine.exe";
        in.flashPlayer = f.player;
        in.hookLibrary = f.tools + "/mhproc.dll";
        in.files = test::ToolsFor(s, f.tools);
        return in;
    }
    std::map<std::string, std::string> Env() const {
        return {{"VS_TEST_PLAYER_DIR", WinePath(control_)}, {"VEXELSCREEN_MESSAGES", "stderr"}};
    }
    // The engine's own folders in wine's temporary folder.
    std::set<std::string> EngineFolders() const {
        std::set<std::string> out;
        fs::path users = fs::path(std::getenv("WINEPREFIX")) / "drive_c" / "users";
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(users, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            if (it->path().filename().string().starts_with("VexelSCREEN-")) out.insert(it->path().string());
        return out;
    }

    std::map<int, Family> families_;
    fs::path control_, out_;
    std::string exe_;
};

// One kind of player: 32 or 64 (bits).
class Engine : public EngineRun, public ::testing::WithParamInterface<int> {
protected:
    void SetUp() override { SetUpFor({GetParam()}); }

    const Family& family() const { return families_.at(GetParam()); }
    test::ProjectorInputs Inputs(const s_TVexelProjector& s) const { return EngineRun::Inputs(s, family()); }
    const std::string& tools() const { return family().tools; }
    const std::string& loader() const { return family().loader; }
};
INSTANTIATE_TEST_SUITE_P(Kind, Engine, ::testing::Values(32, 64), KindName);

// The player's report, asked for again and again until `done` holds for it
// (or a minute has passed).
std::map<std::string, std::string> ReportWhen(const fs::path& control,
                                              const std::function<bool(std::map<std::string, std::string>&)>& done) {
    std::map<std::string, std::string> r;
    WaitFor(
        [&] {
            if (fs::exists(control / "report.request")) return false;
            if (fs::exists(control / "report.txt")) {
                r = ReadReport(control / "report.txt");
                fs::remove(control / "report.txt");
                if (done(r)) return true;
            }
            std::ofstream(control / "report.request").put('\n');
            return false;
        },
        60s);
    return r;
}

// The machine an executable is made for, from its file header: 0x014C i386,
// 0x8664 AMD64; 0 when the file has no such header.
unsigned Machine(const std::string& path) {
    const std::string b = Slurp(path);
    auto byte = [&](std::size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(b[at])); };
    if (b.size() < 0x40) return 0;
    const std::size_t header = byte(0x3C) | byte(0x3D) << 8 | byte(0x3E) << 16 | std::size_t{byte(0x3F)} << 24;
    if (header > b.size() - 6 || b.compare(header, 4, std::string("PE\0\0", 4)) != 0) return 0;
    return byte(header + 4) | byte(header + 5) << 8;
}

std::string Hex(std::uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "%08x", v);
    return b;
}

TEST_P(Engine, RunsAShapedProjectorServesVariablesAndCleansUp) {
    if (ServicePortTaken()) GTEST_SKIP() << "another program listens on 127.0.0.1:5905";
    // Built as the window would build it: the stand-in player as the Flash
    // projector, a shape from a bitmap (no border, its size), a caption, a
    // custom position and the date/time file. The command line packs the
    // engine family of the player's kind.
    const std::string projector = (dir_ / "standin_player.exe").string();
    test::WritePlayerProjector(projector, family().player);
    const std::vector<Rect> shape = {{0, 0, 200, 50}, {0, 50, 100, 100}};
    std::vector<std::uint32_t> pixels(200 * 100, 0xFF00FF);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < (y < 50 ? 200 : 100); ++x) pixels[static_cast<std::size_t>(y * 200 + x)] = 0x2060A0;
    const std::string bitmap = (dir_ / "shape.bmp").string();
    test::WriteFileBytes(bitmap, test::MakeBmp({}, 200, 100, pixels));
    const std::string caption = "Caf\xC3\xA9 engine test";
    const test::CliResult built = test::RunCli({"build", "--projector", projector, "--shape", bitmap, "--transparent",
                                                "FF00FF", "--set", "CaptionText=" + caption, "--set", "PositionH=spphNone",
                                                "--set", "PositionV=sppvNone", "--set", "WindowX=40", "--set",
                                                "WindowY=30", "--set", "HasVarFile=True", "-o", exe_});
    ASSERT_EQ(built.exitCode, 0) << built.err;
    s_TVexelProjector s;
    ReadSettingsFile(exe_, s);
    ASSERT_EQ(s.CaptionText, caption);
    ASSERT_TRUE(s.HasVarStore) << "the movie's save command";
    ASSERT_EQ(s.BorderStyle, TspBorder::spbNone);
    ASSERT_EQ(s.WindowWidth, 200);

    const auto before = std::chrono::system_clock::now();
    const auto foldersBefore = EngineFolders();
    WineProcess engine(loader(), {exe_}, Env(), dir_ / "engine.log");

    ASSERT_TRUE(WaitFor([&] { return fs::exists(control_ / "shown.txt"); }, 120s)) << Slurp(dir_ / "engine.log");
    const auto after = std::chrono::system_clock::now();
    std::map<std::string, std::string> report;
    bool settled = WaitFor(
        [&] {
            if (!fs::exists(control_ / "report.request")) {
                if (fs::exists(control_ / "report.txt")) report = ReadReport(control_ / "report.txt");
                if (report["caption"] == s.CaptionText) return true;
                std::ofstream(control_ / "report.request").put('\n');
            }
            return false;
        },
        60s);
    ASSERT_TRUE(settled) << "caption " << report["caption"] << "\n" << Slurp(dir_ / "engine.log");

    // The window the settings describe.
    EXPECT_EQ(report["rect"], "40,30,240,130");
    EXPECT_EQ(report["region"], "0,0,200,50;0,50,100,100");
    EXPECT_EQ(report["topmost"], "0");
    const std::uint32_t style = std::stoul(report["style"], nullptr, 16);
    EXPECT_EQ(style & 0x80000000u, 0x80000000u) << "WS_POPUP " << Hex(style);
    EXPECT_EQ(style & 0x00C40000u, 0u) << "no caption, no frame " << Hex(style);
    EXPECT_EQ(report["projector_dir"], WinePath(out_));

    // The temporary folder: the movie, the hook library, the tools beside it
    // and in the player's exec folder, and the date/time file.
    const fs::path temp = LinuxPath(report["cwd"]);
    EXPECT_TRUE(fs::path(report["cwd"]).string().find("VexelSCREEN-") != std::string::npos) << report["cwd"];
    for (const char* f : {"standin_player.exe", "mhproc.dll", "VSP.exe", "VSE.exe", "VSS.exe", "Datetime.txt",
                          "fscommand/VSP.exe", "fscommand/VSS.exe"})
        EXPECT_TRUE(fs::exists(temp / f)) << f << " in " << temp;
    // The engine, the hook library and the tools of the player's kind.
    EXPECT_EQ(Machine(exe_), GetParam() == 64 ? 0x8664 : 0x014C);
    for (const char* f : {"mhproc.dll", "VSP.exe", "VSE.exe", "VSS.exe"})
        EXPECT_TRUE(Slurp(temp / f) == Slurp(tools() + "/" + f)) << f << " is not the one of " << tools();

    // The launch time, to the millisecond, in the one-line format.
    const std::string line = Slurp(temp / "Datetime.txt");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m,
                                 std::regex("Date_YY=(\\d{4})&Date_MM=([1-9]\\d?)&Date_DD=([1-9]\\d?)&Time_HH=(0|[1-9]\\d?)&"
                                            "Time_MM=(0|[1-9]\\d?)&Time_SS=(0|[1-9]\\d?)&Time_MS=(0|[1-9]\\d{0,2})&"
                                            "VexelDateTimeLOADED=1")))
        << line;
    std::tm t{};
    t.tm_year = std::stoi(m[1]) - 1900, t.tm_mon = std::stoi(m[2]) - 1, t.tm_mday = std::stoi(m[3]);
    t.tm_hour = std::stoi(m[4]), t.tm_min = std::stoi(m[5]), t.tm_sec = std::stoi(m[6]);
    t.tm_isdst = -1;
    const auto launched = std::chrono::system_clock::from_time_t(std::mktime(&t)) + std::chrono::milliseconds(std::stoi(m[7]));
    EXPECT_GE(launched, before - 1s);
    EXPECT_LE(launched, after + 1s);

    // The service listens on 127.0.0.1 alone.
    const std::string sockets = Slurp("/proc/net/tcp");
    EXPECT_NE(sockets.find("0100007F:1711 00000000:0000 0A"), std::string::npos) << sockets;
    EXPECT_EQ(Slurp("/proc/net/tcp").find("00000000:1711 00000000:0000 0A"), std::string::npos);
    EXPECT_EQ(Http("GET /load/scores.txt HTTP/1.0\r\n\r\n", "127.0.0.2").first, 0) << "answered on 127.0.0.2";

    // Save, then load, from the Linux side, while four silent clients hold
    // connections open: they hold up nobody.
    std::vector<int> silent;
    for (int i = 0; i < 4; ++i) silent.push_back(Connect());
    auto load = Http("GET /load/scores.txt HTTP/1.0\r\n\r\n");
    EXPECT_EQ(load, std::make_pair(200, std::string())) << "nothing stored yet";
    for (int c : silent) {
        char byte;
        EXPECT_TRUE(::recv(c, &byte, 1, MSG_DONTWAIT) < 0 && errno == EAGAIN) << "answered only after a silent one ended";
        ::close(c);
    }
    const std::string body = "name=Ann+Lee&score=42&note=caf%C3%A9";
    auto saved = Http("POST /save/scores.txt HTTP/1.1\r\nHost: 127.0.0.1:5905\r\nContent-Type: "
                      "application/x-www-form-urlencoded\r\nContent-Length: " +
                      std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(saved.first, 200);
    EXPECT_EQ(Http("GET /load/scores.txt HTTP/1.0\r\n\r\n"), std::make_pair(200, std::string("name=Ann%20Lee&score=42&note=caf%C3%A9")));
    EXPECT_EQ(Http("GET /save/level?stage=3 HTTP/1.0\r\n\r\n").first, 200);
    EXPECT_EQ(Http("GET http://127.0.0.1:5905/load/level HTTP/1.0\r\n\r\n").second, "stage=3");

    // Path-like names and malformed requests: refused, and the service goes on.
    const std::vector<std::string> names = {"..", "../x", "..%2fx", "%2e%2e%2fx", "..%5cx", "a/b", "a%5cb", "C:x",
                                            "C%3ax", "CON", "aux.txt", "nul", "COM1", "LPT9.log", std::string(65, 'n'),
                                            "x%00y", "%", "", ".hidden.", " lead", "a*b"};
    for (const std::string& n : names) {
        EXPECT_GE(Http("GET /save/" + n + "?a=1 HTTP/1.0\r\n\r\n").first, 400) << n;
        EXPECT_GE(Http("GET /load/" + n + " HTTP/1.0\r\n\r\n").first, 400) << n;
    }
    std::mt19937 rng(5905);
    const std::vector<std::string> shapes = {
        "GET / HTTP/1.0\r\n\r\n", "DELETE /load/x HTTP/1.0\r\n\r\n", "GET /load/x HTTP/2.0\r\n\r\n",
        "POST /save/x HTTP/1.0\r\nContent-Length: 99999999\r\n\r\n", "POST /save/x HTTP/1.0\r\nContent-Length: -1\r\n\r\n",
        "POST /save/x HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n", "GET /load/x\r\n\r\n", "\r\n\r\n",
        "GET /save/x?a=%zz HTTP/1.0\r\n\r\n", "GET /load/x HTTP/1.0\r\nBad header\r\n\r\n",
        "GET /" + std::string(5000, 'a') + " HTTP/1.0\r\n\r\n", "GET /load/x HTTP/1.0\r\nX: " + std::string(9000, 'h')};
    int answered = 0;
    for (int i = 0; i < 1000; ++i) {
        std::string req;
        if (i % 3 == 0) {
            req.resize(1 + rng() % 300);
            for (char& c : req) c = static_cast<char>(rng());
            req += "\r\n\r\n";
        } else {
            req = shapes[rng() % shapes.size()];
        }
        auto [status, reply] = Http(req);
        EXPECT_TRUE(status == 0 || status >= 400) << i << ": " << status;
        answered += status != 0;
    }
    EXPECT_GT(answered, 600);
    EXPECT_EQ(Http("GET /load/scores.txt HTTP/1.0\r\n\r\n").first, 200) << "the service survived";
    // Nothing written but the two stores, beside the projector.
    std::set<std::string> stored;
    for (const auto& e : fs::directory_iterator(out_)) stored.insert(e.path().filename().string());
    EXPECT_EQ(stored, (std::set<std::string>{"Projector.exe", "scores.txt.vsv", "level.vsv"}));
    EXPECT_EQ(Slurp(out_ / "scores.txt.vsv"), "name=Ann%20Lee&score=42&note=caf%C3%A9");

    // The tools, with the running projector.
    const std::string engineWindow = report["engine_window"];
    auto toolEnv = Env();
    toolEnv["VEXELSCREEN_ENGINE_WINDOW"] = engineWindow;
    toolEnv["VEXELSCREEN_PROJECTOR_DIR"] = WinePath(dir_);
    fs::copy_file(family().player, dir_ / "launched.exe");
    {
        WineProcess vse(loader(), {(temp / "VSE.exe").string(), "launched.exe\t--args-only"}, toolEnv,
                        dir_ / "vse.log");
        EXPECT_EQ(vse.Wait(60s), 0) << Slurp(dir_ / "vse.log");
        ASSERT_TRUE(WaitFor([&] { return fs::exists(control_ / "args.txt"); }, 30s));
        auto args = ReadReport(control_ / "args.txt");
        EXPECT_EQ(args["args"], "--args-only");
        EXPECT_EQ(args["cwd"], WinePath(dir_));
    }
    {
        WineProcess vsp(loader(), {(temp / "VSP.exe").string(), "0\t0\t0\t0\t\"F=My\xC3\xBE" "Footer\"\t~NODIALOG"},
                        toolEnv, dir_ / "vsp.log");
        int code = vsp.Wait(60s);
        const std::string said = Slurp(dir_ / "vsp.log");
        EXPECT_TRUE(code == 0 || (code == 1 && said.find("No printer is installed") != std::string::npos))
            << code << ": " << said;
    }

    // Closing the window ends the engine, which removes its folder.
    std::ofstream(control_ / "close.request").put('\n');
    EXPECT_EQ(engine.Wait(120s), 0) << Slurp(dir_ / "engine.log");
    EXPECT_FALSE(fs::exists(temp)) << temp;
    EXPECT_EQ(EngineFolders(), foldersBefore);
    EXPECT_EQ(Http("GET /load/scores.txt HTTP/1.0\r\n\r\n").first, 0) << "the service stopped with the projector";
}

// What one round of the player's input (standin_player.c) did: what reached
// its window, and the pointer's state when the pointer moved over it.
struct InputRound {
    std::string reached, pointer;
};

// Has the player make its next round of input at (x, y) of its window;
// nothing when the round's middle click never reached the window.
std::optional<InputRound> MakeInput(const fs::path& control, int x, int y, std::size_t round) {
    std::ofstream(control / "input.part") << x << ' ' << y;
    fs::rename(control / "input.part", control / "input.request");
    // Every round ends with a middle click, which no setting stops.
    auto ended = [&](std::map<std::string, std::string>& r) {
        return static_cast<std::size_t>(std::count(r["input"].begin(), r["input"].end(), 'M')) > round;
    };
    std::map<std::string, std::string> r = ReportWhen(control, ended);
    if (!ended(r)) return std::nullopt;
    std::size_t start = 0;
    for (std::size_t i = 0; i < round; ++i) start = r["input"].find('M', start) + 1;
    return InputRound{r["input"].substr(start), r["pointer"]};
}

TEST_P(Engine, ClicksAndKeysPassOnOrStopAsChosen) {
    // A round of the player's input is a right click and the Windows key, a
    // move of the pointer, a left click and the key A, and a middle click.
    // Every projector here stops the right click, and the Windows key with
    // task switching: a round that lets neither through was made with the
    // engine's hooks in place.
    struct Choice {
        TspLeftClick left;
        TspKeyboard keys;
        bool hidePointer;
        std::string reached, pointer;
    };
    for (const Choice& c : {Choice{TspLeftClick::splAllow, TspKeyboard::spkAllow, false, "LKM", "shown"},
                            Choice{TspLeftClick::splIgnore, TspKeyboard::spkIgnore, true, "M", "hidden"}}) {
        SCOPED_TRACE("left click and keys " + std::string(c.reached == "M" ? "stopped" : "passed on"));
        s_TVexelProjector s;
        s.CaptionText = "Input";
        s.BorderStyle = TspBorder::spbNone;
        s.WindowSize = TspSize::spsCustom;
        s.WindowWidth = 200, s.WindowHeight = 100;
        s.PositionH = TspHPosition::spphNone, s.PositionV = TspVPosition::sppvNone;
        s.WindowX = 20, s.WindowY = 20;
        s.LeftClickBehaviour = c.left;
        s.KeyboardBehaviour = c.keys;
        s.HideCursor = c.hidePointer;
        s.RightClickBehaviour = TspRightClick::sprIgnore;
        s.DisableALTTAB = true;
        test::ComposeProjector(exe_, s, Inputs(s));
        fs::remove_all(control_);
        fs::create_directories(control_);
        const auto foldersBefore = EngineFolders();

        WineProcess engine(loader(), {exe_}, Env(), dir_ / "engine.log");
        ASSERT_TRUE(WaitFor([&] { return fs::exists(control_ / "shown.txt"); }, 120s)) << Slurp(dir_ / "engine.log");
        // The caption comes last of the window's settings.
        ASSERT_EQ(ReportWhen(control_, [](auto& r) { return r["caption"] == "Input"; })["caption"], "Input");
        std::optional<InputRound> round;
        for (std::size_t n = 0; n < 20; ++n) {
            round = MakeInput(control_, 100, 50, n);
            ASSERT_TRUE(round) << "a middle click never reached the window\n" << Slurp(dir_ / "engine.log");
            // The pointer's hook enters the player's process just after the others.
            if (round->reached.find_first_of("RW") == std::string::npos && round->pointer == c.pointer) break;
        }
        EXPECT_EQ(round->reached, c.reached);
        EXPECT_EQ(round->pointer, c.pointer);

        std::ofstream(control_ / "close.request").put('\n');
        EXPECT_EQ(engine.Wait(60s), 0) << Slurp(dir_ / "engine.log");
        EXPECT_EQ(EngineFolders(), foldersBefore);
    }
}

TEST_P(Engine, RefusesBadPackagesWithAMessage) {
    s_TVexelProjector s;
    s.CaptionText = "Bad";
    test::ComposeProjector(exe_, s, Inputs(s));
    const std::vector<std::uint8_t> good = ReadWholeFile(exe_);
    const std::uint32_t offset = good[good.size() - 4] | good[good.size() - 3] << 8 | good[good.size() - 2] << 16 |
                                 static_cast<std::uint32_t>(good[good.size() - 1]) << 24;
    auto find = [&](const std::string& text) {
        auto it = std::search(good.begin() + offset, good.end(), text.begin(), text.end());
        return static_cast<std::size_t>(it - good.begin());
    };
    auto named = [&](const std::string& name) {
        s_TVexelProjector bad;
        test::ProjectorInputs in = Inputs(bad);
        test::ComposeProjector(exe_, bad, in);
        bad.MainFile().SetFilename(name);  // no such file: the name changes, the data stays
        std::filesystem::copy_file(in.engine, exe_, fs::copy_options::overwrite_existing);
        TFileStream out(exe_, FileMode::OpenReadWrite);
        AppendPackage(out, bad);
        out.SetSize(out.Position());
        return ReadWholeFile(exe_);
    };
    struct Case {
        std::string what;
        std::vector<std::uint8_t> bytes;
        std::string message;
    };
    std::vector<Case> cases;
    cases.push_back({"cut", std::vector<std::uint8_t>(good.begin(), good.begin() + offset + 400), "holds no package"});
    auto flipped = good;
    for (std::size_t i = offset + 40; i < offset + 90; ++i) flipped[i] ^= 0x5A;
    cases.push_back({"flipped", flipped, "package is damaged"});
    auto huge = good;
    std::size_t data = find("MainFile.Data") + 14;
    huge[data] = 0xF0, huge[data + 1] = 0xFF, huge[data + 2] = 0xFF, huge[data + 3] = 0x7F;
    cases.push_back({"gigabyte length", huge, "package is damaged"});
    auto bigSize = good;
    std::size_t size = find("MainFile.Filesize") + 18;
    bigSize[size - 1] = 4, bigSize[size] = 0xFF, bigSize[size + 1] = 0xFF, bigSize[size + 2] = 0xFF, bigSize[size + 3] = 0x7F;
    cases.push_back({"size of 2 GiB", bigSize, "does not fit its data"});
    {
        // Compression mode 1 stores the bytes as they are; one changed byte
        // shows only in the stream's check value.
        s_TVexelProjector stored;
        test::ProjectorInputs in = Inputs(stored);
        in.compressMode = 1;
        test::ComposeProjector(exe_, stored, in);
        auto bytes = ReadWholeFile(exe_);
        const std::string key = "MainFile.Data";
        const auto at = std::search(bytes.begin(), bytes.end(), key.begin(), key.end()) - bytes.begin();
        bytes[static_cast<std::size_t>(at) + key.size() + 5 + 3000] ^= 0x01;
        cases.push_back({"a changed byte in a stored file", bytes, "package is damaged: bad packed data"});
    }
    cases.push_back({"dot-dot", named("C:\\movies\\.."), "cannot be written"});
    cases.push_back({"drive letter", named("C:evil.exe"), "cannot be written"});
    cases.push_back({"device", named("C:\\movies\\CON.exe"), "cannot be written"});

    const auto foldersBefore = EngineFolders();
    for (const Case& c : cases) {
        test::WriteBytes(exe_, c.bytes);
        WineProcess engine(loader(), {exe_}, Env(), dir_ / "bad.log");
        EXPECT_EQ(engine.Wait(120s), 1) << c.what;
        const std::string said = Slurp(dir_ / "bad.log");
        EXPECT_NE(said.find("VexelSCREEN: The projector"), std::string::npos) << c.what << ": " << said;
        EXPECT_NE(said.find(c.message), std::string::npos) << c.what << ": " << said;
        EXPECT_FALSE(fs::exists(control_ / "shown.txt")) << c.what;
    }
    EXPECT_EQ(EngineFolders(), foldersBefore);
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(out_)) left.insert(e.path().filename().string());
    EXPECT_EQ(left, std::set<std::string>{"Projector.exe"});
}

// The player's processes (of either kind), by their command line.
std::size_t PlayersRunning(const std::string& folder) {
    std::size_t n = 0;
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string cmd = Slurp(e.path() / "cmdline");
        if (cmd.find("standin_player") != std::string::npos && cmd.find(folder) != std::string::npos) ++n;
    }
    return n;
}

TEST_P(Engine, SmallCaptionKeepsRatioAndEndsWithItsPlayer) {
    // A small caption with a task-bar button, on top of other windows,
    // resizing that keeps the ratio and rescales the shape, and the engine's
    // menu ready for right clicks.
    s_TVexelProjector s;
    s.BorderStyle = TspBorder::spbTool;
    s.StayOnTop = true;
    s.ShowInTaskbar = true;
    s.BorderResizeable = true;
    s.ResizeKeepRatio = true;
    s.RightClickBehaviour = TspRightClick::sprPopup;
    s.WindowSize = TspSize::spsCustom;
    s.WindowWidth = 200, s.WindowHeight = 100;
    s.PositionH = TspHPosition::spphNone, s.PositionV = TspVPosition::sppvNone;
    s.WindowX = 20, s.WindowY = 20;
    TStoreWinRegion shape;
    const std::vector<Rect> rects = {{0, 0, 200, 50}, {0, 50, 100, 100}};
    shape.RegionHolder().SetHandle(Region::fromRects(rects));
    shape.Width = 200, shape.Height = 100;
    s.Shape().Assign(shape);
    test::ComposeProjector(exe_, s, Inputs(s));
    const auto foldersBefore = EngineFolders();

    std::string folder;
    {
        WineProcess engine(loader(), {exe_}, Env(), dir_ / "engine.log");
        ASSERT_TRUE(WaitFor([&] { return fs::exists(control_ / "shown.txt"); }, 120s)) << Slurp(dir_ / "engine.log");
        auto r = ReportWhen(control_, [](auto& r) { return r["region"] == "0,0,200,50;0,50,100,100"; });
        EXPECT_EQ(r["rect"], "20,20,220,120");
        const std::uint32_t style = std::stoul(r["style"], nullptr, 16), ex = std::stoul(r["exstyle"], nullptr, 16);
        EXPECT_EQ(style & 0x00C00000u, 0x00C00000u) << "a caption " << Hex(style);
        EXPECT_EQ(ex & 0x00040080u, 0x00040080u) << "small caption and task-bar button " << Hex(ex);
        EXPECT_EQ(r["topmost"], "1");
        folder = fs::path(LinuxPath(r["cwd"])).filename().string();

        // The user drags the border to 300 x 120: the width led, so the
        // height follows the ratio and the shape grows with it.
        std::ofstream(control_ / "size.request") << "300 120";
        r = ReportWhen(control_, [](auto& r) { return r["rect"] == "20,20,320,170"; });
        EXPECT_EQ(r["rect"], "20,20,320,170");
        EXPECT_EQ(r["region"], "0,0,300,75;0,75,150,150");

        // The engine's menu is open when the player closes: the engine ends all the same.
        std::ofstream(control_ / "menu.request").put('\n');
        ASSERT_TRUE(WaitFor([&] { return !fs::exists(control_ / "menu.request"); }, 30s));
        std::this_thread::sleep_for(500ms);
        std::ofstream(control_ / "close.request").put('\n');
        EXPECT_EQ(engine.Wait(60s), 0) << "the engine outlived its player\n" << Slurp(dir_ / "engine.log");
        EXPECT_EQ(EngineFolders(), foldersBefore);
    }
    {
        // An engine ended from outside takes its player with it; the folder
        // it leaves is removed by the projector's next start. A report the
        // first player left behind names the first, removed, folder.
        for (const char* stale : {"shown.txt", "report.txt", "report.request"}) fs::remove(control_ / stale);
        auto engine =
            std::make_unique<WineProcess>(loader(), std::vector<std::string>{exe_}, Env(), dir_ / "engine.log");
        ASSERT_TRUE(WaitFor([&] { return fs::exists(control_ / "shown.txt"); }, 120s)) << Slurp(dir_ / "engine.log");
        auto r = ReportWhen(control_, [](auto& r) { return !r["cwd"].empty(); });
        const fs::path left = LinuxPath(r["cwd"]);
        engine.reset();  // SIGKILL
        EXPECT_TRUE(WaitFor([&] { return PlayersRunning(left.filename().string()) == 0; }, 60s)) << "the player ran on";
        EXPECT_TRUE(fs::exists(left));
        fs::remove(control_ / "shown.txt");
        WineProcess next(loader(), {exe_}, Env(), dir_ / "engine.log");
        ASSERT_TRUE(WaitFor([&] { return fs::exists(control_ / "shown.txt"); }, 120s)) << Slurp(dir_ / "engine.log");
        EXPECT_FALSE(fs::exists(left)) << "the abandoned folder stayed";
        std::ofstream(control_ / "close.request").put('\n');
        EXPECT_EQ(next.Wait(120s), 0);
        EXPECT_EQ(EngineFolders(), foldersBefore);
    }
}

// A request sent by the player, as the movie sends it; the status and body.
std::pair<int, std::string> PlayerHttp(const fs::path& control, const std::string& request) {
    fs::remove(control / "http.txt");
    std::ofstream(control / "http.part", std::ios::binary) << request;
    fs::rename(control / "http.part", control / "http.request");
    if (!WaitFor([&] { return fs::exists(control / "http.txt"); }, 30s)) return {-1, {}};
    const std::string reply = Slurp(control / "http.txt");
    int status = reply.starts_with("HTTP/1.0 ") ? std::atoi(reply.c_str() + 9) : 0;
    auto body = reply.find("\r\n\r\n");
    return {status, body == std::string::npos ? std::string() : reply.substr(body + 4)};
}

// Two projectors at once: both of one kind, or a 32-bit one (which starts the
// variable service) and a 64-bit one.
class Engines : public EngineRun, public ::testing::WithParamInterface<std::pair<int, int>> {
protected:
    void SetUp() override { SetUpFor({GetParam().first, GetParam().second}); }
    const Family& first() const { return families_.at(GetParam().first); }
    const Family& second() const { return families_.at(GetParam().second); }
};
std::string KindsName(const ::testing::TestParamInfo<std::pair<int, int>>& info) {
    const std::string first = "Player" + std::to_string(info.param.first);
    return info.param.first == info.param.second ? first : first + "AndPlayer" + std::to_string(info.param.second);
}
INSTANTIATE_TEST_SUITE_P(Kind, Engines, ::testing::Values(std::pair(32, 32), std::pair(64, 64), std::pair(32, 64)),
                         KindsName);

TEST_P(Engines, TwoProjectorsKeepTheirOwnVariables) {
    if (ServicePortTaken()) GTEST_SKIP() << "another program listens on 127.0.0.1:5905";
    // Two projectors in two folders, running at once on the one service port.
    s_TVexelProjector s;
    s.HasVarStore = true;
    test::ComposeProjector(exe_, s, Inputs(s, first()));
    const fs::path otherDir = dir_ / "other", otherControl = dir_ / "control2";
    fs::create_directories(otherDir);
    fs::create_directories(otherControl);
    const std::string other = (otherDir / "Other.exe").string();
    s_TVexelProjector s2;
    s2.HasVarStore = true;
    test::ComposeProjector(other, s2, Inputs(s2, second()));

    const auto foldersBefore = EngineFolders();
    WineProcess one(first().loader, {exe_}, Env(), dir_ / "first.log");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(control_ / "shown.txt"); }, 120s)) << Slurp(dir_ / "first.log");
    auto env2 = Env();
    env2["VS_TEST_PLAYER_DIR"] = WinePath(otherControl);
    auto two =
        std::make_unique<WineProcess>(second().loader, std::vector<std::string>{other}, env2, dir_ / "second.log");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(otherControl / "shown.txt"); }, 120s)) << Slurp(dir_ / "second.log");

    const std::string load = "GET /load/v HTTP/1.0\r\n\r\n";
    EXPECT_EQ(PlayerHttp(control_, "GET /save/v?who=first HTTP/1.0\r\n\r\n").first, 200);
    EXPECT_EQ(PlayerHttp(otherControl, "GET /save/v?who=second HTTP/1.0\r\n\r\n").first, 200);
    EXPECT_EQ(PlayerHttp(control_, load), std::make_pair(200, std::string("who=first")));
    EXPECT_EQ(PlayerHttp(otherControl, load), std::make_pair(200, std::string("who=second")));
    EXPECT_EQ(Slurp(out_ / "v.vsv"), "who=first");
    EXPECT_EQ(Slurp(otherDir / "v.vsv"), "who=second");
    // A client that belongs to neither projector is told so, and stores nothing.
    EXPECT_EQ(Http("GET /save/v?who=nobody HTTP/1.0\r\n\r\n").first, 503);

    // The first projector (whose folder the service started from) closes:
    // the second one's saves and loads go on, in its own folder.
    std::ofstream(control_ / "close.request").put('\n');
    EXPECT_EQ(one.Wait(60s), 0) << Slurp(dir_ / "first.log");
    EXPECT_EQ(PlayerHttp(otherControl, load), std::make_pair(200, std::string("who=second")));
    EXPECT_EQ(PlayerHttp(otherControl, "GET /save/v?who=second+again HTTP/1.0\r\n\r\n").first, 200);
    EXPECT_EQ(Slurp(otherDir / "v.vsv"), "who=second%20again");
    EXPECT_EQ(Slurp(out_ / "v.vsv"), "who=first");

    // The last one closes: the service ends with it, and nothing stays.
    std::ofstream(otherControl / "close.request").put('\n');
    EXPECT_EQ(two->Wait(60s), 0) << Slurp(dir_ / "second.log");
    EXPECT_TRUE(WaitFor([] { return Http("GET /load/v HTTP/1.0\r\n\r\n").first == 0; }, 20s));
    EXPECT_EQ(EngineFolders(), foldersBefore) << "the service's folder is removed with the last projector";
}

}  // namespace
}  // namespace vs
