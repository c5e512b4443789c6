#pragma once
// The HTTP requests that the variable service accepts, parsed from the bytes
// received so far. Bounded: a head of at most 8 KiB, a body of at most 1 MiB.
#include <optional>
#include <string>
#include <string_view>

namespace vs::engine {

inline constexpr std::size_t kMaxRequestHead = 8 * 1024;
inline constexpr std::size_t kMaxRequestBody = 1024 * 1024;

struct HttpRequest {
    std::string method;  // "GET" or "POST"
    std::string path;    // the target before '?', still URL-encoded
    std::string query;   // after '?', may be empty
    std::string body;
    std::string host;    // the Host header, or the authority of an absolute target; empty without either
};

struct HttpParse {
    enum class State { Incomplete, Complete, Error } state = State::Incomplete;
    int status = 0;          // with Error: the HTTP status to answer (400, 405, 413, 414, 431, 501, 505)
    std::size_t length = 0;  // with Complete: the bytes the request took
    HttpRequest request;
};

// Parses one request from the start of `data`. Incomplete until the head and
// the whole body (Content-Length) have arrived.
HttpParse ParseHttpRequest(std::string_view data);

}  // namespace vs::engine
