#pragma once
// The variable service: HTTP on 127.0.0.1 only. "save/NAME" keeps the
// variables that the movie sends (a POST body, or the query of a GET);
// "load/NAME" answers with them URL-encoded (an empty body while nothing is
// kept). Connections are served side by side, each bounded in size and time.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>
#include <cstdint>
#include <string>

#include "http_request.h"
#include "var_store.h"

namespace vs::engine {

inline constexpr std::uint16_t kVarServicePort = 5905;

struct HttpResponse {
    int status = 200;
    std::string body;
};

// What the service answers to one request.
HttpResponse HandleVarRequest(const HttpRequest& request, VariableStore& store);

// Whether a Host header names the service itself: 127.0.0.1 or localhost
// with the service's port. A page that a browser loads from a name of its
// own which now points at 127.0.0.1 (DNS rebinding) sends that name.
bool IsServiceHost(std::string_view host, std::uint16_t port);

// The bytes of a response, "Connection: close".
std::string FormatResponse(const HttpResponse& response);

class EServiceError : public VsError { public: using VsError::VsError; };

// How long a connection may stay silent, how long it may take in all, and
// how many served connections may be open at once.
inline constexpr auto kIdleTime = std::chrono::seconds(2);
inline constexpr auto kConnectionTime = std::chrono::seconds(5);
inline constexpr std::size_t kMaxConnections = 32;
// Connections waiting to be traced, and refused ones still taking their
// answer; neither kind holds a slot of the served ones.
inline constexpr std::size_t kMaxTracing = 64;
inline constexpr std::size_t kMaxRefused = 64;
inline constexpr auto kRefusedTime = std::chrono::seconds(1);

class VarServer {
public:
    // Whose connections are: for each client port on 127.0.0.1 the store of
    // the projector that holds that connection, or nullptr when it belongs to
    // nobody the service serves (it is refused with 403 at once). Runs on a
    // thread of its own, with every port accepted since its last call, so
    // that one look at the system's tables serves a whole batch and the
    // serving thread never waits for it.
    using Tracer = std::function<std::vector<std::shared_ptr<VariableStore>>(const std::vector<std::uint16_t>& clientPorts)>;

    // One store for every connection.
    explicit VarServer(VariableStore& store, std::uint16_t port = kVarServicePort);
    explicit VarServer(Tracer tracer, std::uint16_t port = kVarServicePort);
    ~VarServer();
    VarServer(const VarServer&) = delete;
    VarServer& operator=(const VarServer&) = delete;

    // Binds 127.0.0.1:port and listens; fails with EServiceError.
    void Listen();
    std::uint16_t port() const { return port_; }
    // Serves until `stop` is set (checked at least every 100 ms).
    void Run(const std::atomic<bool>& stop);

private:
    enum class Stage { Tracing, Serving, Refused };
    struct Connection {
        std::intptr_t socket = -1;
        std::uint64_t id = 0;  // socket numbers are reused; a verdict names its connection by this
        std::uint16_t clientPort = 0;
        Stage stage = Stage::Tracing;
        std::shared_ptr<VariableStore> store;
        std::string data;   // the request so far
        std::string reply;  // the answer, once the request is complete
        std::size_t sent = 0;
        std::chrono::steady_clock::time_point lastActivity, deadline;
        bool done = false;
    };
    struct Verdict {
        std::uint64_t id;
        std::shared_ptr<VariableStore> store;
    };
    static void setNonBlocking(std::intptr_t socket);
    std::size_t count(Stage stage) const;
    bool accept(std::chrono::steady_clock::time_point now);
    void takeVerdicts(std::chrono::steady_clock::time_point now);
    void refuse(Connection& c, std::chrono::steady_clock::time_point now);
    void drain(Connection& c);
    void receive(Connection& c, std::chrono::steady_clock::time_point now);
    void answer(Connection& c, const HttpResponse& response);
    void transmit(Connection& c);
    void traceLoop(const std::atomic<bool>& stop);

    Tracer tracer_;
    std::uint16_t port_;
    std::intptr_t listener_ = -1;
    std::vector<Connection> connections_;
    // Between the serving thread and the tracing one.
    std::mutex traceMutex_;
    std::condition_variable traceWake_;
    std::uint64_t nextId_ = 0;
    std::vector<std::pair<std::uint64_t, std::uint16_t>> toTrace_;
    std::vector<Verdict> verdicts_;
};

}  // namespace vs::engine
