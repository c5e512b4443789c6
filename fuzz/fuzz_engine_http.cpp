// The variable service's request parser and request handling on any bytes:
// never a crash, and nothing stored under a name that is not a plain one.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/var_service.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = [] {
        auto dir = std::filesystem::temp_directory_path() / ("vs_fuzz_http_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        return dir.string();
    }();
    std::string_view text(reinterpret_cast<const char*>(data), size);
    vs::engine::HttpParse p = vs::engine::ParseHttpRequest(text);
    if (p.state == vs::engine::HttpParse::State::Complete) {
        if (p.length > size) __builtin_trap();
        vs::engine::VariableStore store(folder);
        vs::engine::HttpResponse r = vs::engine::HandleVarRequest(p.request, store);
        if (r.status == 200 && p.request.path.size() > 6) {
            std::string name = p.request.path.substr(6);
            if (name.find("..") != std::string::npos && name.find('%') == std::string::npos) __builtin_trap();
        }
        vs::engine::FormatResponse(r);
    }
    return 0;
}
