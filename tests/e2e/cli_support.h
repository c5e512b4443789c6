#pragma once
// Running the command line from tests.
#include <string>
#include <vector>

namespace vs::test {

struct CliResult {
    int exitCode = -1;
    std::string out;  // stdout
    std::string err;  // stderr
};

// Runs the vexelscreen command with the arguments (each quoted for the shell).
CliResult RunCli(const std::vector<std::string>& args);

// As RunCli, but a command that has not ended after two minutes is stopped
// (exit code 124), so that a command that would wait forever fails the test
// instead of hanging it.
CliResult RunCliGuarded(const std::vector<std::string>& args);

// As RunCli, after shell commands that set up its process (such as
// "ulimit -f 64;"; the output files of the run are subject to them too).
CliResult RunCliAfter(const std::string& shellCommands, const std::vector<std::string>& args);

// As RunCli, with a copy of the command elsewhere (which finds its Tools
// folder beside itself).
CliResult RunProgram(const std::string& program, const std::vector<std::string>& args);

// Starts the command in the background, its output discarded; the process id.
int StartCli(const std::vector<std::string>& args);
// Waits for a started command: its exit code, or 128 + the signal that ended it.
int WaitCli(int pid);

}  // namespace vs::test
