// Served, refused and the listener share one select(); Windows' default set
// of 64 sockets would be too small for them.
#ifdef _WIN32
#define FD_SETSIZE 256
#endif
#include "var_service.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/ascii.h"
#include "url_form.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketHandle = SOCKET;
#define VS_CLOSE_SOCKET closesocket
#define VS_SEND_FLAGS 0
#define VS_SHUT_SEND SD_SEND
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
#define VS_SHUT_SEND SHUT_WR
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

bool IsServiceHost(std::string_view host, std::uint16_t port) {
    const std::size_t colon = host.rfind(':');
    if (colon == std::string_view::npos || host.substr(colon + 1) != std::to_string(port)) return false;
    const std::string_view name = host.substr(0, colon);
    return name == "127.0.0.1" || SameText(name, "localhost");
}

std::string FormatResponse(const HttpResponse& r) {
    std::string out = "HTTP/1.0 " + std::to_string(r.status) + " " + reason(r.status) + "\r\n";
    out += "Content-Type: application/x-www-form-urlencoded\r\n";
    out += "Content-Length: " + std::to_string(r.body.size()) + "\r\n";
    out += "Cache-Control: no-store\r\nConnection: close\r\n\r\n";
    return out + r.body;
}

VarServer::VarServer(VariableStore& store, std::uint16_t port)
    : VarServer(
          [&store](const std::vector<std::uint16_t>& ports) {
              return std::vector<std::shared_ptr<VariableStore>>(
                  ports.size(), std::shared_ptr<VariableStore>(&store, [](VariableStore*) {}));
          },
          port) {}

