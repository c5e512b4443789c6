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
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "cli_support.h"
#include "engine_projector.h"
#include "exe/exe_image.h"
#include "exe/icon.h"
#include "exe/icon_replace.h"
#include "package/package_file.h"
#include "support/projector_builder.h"
#include "support/test_signer.h"
#include "swf/projector_movie.h"
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
    // The engine's folders made since `before` and still there (a start
    // also removes folders that earlier runs left behind).
    std::set<std::string> FoldersLeft(const std::set<std::string>& before) const {
        std::set<std::string> left;
        for (const std::string& f : EngineFolders())
            if (!before.contains(f)) left.insert(f);
        return left;
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

    // Starts the projector again and closes it once it shows: that start has
    // removed the folder `left`, and no folder of the test's runs stays.
    void ExpectTheNextStartRemoves(const fs::path& left, const std::set<std::string>& foldersBefore,
                                   const char* what) {
        fs::remove(control_ / "shown.txt");
        WineProcess next(loader(), {exe_}, Env(), dir_ / "engine.log");
        ASSERT_TRUE(WaitFor([&] { return fs::exists(control_ / "shown.txt"); }, 120s)) << Slurp(dir_ / "engine.log");
        EXPECT_FALSE(fs::exists(left)) << what;
        std::ofstream(control_ / "close.request").put('\n');
        EXPECT_EQ(next.Wait(120s), 0);
        EXPECT_EQ(FoldersLeft(foldersBefore), std::set<std::string>());
    }
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

// A GET request as the movie sends it, Host header included.
std::string Get(const std::string& target, const std::string& host = "127.0.0.1:5905") {
    return "GET " + target + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n";
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

    // Saves and loads come from the player, as the movie makes them. A
    // program of its own (this test) is refused and stores nothing.
    EXPECT_EQ(PlayerHttp(control_, Get("/load/scores.txt")), std::make_pair(200, std::string())) << "nothing stored yet";
    const std::string body = "name=Ann+Lee&score=42&note=caf%C3%A9";
    auto saved = PlayerHttp(control_, "POST /save/scores.txt HTTP/1.1\r\nHost: 127.0.0.1:5905\r\nContent-Type: "
                                      "application/x-www-form-urlencoded\r\nContent-Length: " +
                                          std::to_string(body.size()) + "\r\n\r\n" + body);
    EXPECT_EQ(saved.first, 200);
    EXPECT_EQ(PlayerHttp(control_, Get("/load/scores.txt")),
              std::make_pair(200, std::string("name=Ann%20Lee&score=42&note=caf%C3%A9")));
    EXPECT_EQ(PlayerHttp(control_, Get("/save/level?stage=3")).first, 200);
    EXPECT_EQ(PlayerHttp(control_, "GET http://127.0.0.1:5905/load/level HTTP/1.0\r\n\r\n").second, "stage=3");
    EXPECT_EQ(Http(Get("/save/level?stage=9")).first, 403);

    // Path-like names and malformed requests: refused, and the service goes on.
    const std::vector<std::string> names = {"..", "../x", "..%2fx", "%2e%2e%2fx", "..%5cx", "a/b", "a%5cb", "C:x",
                                            "C%3ax", "CON", "aux.txt", "nul", "COM1", "LPT9.log", std::string(65, 'n'),
                                            "x%00y", "%", "", ".hidden.", " lead", "a*b"};
    for (const std::string& n : names) {
        EXPECT_GE(PlayerHttp(control_, Get("/save/" + n + "?a=1")).first, 400) << n;
        EXPECT_GE(PlayerHttp(control_, Get("/load/" + n)).first, 400) << n;
    }
    const std::string host = "Host: 127.0.0.1:5905\r\n";
    for (const std::string& req : std::vector<std::string>{"GET / HTTP/1.0\r\n" + host + "\r\n", "DELETE /load/x HTTP/1.0\r\n" + host + "\r\n",
          "GET /load/x HTTP/2.0\r\n" + host + "\r\n", "POST /save/x HTTP/1.0\r\nContent-Length: 99999999\r\n" + host + "\r\n",
          "POST /save/x HTTP/1.0\r\nTransfer-Encoding: chunked\r\n" + host + "\r\n", "GET /load/x\r\n\r\n",
          "\r\n\r\n", "GET /save/x?a=%zz HTTP/1.0\r\n" + host + "\r\n", "GET /load/x HTTP/1.0\r\nBad header\r\n\r\n",
          "GET /" + std::string(5000, 'a') + " HTTP/1.0\r\n\r\n", "GET /load/x HTTP/1.0\r\nX: " + std::string(9000, 'h')}) {
        auto [status, reply] = PlayerHttp(control_, req);
        EXPECT_TRUE(status == 0 || status >= 400) << req.substr(0, 40) << ": " << status;
    }
    std::mt19937 rng(5905);
    for (int i = 0; i < 20; ++i) {
        std::string req(1 + rng() % 300, '\0');
        for (char& c : req) c = static_cast<char>(rng());
        auto [status, reply] = Http(req + "\r\n\r\n");
        EXPECT_TRUE(status == 0 || status == 403) << i << ": " << status;
    }
    EXPECT_EQ(PlayerHttp(control_, Get("/load/scores.txt")).first, 200) << "the service survived";
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
    EXPECT_EQ(FoldersLeft(foldersBefore), std::set<std::string>());
    EXPECT_EQ(Http(Get("/load/scores.txt")).first, 0) << "the service stopped with the projector";
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
        EXPECT_EQ(FoldersLeft(foldersBefore), std::set<std::string>());
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
    EXPECT_EQ(FoldersLeft(foldersBefore), std::set<std::string>());
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

TEST_P(Engine, RunsTheProjectorOfARealCompressedMovie) {
    // A published movie (zlib) and its LZMA form from xz's encoder, each made
    // into a projector with the stand-in player as a build makes it: the
    // player must find the movie, uncompressed, through the trailer.
    const fs::path published = fs::path(VS_REAL_MOVIES_DIR) / "videojs-swf/package/dist/video-js.swf";
    if (!fs::exists(published)) GTEST_SKIP() << "no " << published << " (scripts/setup.sh fetches it from npm)";
    const std::vector<std::uint8_t> cws = ReadWholeFile(published.string());
    const std::vector<std::uint8_t> fws = UncompressedMovie(cws);
    std::vector<std::vector<std::uint8_t>> movies = {cws};
    const fs::path body = dir_ / "body", lzma = dir_ / "body.lzma";
    test::WriteProjectorFile(body.string(), std::vector<std::uint8_t>(fws.begin() + 8, fws.end()));
    if (std::system(("xz --format=lzma -c '" + body.string() + "' > '" + lzma.string() + "'").c_str()) == 0) {
        const std::vector<std::uint8_t> encoded = ReadWholeFile(lzma.string());
        std::vector<std::uint8_t> zws = {'Z', 'W', 'S', fws[3], fws[4], fws[5], fws[6], fws[7]};
        const auto n = static_cast<std::uint32_t>(encoded.size() - 13);
        for (int i = 0; i < 4; ++i) zws.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
        zws.insert(zws.end(), encoded.begin(), encoded.begin() + 5);
        zws.insert(zws.end(), encoded.begin() + 13, encoded.end());
        movies.push_back(zws);
    }
    std::vector<std::uint8_t> player = ReadWholeFile(family().player);
    const std::string text = "ShockwaveFlash";
    player.insert(player.end(), text.begin(), text.end());
    for (const auto& movie : movies) {
        SCOPED_TRACE(std::string(movie.begin(), movie.begin() + 3));
        const std::string made = (dir_ / "video-js.exe").string();
        test::WriteProjectorFile(made, MakeProjector(player, movie));
        s_TVexelProjector s;
        s.CaptionText = "Real movie";
        test::ProjectorInputs in = Inputs(s);
        in.flashPlayer = made;
        test::ComposeProjector(exe_, s, in);
        for (const char* stale : {"shown.txt", "report.txt", "report.request"}) fs::remove(control_ / stale);
        WineProcess engine(loader(), {exe_}, Env(), dir_ / "engine.log");
        ASSERT_TRUE(WaitFor([&] { return fs::exists(control_ / "shown.txt"); }, 120s)) << Slurp(dir_ / "engine.log");
        auto r = ReportWhen(control_, [](auto& r) { return r["caption"] == "Real movie"; });
        EXPECT_NE(r["text"].find("Movie: 480 x 270 pixels, 60 frames per second, 1 frames"), std::string::npos) << r["text"];
        std::ofstream(control_ / "close.request").put('\n');
        EXPECT_EQ(engine.Wait(60s), 0) << Slurp(dir_ / "engine.log");
    }
}

TEST_P(Engine, RunsWhenSignedAndRefusesASignatureThatDoesNotEndTheFile) {
    if (const std::string why = test::SigningUnavailable(); !why.empty()) GTEST_SKIP() << why;
    const test::TestSigner signer = test::MakeTestSigner(dir_.string());
    // A shaped projector with a file of its own, built unsigned, built with
    // --sign, and signed afterwards by osslsigncode: all three show the same.
    const std::string player = (dir_ / "player.exe").string();
    test::WritePlayerProjector(player, family().player);
    std::vector<std::uint32_t> pixels(160 * 80, 0xFF00FF);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < (y < 40 ? 160 : 80); ++x) pixels[static_cast<std::size_t>(y * 160 + x)] = 0x2060A0;
    const std::string bitmap = (dir_ / "shape.bmp").string(), readme = (dir_ / "readme.txt").string();
    test::WriteFileBytes(bitmap, test::MakeBmp({}, 160, 80, pixels));
    std::ofstream(readme) << "travels with the projector";
    const std::vector<std::string> options = {"build", "--projector", player, "--shape", bitmap, "--transparent", "FF00FF",
                                              "--add", readme, "--set", "CaptionText=Signed projector"};
    auto build = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = options;
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"-o", out});
        const test::CliResult r = test::RunCli(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
    };
    const std::string unsignedExe = (out_ / "Unsigned.exe").string(), builtSigned = (out_ / "Built signed.exe").string();
    build(unsignedExe, {});
    build(builtSigned, {"--sign", signer.certificate, "--sign-key", signer.key});
    ASSERT_TRUE(test::SignWithOsslsigncode(signer, unsignedExe, exe_));
    for (const std::string& file : {builtSigned, exe_}) EXPECT_TRUE(test::VerifyWithOsslsigncode(signer, file)) << file;

    const auto foldersBefore = EngineFolders();
    auto run = [&](const std::string& exe) {
        for (const char* stale : {"shown.txt", "report.txt", "report.request"}) fs::remove(control_ / stale);
        WineProcess engine(loader(), {exe}, Env(), dir_ / "engine.log");
        EXPECT_TRUE(WaitFor([&] { return fs::exists(control_ / "shown.txt"); }, 120s)) << Slurp(dir_ / "engine.log");
        auto r = ReportWhen(control_, [](auto& r) { return r["region"] == "0,0,160,40;0,40,80,80"; });
        std::ofstream(control_ / "close.request").put('\n');
        EXPECT_EQ(engine.Wait(60s), 0) << Slurp(dir_ / "engine.log");
        return r;
    };
    auto plain = run(unsignedExe);
    EXPECT_EQ(plain["caption"], "Signed projector");
    EXPECT_EQ(plain["region"], "0,0,160,40;0,40,80,80");
    EXPECT_NE(plain["files"].find("readme.txt"), std::string::npos) << plain["files"];
    for (const std::string& exe : {builtSigned, exe_}) {
        SCOPED_TRACE(exe);
        auto r = run(exe);
        for (const char* key : {"caption", "region", "files"}) EXPECT_EQ(r[key], plain[key]) << key;
    }
    EXPECT_EQ(FoldersLeft(foldersBefore), std::set<std::string>());

    // Bytes after the signature: the engine says so and starts nothing.
    std::ofstream(exe_, std::ios::app | std::ios::binary) << "appended after the signature";
    fs::remove(control_ / "shown.txt");
    WineProcess damaged(loader(), {exe_}, Env(), dir_ / "damaged.log");
    EXPECT_NE(damaged.Wait(120s), 0);
    EXPECT_NE(Slurp(dir_ / "damaged.log").find("certificate table does not end the file"), std::string::npos)
        << Slurp(dir_ / "damaged.log");
    EXPECT_FALSE(fs::exists(control_ / "shown.txt"));
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
        EXPECT_EQ(FoldersLeft(foldersBefore), std::set<std::string>());
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
        ExpectTheNextStartRemoves(left, foldersBefore, "the abandoned folder stayed");
    }
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

    const std::string load = Get("/load/v");
    EXPECT_EQ(PlayerHttp(control_, Get("/save/v?who=first")).first, 200);
    EXPECT_EQ(PlayerHttp(otherControl, Get("/save/v?who=second")).first, 200);
    EXPECT_EQ(PlayerHttp(control_, load), std::make_pair(200, std::string("who=first")));
    EXPECT_EQ(PlayerHttp(otherControl, load), std::make_pair(200, std::string("who=second")));
    EXPECT_EQ(Slurp(out_ / "v.vsv"), "who=first");
    EXPECT_EQ(Slurp(otherDir / "v.vsv"), "who=second");
    // A client that belongs to neither projector is refused, and stores nothing.
    EXPECT_EQ(Http(Get("/save/v?who=nobody")).first, 403);

    // The first projector (whose folder the service started from) closes:
    // the second one's saves and loads go on, in its own folder.
    std::ofstream(control_ / "close.request").put('\n');
    EXPECT_EQ(one.Wait(60s), 0) << Slurp(dir_ / "first.log");
    EXPECT_EQ(PlayerHttp(otherControl, load), std::make_pair(200, std::string("who=second")));
    EXPECT_EQ(PlayerHttp(otherControl, Get("/save/v?who=second+again")).first, 200);
    EXPECT_EQ(Slurp(otherDir / "v.vsv"), "who=second%20again");
    EXPECT_EQ(Slurp(out_ / "v.vsv"), "who=first");

    // The last one closes: the service ends with it, and nothing stays.
    std::ofstream(otherControl / "close.request").put('\n');
    EXPECT_EQ(two->Wait(60s), 0) << Slurp(dir_ / "second.log");
    EXPECT_TRUE(WaitFor([] { return Http(Get("/load/v")).first == 0; }, 20s));
    EXPECT_EQ(FoldersLeft(foldersBefore), std::set<std::string>()) << "the service's folder is removed with the last projector";
}

