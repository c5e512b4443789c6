#include "http_request.h"

#include "platform/ascii.h"

namespace vs::engine {

namespace {

HttpParse fail(int status) {
    HttpParse p;
    p.state = HttpParse::State::Error;
    p.status = status;
    return p;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool isTokenChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

}  // namespace

HttpParse ParseHttpRequest(std::string_view data) {
    std::size_t headEnd = data.find("\r\n\r\n");
    std::size_t sepLen = 4;
    if (std::size_t lf = data.find("\n\n"); lf != std::string_view::npos && (headEnd == std::string_view::npos || lf < headEnd))
        headEnd = lf, sepLen = 2;
    if (headEnd == std::string_view::npos) {
        if (data.size() > kMaxRequestHead) return fail(431);
        // A request line that is already wrong need not wait for the rest.
        for (char c : data.substr(0, data.find(' ')))
            if (!isTokenChar(c)) return fail(400);
        return {};
    }
    if (headEnd > kMaxRequestHead) return fail(431);
    std::string_view head = data.substr(0, headEnd);

    auto nextLine = [&head]() {
        std::size_t nl = head.find('\n');
        std::string_view line = head.substr(0, nl);
        head = nl == std::string_view::npos ? std::string_view() : head.substr(nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    };

    std::string_view requestLine = nextLine();
    std::size_t sp1 = requestLine.find(' ');
    std::size_t sp2 = sp1 == std::string_view::npos ? sp1 : requestLine.find(' ', sp1 + 1);
    if (sp2 == std::string_view::npos || requestLine.find(' ', sp2 + 1) != std::string_view::npos) return fail(400);
    std::string_view method = requestLine.substr(0, sp1);
    std::string_view target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    std::string_view version = requestLine.substr(sp2 + 1);
    if (method.empty()) return fail(400);
    for (char c : method)
        if (!isTokenChar(c)) return fail(400);
    if (version != "HTTP/1.0" && version != "HTTP/1.1") return version.starts_with("HTTP/") ? fail(505) : fail(400);
    if (target.empty() || target.size() > 2048) return fail(target.empty() ? 400 : 414);
    for (char c : target)
        if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) return fail(400);
    // An absolute target ("http://127.0.0.1:5905/load/x") is taken by its
    // path; its authority stands for the Host header.
    std::optional<std::string_view> authority;
    if (target.starts_with("http://")) {
        std::size_t slash = target.find('/', 7);
        authority = target.substr(7, slash == std::string_view::npos ? std::string_view::npos : slash - 7);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    if (target.front() != '/') return fail(400);

    std::optional<std::size_t> contentLength;
    std::optional<std::string_view> host;
    while (!head.empty()) {
        std::string_view line = nextLine();
        if (line.empty()) continue;
        std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) return fail(400);
        std::string_view name = line.substr(0, colon);
        for (char c : name)
            if (!isTokenChar(c)) return fail(400);
        std::string_view value = trim(line.substr(colon + 1));
        if (SameText(name, "Content-Length")) {
            if (value.empty() || value.size() > 9) return fail(value.empty() ? 400 : 413);
            std::size_t n = 0;
            for (char c : value) {
                if (c < '0' || c > '9') return fail(400);
                n = n * 10 + static_cast<std::size_t>(c - '0');
            }
            if (contentLength && *contentLength != n) return fail(400);
            contentLength = n;
        } else if (SameText(name, "Host")) {
            if (host) return fail(400);  // two hosts: which one is meant cannot be told
            host = value;
        } else if (SameText(name, "Transfer-Encoding")) {
            return fail(501);
        }
    }

    const bool isGet = method == "GET", isPost = method == "POST";
    if (!isGet && !isPost) return fail(405);
    std::size_t bodyLength = contentLength.value_or(0);
    if (bodyLength > kMaxRequestBody) return fail(413);
    std::size_t bodyStart = headEnd + sepLen;
    if (data.size() - bodyStart < bodyLength) return {};

    HttpParse p;
    p.state = HttpParse::State::Complete;
    p.length = bodyStart + bodyLength;
    p.request.method = std::string(method);
    std::size_t q = target.find('?');
    p.request.path = std::string(target.substr(0, q));
    if (q != std::string_view::npos) p.request.query = std::string(target.substr(q + 1));
    if (authority) p.request.host = std::string(*authority);
    else if (host) p.request.host = std::string(*host);
    p.request.body = std::string(data.substr(bodyStart, bodyLength));
    return p;
}

}  // namespace vs::engine