VarServer::VarServer(Tracer tracer, std::uint16_t port) : tracer_(std::move(tracer)), port_(port) {
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
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, SOMAXCONN) != 0) {
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

std::size_t VarServer::count(Stage stage) const {
    return static_cast<std::size_t>(
        std::count_if(connections_.begin(), connections_.end(), [stage](const Connection& c) { return c.stage == stage && !c.done; }));
}

// One thread serves every connection side by side: each reads its request
// and writes its answer whenever its socket is ready, so a slow or silent
// client holds up nobody. A connection is first traced to its owner on the
// tracing thread, untouched meanwhile; one that belongs to nobody served is
// answered 403 at once and never reaches a slot. A served connection that
// sends nothing for kIdleTime, or is not done within kConnectionTime, is
// closed; when kMaxConnections are served, the one that has been quiet
// longest makes room for a new one.
void VarServer::Run(const std::atomic<bool>& stop) {
    std::thread tracing([this, &stop] { traceLoop(stop); });
    auto listener = static_cast<SocketHandle>(listener_);
    while (!stop.load()) {
        fd_set readable, writable;
        FD_ZERO(&readable);
        FD_ZERO(&writable);
        // While the tracer is behind, newcomers wait in the listener's queue.
        const bool awaiting = count(Stage::Tracing) > 0;
        if (count(Stage::Tracing) < kMaxTracing) FD_SET(listener, &readable);
        SocketHandle highest = listener;
        for (const Connection& c : connections_) {
            if (c.stage == Stage::Tracing) continue;
            auto s = static_cast<SocketHandle>(c.socket);
            if (c.stage == Stage::Refused) {
                FD_SET(s, &readable);
                if (c.sent < c.reply.size()) FD_SET(s, &writable);
            } else {
                FD_SET(s, c.reply.empty() ? &readable : &writable);
            }
            highest = std::max(highest, s);
        }
        // A verdict comes from the other thread: look again soon.
        timeval wait{0, awaiting ? 5 * 1000 : 100 * 1000};
        int ready = ::select(static_cast<int>(highest + 1), &readable, &writable, nullptr, &wait);
        const auto now = std::chrono::steady_clock::now();
        if (ready > 0) {
            for (Connection& c : connections_) {
                if (c.stage == Stage::Tracing) continue;
                auto s = static_cast<SocketHandle>(c.socket);
                if (c.stage == Stage::Refused) {
                    if (FD_ISSET(s, &writable)) transmit(c);
                    if (FD_ISSET(s, &readable)) drain(c);
                } else if (FD_ISSET(s, &readable)) {
                    receive(c, now);
                } else if (FD_ISSET(s, &writable)) {
                    transmit(c);
                }
            }
            // Everyone waiting is taken at once, so that a burst of clients
            // never overflows the listener's queue.
            if (FD_ISSET(listener, &readable))
                while (count(Stage::Tracing) < kMaxTracing && accept(now)) {
                }
        }
        takeVerdicts(now);
        for (Connection& c : connections_) {
            if (c.done) continue;
            if (c.stage != Stage::Serving) {
                if (now >= c.deadline) c.done = true;
            } else if (now >= c.deadline || (c.reply.empty() && now - c.lastActivity >= kIdleTime)) {
                if (c.reply.empty() && !c.data.empty()) answer(c, {408, {}});
                else c.done = true;
            }
        }
        std::erase_if(connections_, [](const Connection& c) {
            if (c.done) VS_CLOSE_SOCKET(static_cast<SocketHandle>(c.socket));
            return c.done;
        });
    }
    {
        std::lock_guard<std::mutex> lock(traceMutex_);
        toTrace_.clear();
    }
    traceWake_.notify_all();
    tracing.join();
}

void VarServer::traceLoop(const std::atomic<bool>& stop) {
    while (true) {
        std::vector<std::pair<std::uint64_t, std::uint16_t>> batch;
        {
            std::unique_lock<std::mutex> lock(traceMutex_);
            traceWake_.wait_for(lock, std::chrono::milliseconds(100), [&] { return !toTrace_.empty() || stop.load(); });
            if (stop.load()) return;
            batch.swap(toTrace_);
        }
        if (batch.empty()) continue;
        std::vector<std::uint16_t> ports;
        for (const auto& [id, port] : batch) ports.push_back(port);
        std::vector<std::shared_ptr<VariableStore>> stores;
        try {
            stores = tracer_(ports);
        } catch (const std::exception&) {
            stores.clear();  // nobody traced: every one of them is refused
        }
        stores.resize(batch.size());
        std::lock_guard<std::mutex> lock(traceMutex_);
        for (std::size_t i = 0; i < batch.size(); ++i) verdicts_.push_back({batch[i].first, std::move(stores[i])});
    }
}

bool VarServer::accept(std::chrono::steady_clock::time_point now) {
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    SocketHandle c = ::accept(static_cast<SocketHandle>(listener_), reinterpret_cast<sockaddr*>(&peer), &len);
#ifdef _WIN32
    if (c == INVALID_SOCKET) return false;
#else
    if (c < 0) return false;
    if (c >= FD_SETSIZE) {
        ::close(c);
        return true;
    }
#endif
    setNonBlocking(static_cast<std::intptr_t>(c));
    Connection conn;
    conn.socket = static_cast<std::intptr_t>(c);
    conn.id = ++nextId_;
    conn.clientPort = ntohs(peer.sin_port);
    conn.lastActivity = now;
    conn.deadline = now + kConnectionTime;
    // Whose the connection is, asked while the client still holds it.
    {
        std::lock_guard<std::mutex> lock(traceMutex_);
        toTrace_.emplace_back(conn.id, conn.clientPort);
    }
    traceWake_.notify_one();
    connections_.push_back(std::move(conn));
    return true;
}

void VarServer::takeVerdicts(std::chrono::steady_clock::time_point now) {
    std::vector<Verdict> verdicts;
    {
        std::lock_guard<std::mutex> lock(traceMutex_);
        verdicts.swap(verdicts_);
    }
    for (Verdict& v : verdicts) {
        auto it = std::find_if(connections_.begin(), connections_.end(), [&](const Connection& c) {
            return c.id == v.id && c.stage == Stage::Tracing && !c.done;
        });
        if (it == connections_.end()) continue;  // timed out meanwhile
        if (!v.store) {
            refuse(*it, now);
            continue;
        }
        if (count(Stage::Serving) >= kMaxConnections) {
            Connection* quietest = nullptr;
            for (Connection& c : connections_)
                if (c.stage == Stage::Serving && !c.done && (!quietest || c.lastActivity < quietest->lastActivity))
                    quietest = &c;
            if (quietest) quietest->done = true;
        }
        it->stage = Stage::Serving;
        it->store = std::move(v.store);
        it->lastActivity = now;
    }
}

// A refused connection is answered without reading its request, and what it
// sends is read and dropped until it closes (closing a socket with unread
// bytes would reset the connection before the client reads the answer). It
// lives for kRefusedTime at most, and the oldest makes room for a newer one.
void VarServer::refuse(Connection& c, std::chrono::steady_clock::time_point now) {
    if (count(Stage::Refused) >= kMaxRefused) {
        Connection* oldest = nullptr;
        for (Connection& o : connections_)
            if (o.stage == Stage::Refused && !o.done && (!oldest || o.deadline < oldest->deadline)) oldest = &o;
        if (oldest) oldest->done = true;
    }
    c.stage = Stage::Refused;
    c.deadline = now + kRefusedTime;
    c.reply = FormatResponse({403, {}});
    c.sent = 0;
    transmit(c);
}

void VarServer::drain(Connection& c) {
    char buf[4096];
    auto n = ::recv(static_cast<SocketHandle>(c.socket), buf, sizeof buf, 0);
    if (n <= 0) c.done = true;
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
    if (!IsServiceHost(parsed.request.host, port_)) return answer(c, {403, {}});
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
    // A refused connection stays to read what its client still sends.
    if (c.stage == Stage::Refused) ::shutdown(static_cast<SocketHandle>(c.socket), VS_SHUT_SEND);
    else c.done = true;
}

}  // namespace vs::engine