// A projector of the test: the stand-in player with the variable service,
// built into `folder`, its player talking through `control`.
struct Started {
    fs::path control;
    std::unique_ptr<WineProcess> engine;
};

class SharedService : public Engine {
protected:
    std::string Compose(const fs::path& folder, const std::string& name) {
        fs::create_directories(folder);
        const std::string exe = (folder / name).string();
        s_TVexelProjector s;
        s.HasVarStore = true;
        test::ComposeProjector(exe, s, Inputs(s));
        return exe;
    }
    // Starts a projector and waits for its player's window.
    Started Start(const std::string& exe, const std::string& tag) {
        Started p{dir_ / ("control-" + tag), nullptr};
        fs::create_directories(p.control);
        auto env = Env();
        env["VS_TEST_PLAYER_DIR"] = WinePath(p.control);
        p.engine = std::make_unique<WineProcess>(loader(), std::vector<std::string>{exe}, env, dir_ / (tag + ".log"));
        EXPECT_TRUE(WaitFor([&] { return fs::exists(p.control / "shown.txt"); }, 120s)) << Slurp(dir_ / (tag + ".log"));
        return p;
    }
    void Close(Started& p, const std::string& tag) {
        std::ofstream(p.control / "close.request").put('\n');
        EXPECT_EQ(p.engine->Wait(60s), 0) << Slurp(dir_ / (tag + ".log"));
    }
    // A save and a load by the player; the load's body.
    std::string SaveAndLoad(const Started& p, const std::string& value) {
        EXPECT_EQ(PlayerHttp(p.control, Get("/save/v?who=" + value)).first, 200) << value;
        auto [status, body] = PlayerHttp(p.control, Get("/load/v"));
        EXPECT_EQ(status, 200) << value;
        return body;
    }
};
INSTANTIATE_TEST_SUITE_P(Kind, SharedService, ::testing::Values(32, 64), KindName);

