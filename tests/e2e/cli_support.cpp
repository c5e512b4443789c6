#include "cli_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace vs::test {

namespace {
std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}
std::string slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
}  // namespace

CliResult RunCli(const std::vector<std::string>& args) {
    static int counter = 0;
    auto dir = std::filesystem::temp_directory_path();
    std::string tag = std::to_string(::getpid()) + "_" + std::to_string(counter++);
    auto out = dir / ("vs_cli_out_" + tag);
    auto err = dir / ("vs_cli_err_" + tag);
    std::string cmd = quote(VS_CLI);
    for (const std::string& a : args) cmd += " " + quote(a);
    cmd += " >" + quote(out.string()) + " 2>" + quote(err.string()) + " </dev/null";
    int status = std::system(cmd.c_str());
    CliResult r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

}  // namespace vs::test
