// The variable service: request parsing, names, the store, and the server on
// a loopback port of its own.
#include <gtest/gtest.h>

#include <cerrno>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <mutex>
#include <set>
#include <thread>

#include "core/url_form.h"
#include "core/var_service.h"
#include "platform/stream.h"
#include "support/temp_dir.h"

namespace vs::engine {
namespace {

TEST(HttpRequestParse, CompleteIncompleteAndRefused) {
    auto p = ParseHttpRequest("POST /save/a.txt?x=1 HTTP/1.1\r\nHost: h\r\ncontent-length: 3\r\n\r\nb=2tail");
    ASSERT_EQ(p.state, HttpParse::State::Complete);
    EXPECT_EQ(p.request.method, "POST");
    EXPECT_EQ(p.request.path, "/save/a.txt");
    EXPECT_EQ(p.request.query, "x=1");
    EXPECT_EQ(p.request.body, "b=2");
    EXPECT_EQ(p.length, std::string_view("POST /save/a.txt?x=1 HTTP/1.1\r\nHost: h\r\ncontent-length: 3\r\n\r\n").size() + 3);
    EXPECT_EQ(p.request.host, "h");
    EXPECT_EQ(ParseHttpRequest("GET http://127.0.0.1:5905/load/s HTTP/1.0\n\n").request.path, "/load/s");
    // An absolute target's authority is the host, whatever the header says.
    EXPECT_EQ(ParseHttpRequest("GET http://127.0.0.1:5905/load/s HTTP/1.0\nHost: evil:5905\n\n").request.host,
              "127.0.0.1:5905");
    EXPECT_EQ(ParseHttpRequest("GET /load/s HTTP/1.0\r\n\r\n").request.host, "");
    EXPECT_EQ(ParseHttpRequest("GET /load/s HTTP/1.0\r\n").state, HttpParse::State::Incomplete);
    EXPECT_EQ(ParseHttpRequest("POST /save/s HTTP/1.0\r\nContent-Length: 5\r\n\r\nab").state, HttpParse::State::Incomplete);
    const std::pair<std::string, int> refused[] = {
        {"G\x01T / HTTP/1.0", 400},
        {"GET /x HTTP/1.0 extra\r\n\r\n", 400},
        {"GET x HTTP/1.0\r\n\r\n", 400},
        {"GET /x HTTP/2.0\r\n\r\n", 505},
        {"PUT /x HTTP/1.0\r\n\r\n", 405},
        {"POST /x HTTP/1.0\r\nContent-Length: 1048577\r\n\r\n", 413},
        {"POST /x HTTP/1.0\r\nContent-Length: 1x\r\n\r\n", 400},
        {"POST /x HTTP/1.0\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n", 400},
        {"POST /x HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n", 501},
        {"GET /x HTTP/1.0\r\nno colon\r\n\r\n", 400},
        {"GET /x HTTP/1.0\r\nHost: 127.0.0.1:5905\r\nhost: evil:5905\r\n\r\n", 400},
        {"GET /" + std::string(3000, 'a') + " HTTP/1.0\r\n\r\n", 414},
        {"GET /x HTTP/1.0\r\nA: " + std::string(9000, 'a'), 431},
    };
    for (const auto& [text, status] : refused) {
        auto r = ParseHttpRequest(text);
        EXPECT_EQ(r.state, HttpParse::State::Error) << text.substr(0, 40);
        EXPECT_EQ(r.status, status) << text.substr(0, 40);
    }
}

TEST(UrlForm, DecodesAndEncodesCanonically) {
    EXPECT_EQ(PercentDecode("a%20b+c", true), "a b c");
    EXPECT_EQ(PercentDecode("a+b", false), "a+b");
    EXPECT_FALSE(PercentDecode("%2", true));
    EXPECT_FALSE(PercentDecode("%g0", true));
    auto vars = ParseForm("b=2&&a=x+y%26z&flag");
    ASSERT_TRUE(vars);
    EXPECT_EQ(EncodeForm(*vars), "b=2&a=x%20y%26z&flag=");
}

TEST(StoreName, RefusesEveryPathLikeName) {
    for (const char* ok : {"scores.txt", "My Game (1).sav", "a-b_c.d", "x"}) EXPECT_TRUE(IsStoreName(ok)) << ok;
    for (const char* bad : {"", ".", "..", "a..b", "../x", "a/b", "a\\b", "C:x", "CON", "con.txt", "Lpt1", "nul.",
                            "trail.", " lead", "a\tb", "caf\xC3\xA9", "a%2fb", "a?b", "a*b", "a<b"})
        EXPECT_FALSE(IsStoreName(bad)) << bad;
    EXPECT_TRUE(IsStoreName(std::string(64, 'n')));
    EXPECT_FALSE(IsStoreName(std::string(65, 'n')));
}

TEST(ServiceHost, OnlyTheLoopbackNamesWithThePort) {
    for (const char* ok : {"127.0.0.1:5905", "localhost:5905", "LocalHost:5905"})
        EXPECT_TRUE(IsServiceHost(ok, 5905)) << ok;
    for (const char* bad : {"", "127.0.0.1", "localhost", "127.0.0.1:80", "127.0.0.1:59050", "evil.example:5905",
                            "127.0.0.1.evil.example:5905", "x127.0.0.1:5905", "[::1]:5905", "127.0.0.2:5905",
                            "127.0.0.1:5905:5905", ":5905"})
        EXPECT_FALSE(IsServiceHost(bad, 5905)) << bad;
    EXPECT_TRUE(IsServiceHost("127.0.0.1:40123", 40123));
}

class VarService : public test::TempDirTest {};

TEST_F(VarService, SavesLoadsAndRefusesBadNames) {
    VariableStore store(dir_.string());
    auto ask = [&](std::string method, std::string path, std::string query = {}, std::string body = {}) {
        return HandleVarRequest({std::move(method), std::move(path), std::move(query), std::move(body), {}}, store);
    };
    EXPECT_EQ(ask("GET", "/load/s.txt").status, 200);
    EXPECT_EQ(ask("GET", "/load/s.txt").body, "");
    EXPECT_EQ(ask("POST", "/save/s.txt", "", "b=two+words&a=1").status, 200);
    EXPECT_EQ(ask("GET", "/load/s.txt").body, "b=two%20words&a=1");
    EXPECT_EQ(ReadWholeFile(Path("s.txt.vsv")), std::vector<std::uint8_t>({'b', '=', 't', 'w', 'o', '%', '2', '0', 'w',
                                                                           'o', 'r', 'd', 's', '&', 'a', '=', '1'}));
    EXPECT_EQ(ask("GET", "/save/q", "n=%41").status, 200);
    EXPECT_EQ(ask("GET", "/load/q").body, "n=A");
    EXPECT_EQ(ask("GET", "/save/q", "n=%4").status, 400);
    EXPECT_EQ(ask("GET", "/other/q").status, 404);
    for (const char* bad : {"/load/..%2f..%2fetc%2fpasswd", "/save/%2e%2e", "/load/a%5cb", "/load/C%3a", "/load/CON"})
        EXPECT_EQ(ask("GET", bad, "a=1").status, 403) << bad;
    EXPECT_EQ(FormatResponse({200, "a=1"}),
              "HTTP/1.0 200 OK\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: 3\r\n"
              "Cache-Control: no-store\r\nConnection: close\r\n\r\na=1");
}

#ifdef _WIN32
using ClientSocket = SOCKET;
constexpr int kSendFlags = 0;
constexpr int kShutWrite = SD_SEND;
void CloseSocket(ClientSocket s) { ::closesocket(s); }
#else
using ClientSocket = int;
constexpr int kSendFlags = MSG_NOSIGNAL;
constexpr int kShutWrite = SHUT_WR;
void CloseSocket(ClientSocket s) { ::close(s); }
#endif

// The real server on a free port, with malformed requests from a client.
TEST_F(VarService, ServerSurvivesMalformedRequestsOnLoopbackOnly) {
    VariableStore store(dir_.string());
    VarServer server(store, 0);
    server.Listen();
    std::atomic<bool> stop{false};
    std::thread t([&] { server.Run(stop); });
    auto exchange = [&](const std::string& req, const char* address = "127.0.0.1") {
        ClientSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(server.port());
        ::inet_pton(AF_INET, address, &a.sin_addr);
        std::string reply;
        if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            ::send(s, req.data(), static_cast<int>(req.size()), kSendFlags);
            ::shutdown(s, kShutWrite);
            char buf[1024];
            for (int n; (n = static_cast<int>(::recv(s, buf, sizeof buf, 0))) > 0;)
                reply.append(buf, static_cast<std::size_t>(n));
        }
        CloseSocket(s);
        return reply;
    };
    EXPECT_EQ(exchange("GET /load/x HTTP/1.0\r\n\r\n", "127.0.0.2"), "");
    std::srand(7);
    for (int i = 0; i < 1000; ++i) {
        std::string req(static_cast<std::size_t>(std::rand() % 200), '\0');
        for (char& c : req) c = static_cast<char>(std::rand());
        if (i % 2) req = "GET /save/..%2f" + req + " HTTP/1.0\r\n\r\n";
        std::string reply = exchange(req + "\r\n\r\n");
        EXPECT_TRUE(reply.empty() || reply.starts_with("HTTP/1.0 4")) << i << ": " << reply.substr(0, 30);
    }
    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n";
    EXPECT_NE(exchange("GET /save/ok?v=1 HTTP/1.0\r\n" + host + "\r\n").find("200 OK"), std::string::npos);
    // A page of another site that points its name at 127.0.0.1 sends that name.
    EXPECT_NE(exchange("GET /save/rebound?v=1 HTTP/1.1\r\nHost: evil.example:" + std::to_string(server.port()) + "\r\n\r\n")
                  .find("403 Forbidden"),
              std::string::npos);
    EXPECT_NE(exchange("GET /save/nohost?v=1 HTTP/1.0\r\n\r\n").find("403 Forbidden"), std::string::npos);
    stop = true;
    t.join();
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) files.push_back(e.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"ok.vsv"});
}

