#include "cli_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

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

namespace {

CliResult RunCommand(const std::string& prefix, const std::vector<std::string>& args,
                     const std::string& program = VS_CLI) {
    static int counter = 0;
    auto dir = std::filesystem::temp_directory_path();
    std::string tag = std::to_string(::getpid()) + "_" + std::to_string(counter++);
    auto out = dir / ("vs_cli_out_" + tag);
    auto err = dir / ("vs_cli_err_" + tag);
    std::string cmd = prefix + quote(program);
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

}  // namespace

CliResult RunCli(const std::vector<std::string>& args) { return RunCommand("", args); }

CliResult RunCliGuarded(const std::vector<std::string>& args) { return RunCommand("timeout 120 ", args); }

CliResult RunCliAfter(const std::string& shellCommands, const std::vector<std::string>& args) {
    return RunCommand(shellCommands + " ", args);
}

CliResult RunProgram(const std::string& program, const std::vector<std::string>& args) {
    return RunCommand("", args, program);
}

int StartCli(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {VS_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(VS_CLI, pointers.data());
        ::_exit(127);
    }
    return pid;
}

int WaitCli(int pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace vs::test
