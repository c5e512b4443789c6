#include "var_service.h"

#include <chrono>

#include "url_form.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketHandle = SOCKET;
#define VS_CLOSE_SOCKET closesocket
#define VS_SEND_FLAGS 0
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketHandle = int;
#define VS_CLOSE_SOCKET ::close
#define VS_SEND_FLAGS MSG_NOSIGNAL
#endif

namespace vs::engine {

namespace {

const char* reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 413: return "Payload Too Large";
        case 414: return "URI Too Long";
        case 431: return "Request Header Fields Too Large";
        case 501: return "Not Implemented";
        case 505: return "HTTP Version Not Supported";
        default: return "Internal Server Error";
    }
}

constexpr auto kConnectionTime = std::chrono::seconds(5);

}  // namespace

HttpResponse HandleVarRequest(const HttpRequest& request, VariableStore& store) {
    const std::string& path = request.path;
    const bool save = path.starts_with("/save/"), load = path.starts_with("/load/");
    if (!save && !load) return {404, {}};
    auto name = PercentDecode(std::string_view(path).substr(6), false);
    if (!name || !IsStoreName(*name)) return {403, {}};
    try {
        if (load) return {200, store.Load(*name)};
        const std::string& sent = request.method == "POST" && !request.body.empty() ? request.body : request.query;
        auto vars = ParseForm(sent);
        if (!vars) return {400, {}};
        store.Save(*name, EncodeForm(*vars));
        return {200, {}};
    } catch (const EStoreError&) {
        return {500, {}};
    }
}

std::string FormatResponse(const HttpResponse& r) {
    std::string out = "HTTP/1.0 " + std::to_string(r.status) + " " + reason(r.status) + "\r\n";
    out += "Content-Type: application/x-www-form-urlencoded\r\n";
    out += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
    out += "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
    return out + r.body;
}

VarServer::VarServer(VariableStore& store, std::uint16_t port) : store_(store), port_(port) {
#ifdef _WIN32
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) throw EServiceError("The variable service cannot use the network");
#endif
}

VarServer::~VarServer() {
    if (listener_ != -1) VS_CLOSE_SOCKET(static_cast<SocketHandle>(listener_));
#ifdef _WIN32
    WSACleanup();
#endif
}

void VarServer::Listen() {
    SocketHandle s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
#ifdef _WIN32
    if (s == INVALID_SOCKET) throw EServiceError("The variable service cannot open a socket");
    // Nobody else may bind the same port while we hold it.
    BOOL exclusive = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
#else
    if (s < 0) throw EServiceError("The variable service cannot open a socket");
    int reuse = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
#endif
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port_);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // 127.0.0.1 and nothing else
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 8) != 0) {
        VS_CLOSE_SOCKET(s);
        throw EServiceError("The variable service cannot listen on 127.0.0.1:" + std::to_string(port_));
    }
    if (port_ == 0) {
        socklen_t len = sizeof addr;
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    listener_ = static_cast<std::intptr_t>(s);
}

void VarServer::Run(const std::atomic<bool>& stop) {
    auto listener = static_cast<SocketHandle>(listener_);
    while (!stop.load()) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener, &ready);
        timeval wait{0, 200 * 1000};
        if (::select(static_cast<int>(listener + 1), &ready, nullptr, nullptr, &wait) <= 0) continue;
        SocketHandle c = ::accept(listener, nullptr, nullptr);
#ifdef _WIN32
        if (c == INVALID_SOCKET) continue;
#else
        if (c < 0) continue;
#endif
        serve(static_cast<std::intptr_t>(c));
        VS_CLOSE_SOCKET(c);
    }
}

void VarServer::serve(std::intptr_t connection) {
    auto c = static_cast<SocketHandle>(connection);
    const auto deadline = std::chrono::steady_clock::now() + kConnectionTime;
    std::string data;
    HttpParse parsed;
    char buf[4096];
    while (true) {
        parsed = ParseHttpRequest(data);
        if (parsed.state != HttpParse::State::Incomplete) break;
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            parsed.state = HttpParse::State::Error;
            parsed.status = 408;
            break;
        }
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(c, &ready);
        timeval wait{static_cast<long>(left.count() / 1000000), static_cast<long>(left.count() % 1000000)};
        if (::select(static_cast<int>(c + 1), &ready, nullptr, nullptr, &wait) <= 0) continue;
        auto n = ::recv(c, buf, sizeof buf, 0);
        if (n <= 0) return;  // the client went away
        data.append(buf, static_cast<std::size_t>(n));
    }
    HttpResponse response = parsed.state == HttpParse::State::Complete ? HandleVarRequest(parsed.request, store_)
                                                                      : HttpResponse{parsed.status, {}};
    const std::string out = FormatResponse(response);
    std::size_t sent = 0;
    while (sent < out.size()) {
        auto n = ::send(c, out.data() + sent, static_cast<int>(out.size() - sent), VS_SEND_FLAGS);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace vs::engine