TEST_P(SharedService, ServesEveryProjectorThroughStartsEndsAndKills) {
    if (ServicePortTaken()) GTEST_SKIP() << "another program listens on 127.0.0.1:5905";
    const std::string a = Compose(out_, "A.exe"), b = Compose(dir_ / "b", "B.exe");
    const auto foldersBefore = EngineFolders();

    // The service runs from a folder of its own (its program, no player),
    // which it holds while it runs: no start takes it for abandoned.
    auto serviceHolds = [&] {
        for (const std::string& f : FoldersLeft(foldersBefore))
            if (fs::exists(fs::path(f) / "VSS.exe") && !fs::exists(fs::path(f) / "standin_player.exe"))
                return fs::exists(fs::path(f) / "VexelSCREEN.lock");
        return false;
    };

    // The same projector twice: one store, and both are served.
    Started a1 = Start(a, "a1");
    Started a2 = Start(a, "a2");
    EXPECT_TRUE(serviceHolds()) << "the second start took the service's folder for abandoned";
    EXPECT_EQ(SaveAndLoad(a1, "a1"), "who=a1");
    EXPECT_EQ(SaveAndLoad(a2, "a2"), "who=a2");
    EXPECT_EQ(PlayerHttp(a1.control, Get("/load/v")).second, "who=a2");
    Close(a2, "a2");
    EXPECT_EQ(SaveAndLoad(a1, "a1+again"), "who=a1%20again");

    // A, which started the service, is killed while B runs; then A starts again.
    Started b1 = Start(b, "b1");
    EXPECT_EQ(SaveAndLoad(b1, "b1"), "who=b1");
    const fs::path left = LinuxPath(ReportWhen(a1.control, [](auto& r) { return !r["cwd"].empty(); })["cwd"]);
    a1.engine.reset();  // SIGKILL
    EXPECT_TRUE(WaitFor([&] { return PlayersRunning(left.filename().string()) == 0; }, 60s)) << "the player ran on";
    EXPECT_EQ(SaveAndLoad(b1, "b2"), "who=b2");
    Started a3 = Start(a, "a3");
    EXPECT_FALSE(fs::exists(left)) << "the killed run's folder stayed";
    EXPECT_TRUE(serviceHolds()) << "a start took the service's folder for abandoned";
    EXPECT_EQ(SaveAndLoad(a3, "a3"), "who=a3");
    EXPECT_EQ(SaveAndLoad(b1, "b3"), "who=b3");
    EXPECT_EQ(Slurp(out_ / "v.vsv"), "who=a3");
    EXPECT_EQ(Slurp(dir_ / "b" / "v.vsv"), "who=b3");

    // The last one to leave ends the service, and nothing stays.
    Close(a3, "a3");
    EXPECT_EQ(SaveAndLoad(b1, "b4"), "who=b4");
    Close(b1, "b1");
    EXPECT_TRUE(WaitFor([] { return Http(Get("/load/v")).first == 0; }, 20s));
    EXPECT_EQ(FoldersLeft(foldersBefore), std::set<std::string>());
}

