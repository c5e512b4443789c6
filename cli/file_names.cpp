#include "cli/file_names.h"

#include "platform/ascii.h"

namespace vs::cli {

namespace {

// "name.ext" -> "name (2).ext"; a name without an extension, or one that
// starts with its only dot, takes the number at its end.
std::string Numbered(const std::string& name, int n) {
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return name + " (" + std::to_string(n) + ")";
    return name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
}

}  // namespace

std::string UniqueName(const std::string& name, std::set<std::string>& used) {
    std::string candidate = name;
    for (int n = 2; used.count(AsciiLowerCase(candidate)); ++n) candidate = Numbered(name, n);
    used.insert(AsciiLowerCase(candidate));
    return candidate;
}

}  // namespace vs::cli
