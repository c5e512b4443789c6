#pragma once
// The variable service: HTTP on 127.0.0.1 only. "save/NAME" keeps the
// variables that the movie sends (a POST body, or the query of a GET);
// "load/NAME" answers with them URL-encoded (an empty body while nothing is
// kept). Connections are served side by side, each bounded in size and time.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
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

// The bytes of a response, "Connection: close".
std::string FormatResponse(const HttpResponse& response);

class EServiceError : public VsError { public: using VsError::VsError; };

// How long a connection may stay silent, how long it may take in all, and
// how many may be open at once.
inline constexpr auto kIdleTime = std::chrono::seconds(2);
inline constexpr auto kConnectionTime = std::chrono::seconds(5);
inline constexpr std::size_t kMaxConnections = 32;

class VarServer {
public:
    // The store for a connection from the client's port on 127.0.0.1, or
    // nullptr when the connection belongs to nobody the service serves (it
    // is answered 503).
    using StoreFor = std::function<std::shared_ptr<VariableStore>(std::uint16_t clientPort)>;

    // One store for every connection.
    explicit VarServer(VariableStore& store, std::uint16_t port = kVarServicePort);
    explicit VarServer(StoreFor storeFor, std::uint16_t port = kVarServicePort);
    ~VarServer();
    VarServer(const VarServer&) = delete;
    VarServer& operator=(const VarServer&) = delete;

    // Binds 127.0.0.1:port and listens; fails with EServiceError.
    void Listen();
    std::uint16_t port() const { return port_; }
    // Serves until `stop` is set (checked at least every 100 ms).
    void Run(const std::atomic<bool>& stop);

private:
    struct Connection {
        std::intptr_t socket = -1;
        std::shared_ptr<VariableStore> store;
        std::string data;   // the request so far
        std::string reply;  // the answer, once the request is complete
        std::size_t sent = 0;
        std::chrono::steady_clock::time_point lastActivity, deadline;
        bool done = false;
    };
    static void setNonBlocking(std::intptr_t socket);
    void accept(std::chrono::steady_clock::time_point now);
    void receive(Connection& c, std::chrono::steady_clock::time_point now);
    void answer(Connection& c, const HttpResponse& response);
    void transmit(Connection& c);

    StoreFor storeFor_;
    std::uint16_t port_;
    std::intptr_t listener_ = -1;
    std::vector<Connection> connections_;
};

}  // namespace vs::engine
