#include "platform/errors.h"

#include <cerrno>
#include <cstring>

namespace vs {

std::string cannotOpenFile(const std::string& name) { return "Cannot open file " + name; }
std::string cannotCreateFile(const std::string& name) { return "Cannot create file " + name; }

std::string LastSystemError() {
    const int error = errno;
    return error ? std::string(std::strerror(error)) : std::string();
}

std::string FailureText(const std::exception& failure) {
    std::string text = failure.what();
    if (const auto* stream = dynamic_cast<const EStreamError*>(&failure); stream && !stream->reason().empty())
        text += ": " + stream->reason();
    return text;
}

}  // namespace vs