TEST_P(SharedService, ServesItsPlayersAloneWhateverElseConnects) {
    if (ServicePortTaken()) GTEST_SKIP() << "another program listens on 127.0.0.1:5905";
    const std::string a = Compose(out_, "A.exe");
    Started p = Start(a, "a");
    EXPECT_EQ(SaveAndLoad(p, "mine"), "who=mine");
    const std::string stored = Slurp(out_ / "v.vsv");
    const auto alone = std::chrono::steady_clock::now();
    EXPECT_EQ(PlayerHttp(p.control, Get("/load/v")), std::make_pair(200, stored));
    std::cout << "[ measured ] the player's load alone: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - alone).count()
              << " ms\n";

    // Forty idle connections, a few of them trickling a request, and the
    // player is answered all the same.
    std::vector<int> idle;
    for (int i = 0; i < 40; ++i) idle.push_back(Connect());
    for (int i = 0; i < 8; ++i) ::send(idle[static_cast<std::size_t>(i)], "G", 1, MSG_NOSIGNAL);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_EQ(PlayerHttp(p.control, Get("/load/v")), std::make_pair(200, stored));
    const auto answered = std::chrono::steady_clock::now();
    std::cout << "[ measured ] the player's load with 40 idle connections: "
              << std::chrono::duration_cast<std::chrono::milliseconds>(answered - asked).count() << " ms\n";
    EXPECT_EQ(PlayerHttp(p.control, Get("/save/v?who=still+mine")).first, 200);
    for (int c : idle) ::close(c);

    // What a browser would send: from a process that no projector started
    // (this test, and a program under wine), or with a name of another host
    // from the player (DNS rebinding). Refused, and nothing is written.
    const std::string kept = Slurp(out_ / "v.vsv");
    EXPECT_EQ(Http(Get("/save/v?who=page")).first, 403);
    EXPECT_EQ(Http(Get("/load/v")), std::make_pair(403, std::string()));
    EXPECT_EQ(Http(Get("/save/w?who=page")).first, 403);
    const fs::path strangerControl = dir_ / "stranger";
    fs::create_directories(strangerControl);
    auto env = Env();
    env["VS_TEST_PLAYER_DIR"] = WinePath(strangerControl);
    WineProcess stranger(loader(), {family().player}, env, dir_ / "stranger.log");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(strangerControl / "shown.txt"); }, 120s)) << Slurp(dir_ / "stranger.log");
    EXPECT_EQ(PlayerHttp(strangerControl, Get("/save/v?who=stranger")).first, 403);
    EXPECT_EQ(PlayerHttp(strangerControl, Get("/load/v")), std::make_pair(403, std::string()));
    std::ofstream(strangerControl / "close.request").put('\n');
    EXPECT_EQ(stranger.Wait(60s), 0);
    for (const std::string& host : {"evil.example:5905", "127.0.0.1.evil.example:5905", "127.0.0.1", "localhost:80"})
        EXPECT_EQ(PlayerHttp(p.control, Get("/save/v?who=rebound", host)).first, 403) << host;
    EXPECT_EQ(PlayerHttp(p.control, "GET /save/v?who=rebound HTTP/1.0\r\n\r\n").first, 403) << "no host";
    EXPECT_EQ(Slurp(out_ / "v.vsv"), kept);
    std::set<std::string> files;
    for (const auto& e : fs::directory_iterator(out_)) files.insert(e.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"A.exe", "v.vsv"}));
    EXPECT_EQ(PlayerHttp(p.control, Get("/load/v", "localhost:5905")), std::make_pair(200, kept));
    Close(p, "a");
}

