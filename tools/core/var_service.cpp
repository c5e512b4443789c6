#include "var_service.h"

#include <algorithm>
#include <cerrno>
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
#include <fcntl.h>
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
        case 503: return "Service Unavailable";
        case 505: return "HTTP Version Not Supported";
        default: return "Internal Server Error";
    }
}


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

VarServer::VarServer(VariableStore& store, std::uint16_t port)
    : VarServer([&store](std::uint16_t) { return std::shared_ptr<VariableStore>(&store, [](VariableStore*) {}); }, port) {}

VarServer::VarServer(StoreFor storeFor, std::uint16_t port) : storeFor_(std::move(storeFor)), port_(port) {
#ifdef _WIN32
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) throw EServiceError("The variable service cannot use the network");
#endif
}

VarServer::~VarServer() {
    for (const Connection& c : connections_) VS_CLOSE_SOCKET(static_cast<SocketHandle>(c.socket));
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
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 16) != 0) {
        VS_CLOSE_SOCKET(s);
        throw EServiceError("The variable service cannot listen on 127.0.0.1:" + std::to_string(port_));
    }
    if (port_ == 0) {
        socklen_t len = sizeof addr;
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    setNonBlocking(static_cast<std::intptr_t>(s));
    listener_ = static_cast<std::intptr_t>(s);
}

void VarServer::setNonBlocking(std::intptr_t socket) {
#ifdef _WIN32
    u_long on = 1;
    ::ioctlsocket(static_cast<SocketHandle>(socket), FIONBIO, &on);
#else
    int flags = ::fcntl(static_cast<int>(socket), F_GETFL, 0);
    ::fcntl(static_cast<int>(socket), F_SETFL, flags | O_NONBLOCK);
#endif
}

// One thread serves every connection side by side: each reads its request
// and writes its answer whenever its socket is ready, so a slow or silent
// client holds up nobody. A connection that sends nothing for kIdleTime, or
// is not done within kConnectionTime, is closed; when kMaxConnections are
// open, the one that has been quiet longest makes room for a new one.
void VarServer::Run(const std::atomic<bool>& stop) {
    auto listener = static_cast<SocketHandle>(listener_);
    while (!stop.load()) {
        fd_set readable, writable;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        FD_SET(listener, &readable);
        SocketHandle highest = listener;
        for (const Connection& c : connections_) {
            auto s = static_cast<SocketHandle>(c.socket);
            FD_SET(s, c.reply.empty() ? &readable : &writable);
            highest = std::max(highest, s);
        }
        timeval wait{0, 100 * 1000};
        int ready = ::select(static_cast<int>(highest + 1), &readable, &writable, nullptr, &wait);
        const auto now = std::chrono::steady_clock::now();
        if (ready > 0) {
            for (Connection& c : connections_) {
                auto s = static_cast<SocketHandle>(c.socket);
                if (FD_ISSET(s, &readable)) receive(c, now);
                else if (FD_ISSET(s, &writable)) transmit(c);
            }
            if (FD_ISSET(listener, &readable)) accept(now);
        }
        for (Connection& c : connections_) {
            if (c.done) continue;
            if (now >= c.deadline || (c.reply.empty() && now - c.lastActivity >= kIdleTime)) {
                if (c.reply.empty() && !c.data.empty()) answer(c, {408, {}});
                else c.done = true;
            }
        }
        std::erase_if(connections_, [](const Connection& c) {
            if (c.done) VS_CLOSE_SOCKET(static_cast<SocketHandle>(c.socket));
            return c.done;
        });
    }
}

void VarServer::accept(std::chrono::steady_clock::time_point now) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    SocketHandle c = ::accept(static_cast<SocketHandle>(listener_), reinterpret_cast<sockaddr*>(&peer), &len);
#ifdef _WIN32
    if (c == INVALID_SOCKET) return;
#else
    if (c < 0) return;
    if (c >= FD_SETSIZE) {
        ::close(c);
        return;
    }
#endif
    if (connections_.size() >= kMaxConnections) {
        auto quietest = std::min_element(connections_.begin(), connections_.end(), [](const Connection& a, const Connection& b) {
            return a.lastActivity < b.lastActivity;
        });
        VS_CLOSE_SOCKET(static_cast<SocketHandle>(quietest->socket));
        connections_.erase(quietest);
    }
    setNonBlocking(static_cast<std::intptr_t>(c));
    Connection conn;
    conn.socket = static_cast<std::intptr_t>(c);
    conn.lastActivity = now;
    conn.deadline = now + kConnectionTime;
    // Whose the connection is, asked while the client still holds it.
    conn.store = storeFor_(ntohs(peer.sin_port));
    connections_.push_back(std::move(conn));
}

void VarServer::receive(Connection& c, std::chrono::steady_clock::time_point now) {
    char buf[4096];
    auto n = ::recv(static_cast<SocketHandle>(c.socket), buf, sizeof buf, 0);
    if (n <= 0) {
        // The client went away, or closed its side before a whole request.
        if (n == 0 && !c.data.empty()) answer(c, {400, {}});
        else c.done = true;
        return;
    }
    c.lastActivity = now;
    c.data.append(buf, static_cast<std::size_t>(n));
    HttpParse parsed = ParseHttpRequest(c.data);
    if (parsed.state == HttpParse::State::Incomplete) return;
    if (parsed.state != HttpParse::State::Complete) return answer(c, {parsed.status, {}});
    if (!c.store) return answer(c, {503, {}});
    answer(c, HandleVarRequest(parsed.request, *c.store));
}

void VarServer::answer(Connection& c, const HttpResponse& response) {
    c.reply = FormatResponse(response);
    c.sent = 0;
    c.data.clear();
    transmit(c);
}

void VarServer::transmit(Connection& c) {
    while (c.sent < c.reply.size()) {
        auto n = ::send(static_cast<SocketHandle>(c.socket), c.reply.data() + c.sent, static_cast<int>(c.reply.size() - c.sent),
                        VS_SEND_FLAGS);
        if (n <= 0) {
#ifdef _WIN32
            if (WSAGetLastError() == WSAEWOULDBLOCK) return;
#else
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
#endif
            c.done = true;
            return;
        }
        c.sent += static_cast<std::size_t>(n);
    }
    c.done = true;
}

}  // namespace vs::engine
