#pragma once
// The wine loader that runs Windows programs of one kind here, as
// cmake/wine_loader.sh finds it: Debian's `wine` wrapper picks the 32-bit
// loader whenever wine32 is installed, also where the kernel runs no 32-bit
// programs, so tests call the loader of the program's kind directly.
#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace vs::test {

struct WineLoader {
    std::string path;  // empty when there is none
    std::string why;   // why there is none
    bool required = false;  // VS_REQUIRE asks for it: its absence is a failure, not a skip
};

// `script` is the path of wine_loader.sh; `bits` 32 or 64.
inline WineLoader FindWineLoader(const std::string& script, int bits) {
    WineLoader r;
    const std::string command = "sh '" + script + "' " + std::to_string(bits) + " 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) {
        r.why = "the shell cannot be started";
        return r;
    }
    std::string out;
    std::array<char, 256> buffer;
    while (std::fgets(buffer.data(), buffer.size(), p)) out += buffer.data();
    const int status = ::pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 0)
        r.path = out;
    else
        r.why = out.empty() ? "no wine loader for " + std::to_string(bits) + "-bit programs" : out,
        r.required = code != 77;
    return r;
}

}  // namespace vs::test

// Skips the test when there is no loader of that kind, or fails it when one
// is required; otherwise gives the loader's path.
#define VS_WINE_LOADER_OR_SKIP(var, script, bits)                          \
    const ::vs::test::WineLoader var = ::vs::test::FindWineLoader(script, bits); \
    if (var.path.empty()) {                                                \
        if (var.required) FAIL() << var.why;                               \
        GTEST_SKIP() << var.why;                                           \
    }