// A folder the engine cannot empty when it ends (a program the movie
// launched still holds a file, or the movie wrote one of its own there)
// keeps its lock file, so that a later start finds it abandoned and removes
// it whole.
TEST_P(Engine, AFolderThatCannotBeEmptiedIsRemovedByALaterStart) {
    s_TVexelProjector s;
    test::ComposeProjector(exe_, s, Inputs(s));
    const auto foldersBefore = EngineFolders();
    fs::path folder;
    {
        WineProcess engine(loader(), {exe_}, Env(), dir_ / "engine.log");
        ASSERT_TRUE(WaitFor([&] { return fs::exists(control_ / "shown.txt"); }, 120s)) << Slurp(dir_ / "engine.log");
        folder = LinuxPath(ReportWhen(control_, [](auto& r) { return !r["cwd"].empty(); })["cwd"]);
        std::ofstream(folder / "written by the movie.txt") << "kept";
        std::ofstream(control_ / "close.request").put('\n');
        EXPECT_EQ(engine.Wait(60s), 0) << Slurp(dir_ / "engine.log");
    }
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"VexelSCREEN.lock", "written by the movie.txt"}));
    ExpectTheNextStartRemoves(folder, foldersBefore, "the folder that could not be emptied stayed");
}

// DLLs named like system ones beside the projector (a downloads folder) are
// never loaded: the engine takes DLLs from the system folder only, and its
// hook library by its full path. And a packed file whose name makes a path
// longer than MAX_PATH in a deep temporary folder is written and removed.
TEST_P(Engine, LoadsNoDllFromBesideItAndWritesLongNames) {
    const std::string longName = std::string(190, 'L') + ".txt";
    const fs::path temp = dir_ / ("temp-" + std::string(60, 't'));
    fs::create_directories(temp);
    const fs::path longFile = dir_ / longName;
    std::ofstream(longFile) << "long";
    s_TVexelProjector s;
    s.CaptionText = "Planted";
    test::ProjectorInputs in = Inputs(s);
    in.files.insert(in.files.begin(), longFile.string());
    test::ComposeProjector(exe_, s, in);
    const std::vector<std::string> planted = {"uxtheme.dll", "dwmapi.dll", "comctl32.dll", "winmm.dll",
                                              "dbghelp.dll", "wtsapi32.dll", "msimg32.dll", "iphlpapi.dll"};
    for (const std::string& name : planted) fs::copy_file(tools() + "/mhproc.dll", out_ / name);
    auto env = Env();
    env["WINEDEBUG"] = "+loaddll";
    env["TEMP"] = env["TMP"] = WinePath(temp);
    WineProcess engine(loader(), {exe_}, env, dir_ / "engine.log");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(control_ / "shown.txt"); }, 120s)) << Slurp(dir_ / "engine.log");
    const auto r = ReportWhen(control_, [](auto& r) { return r["caption"] == "Planted"; });
    EXPECT_GT(WinePath(LinuxPath(r.at("cwd")) / longName).size(), 260u);
    EXPECT_EQ(Slurp(LinuxPath(r.at("cwd")) / longName), "long");
    std::ofstream(control_ / "close.request").put('\n');
    EXPECT_EQ(engine.Wait(60s), 0) << Slurp(dir_ / "engine.log");
    EXPECT_TRUE(fs::is_empty(temp)) << "the temporary folder stayed";

    // Every DLL the engine loaded, as wine's loader reports it.
    const std::string log = Slurp(dir_ / "engine.log");
    std::string beside = WinePath(out_) + "\\";
    std::string escaped;
    for (char c : beside) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    std::size_t loads = 0;
    for (std::size_t at = 0; (at = log.find("Loaded L\"", at)) != std::string::npos; ++at) {
        ++loads;
        const std::string name = log.substr(at + 9, log.find('"', at + 9) - at - 9);
        if (name.starts_with(escaped)) EXPECT_EQ(name, escaped + "Projector.exe") << "loaded from beside the projector";
    }
    EXPECT_GT(loads, 5u) << "wine's loader reported nothing: " << log.substr(0, 500);
}

