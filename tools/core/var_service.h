#pragma once
// The variable service: HTTP on 127.0.0.1 only. "save/NAME" keeps the
// variables that the movie sends (a POST body, or the query of a GET);
// "load/NAME" answers with them URL-encoded (an empty body while nothing is
// kept). Connections are served one at a time, each bounded in size and time.
#include <atomic>
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

class VarServer {
public:
    explicit VarServer(VariableStore& store, std::uint16_t port = kVarServicePort);
    ~VarServer();
    VarServer(const VarServer&) = delete;
    VarServer& operator=(const VarServer&) = delete;

    // Binds 127.0.0.1:port and listens; fails with EServiceError.
    void Listen();
    std::uint16_t port() const { return port_; }
    // Serves until `stop` is set (checked at least every 200 ms).
    void Run(const std::atomic<bool>& stop);

private:
    void serve(std::intptr_t connection);

    VariableStore& store_;
    std::uint16_t port_;
    std::intptr_t listener_ = -1;
};

}  // namespace vs::engine