#ifndef _WIN32  // the Windows service meets silent clients in the engine's test under wine
// Silent clients hold up nobody: a request is answered while they are still
// connected, and past the bound the quietest are closed to make room.
TEST_F(VarService, SilentConnectionsHoldUpNobody) {
    VariableStore store(dir_.string());
    VarServer server(store, 0);
    server.Listen();
    std::atomic<bool> stop{false};
    std::thread t([&] { server.Run(stop); });
    auto connect = [&] {
        int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(server.port());
        ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        EXPECT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        return s;
    };
    // Still open from the server's side: nothing to read, and no end.
    auto open = [](int s) {
        char c;
        return ::recv(s, &c, 1, MSG_DONTWAIT) < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    };
    std::vector<int> silent;
    for (int i = 0; i < 4; ++i) silent.push_back(connect());
    ::send(silent[0], "GET /lo", 7, MSG_NOSIGNAL);  // half a request
    int asking = connect();
    const std::string host = "Host: localhost:" + std::to_string(server.port()) + "\r\n\r\n";
    const std::string req = "GET /save/x?v=1 HTTP/1.0\r\n" + host;
    ::send(asking, req.data(), req.size(), MSG_NOSIGNAL);
    std::string reply;
    char buf[512];
    for (ssize_t n; (n = ::recv(asking, buf, sizeof buf, 0)) > 0;) reply.append(buf, static_cast<std::size_t>(n));
    ::close(asking);
    EXPECT_TRUE(reply.starts_with("HTTP/1.0 200 OK")) << reply;
    for (int s : silent) EXPECT_TRUE(open(s)) << "answered only after the silent ones were dropped";

    for (std::size_t i = 0; i < kMaxConnections + 4; ++i) silent.push_back(connect());
    asking = connect();
    const std::string load = "GET /load/x HTTP/1.0\r\n" + host;
    ::send(asking, load.data(), load.size(), MSG_NOSIGNAL);
    reply.clear();
    for (ssize_t n; (n = ::recv(asking, buf, sizeof buf, 0)) > 0;) reply.append(buf, static_cast<std::size_t>(n));
    ::close(asking);
    EXPECT_TRUE(reply.ends_with("\r\n\r\nv=1")) << reply;
    std::size_t stillOpen = 0;
    for (int s : silent) stillOpen += open(s);
    EXPECT_LT(stillOpen, kMaxConnections);
    EXPECT_FALSE(open(silent[0])) << "the quietest made room";
    for (int s : silent) ::close(s);
    stop = true;
    t.join();
}