// The application manifest (RT_MANIFEST 24, id 1) of an executable, read
// with the generator's own resource reader; empty when there is none.
std::string ManifestOf(const std::string& file) {
    TExeImage image(file);
    TResourceList& root = image.ResourceTree();
    for (int i = 0; i < root.Count(); ++i) {
        TResourceItem& type = root.Items(i);
        if (type.IsNamed() || type.Id() != 24) continue;
        TResourceList& ids = type.Children();
        for (int j = 0; j < ids.Count(); ++j)
            if (!ids.Items(j).IsNamed() && ids.Items(j).Id() == 1)
                for (const TResourceLanguage& l : ids.Items(j).Languages())
                    return std::string(reinterpret_cast<const char*>(l.pointer), l.size);
    }
    return {};
}

// Every program of both families carries one manifest: no elevation (also
// for a projector named like an installer), the systems it knows, per-monitor
// DPI awareness, common controls 6 and long paths. A build's version and icon
// leave it in place, and the engine's icon slot stays as the build needs it.
class Programs : public test::TempDirTest {};

TEST_F(Programs, EveryOneCarriesItsManifestThroughABuild) {
    const std::string engine = VS_TOOLS_DIR "/VSengine.exe";
    if (!fs::exists(engine)) GTEST_SKIP() << "the engine was not built (no mingw-w64 cross compiler)";
    const std::string manifest = ManifestOf(engine);
    for (const char* part :
         {"<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
          "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
          "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
          "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", ">true/pm</dpiAware>", ">PerMonitorV2, PerMonitor</dpiAwareness>",
          ">true</longPathAware>", "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""})
        EXPECT_NE(manifest.find(part), std::string::npos) << part;
    for (const std::string family : {VS_TOOLS_DIR, VS_TOOLS_DIR "/x64"})
        for (const char* program : {"VSengine.exe", "VSP.exe", "VSE.exe", "VSS.exe", "VSD.exe"})
            EXPECT_EQ(ManifestOf(family + "/" + program), manifest) << family << "/" << program;

    const std::string player = Path("player.exe"), icon = Path("pick.ico");
    test::WritePlayerProjector(player, VS_TEST_PLAYER);
    test::WriteBytes(icon, test::IcoFile({test::DibIcon(32, 32, 4, test::StandardPalette16(),
                                                        [](int x, int) { return static_cast<std::uint32_t>(x % 16); })}));
    const std::string setup = Path("Setup.exe");
    const test::CliResult built =
        test::RunCli({"build", "--projector", player, "--icon", icon, "--version", "2.3.4.5", "-o", setup});
    ASSERT_EQ(built.exitCode, 0) << built.err;
    EXPECT_EQ(ManifestOf(setup), manifest);
    for (const std::string& file : {engine, setup}) {
        TExeImage image(file);
        auto slot = FindFirstIconImage(image.ResourceTree());
        ASSERT_TRUE(slot) << file;
        EXPECT_EQ(slot->size, 2216u) << file;
        auto info = ReadIconImageInfo(image.FileBytes().subspan(slot->offset, slot->size));
        ASSERT_TRUE(info) << file;
        EXPECT_EQ(info->width, 32);
        EXPECT_EQ(info->height, 32);
        EXPECT_EQ(info->bitCount, 8);
    }
}

}  // namespace
}  // namespace vs
