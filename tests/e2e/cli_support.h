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

}  // namespace vs::test