// Connections of nobody the service serves are answered 403 at once and hold
// no slot: forty foreign clients that trickle their requests byte by byte
// stay refused, a projector's own client is served meanwhile, and a whole
// foreign request stores nothing.
TEST_F(VarService, ForeignConnectionsAreRefusedAtOnceAndTakeNoSlot) {
    auto store = std::make_shared<VariableStore>(dir_.string());
    std::mutex mutex;
    std::set<std::uint16_t> own;
    VarServer server(
        [&](const std::vector<std::uint16_t>& ports) {
            std::lock_guard<std::mutex> lock(mutex);
            std::vector<std::shared_ptr<VariableStore>> stores;
            for (std::uint16_t p : ports) stores.push_back(own.contains(p) ? store : nullptr);
            return stores;
        },
        0);
    server.Listen();
    std::atomic<bool> stop{false};
    std::thread t([&] { server.Run(stop); });
    // The client's port is known before it connects, so that the tracer can tell.
    auto connect = [&](bool mine) {
        int s = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval tv{10, 0};
        ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        ::inet_pton(AF_INET, "127.0.0.1", &a.sin_addr);
        socklen_t len = sizeof a;
        EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        if (mine) {
            std::lock_guard<std::mutex> lock(mutex);
            own.insert(ntohs(a.sin_port));
        }
        a.sin_port = htons(server.port());
        EXPECT_EQ(::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        return s;
    };
    auto reply = [](int s) {
        std::string all;
        char buf[512];
        for (ssize_t n; (n = ::recv(s, buf, sizeof buf, 0)) > 0;) all.append(buf, static_cast<std::size_t>(n));
        return all;
    };
    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n\r\n";

    std::vector<int> foreign;
    for (int i = 0; i < 40; ++i) foreign.push_back(connect(false));
    for (char c : std::string("GET /save/x?v=9"))
        for (int s : foreign) ::send(s, &c, 1, MSG_NOSIGNAL);
    const int mine = connect(true);
    const std::string save = "GET /save/x?v=1 HTTP/1.0\r\n" + host;
    ::send(mine, save.data(), save.size(), MSG_NOSIGNAL);
    EXPECT_TRUE(reply(mine).starts_with("HTTP/1.0 200 OK"));
    ::close(mine);
    for (int s : foreign) {
        EXPECT_TRUE(reply(s).starts_with("HTTP/1.0 403 Forbidden"));
        ::close(s);
    }
    const int other = connect(false);
    const std::string overwrite = "GET /save/x?v=2 HTTP/1.0\r\n" + host;
    ::send(other, overwrite.data(), overwrite.size(), MSG_NOSIGNAL);
    EXPECT_TRUE(reply(other).starts_with("HTTP/1.0 403 Forbidden"));
    ::close(other);
    stop = true;
    t.join();
    EXPECT_EQ(store->Load("x"), "v=1");
}
#endif

}  // namespace
}  // namespace vs::engine
