#pragma once
// Running another program to its end and collecting what it writes: for
// tools of the field that the generator hands work to (a code signer).
#include <optional>
#include <string>
#include <vector>

namespace vs {

struct ProgramRun {
    int exitCode = -1;
    std::string output;  // standard output and standard error, as they came
};

// Runs `program` (a name looked for on the PATH, or a path) with `args`,
// without a console window of its own, waits for it to end and returns its
// exit code and output. Nothing when it cannot be started (not installed).
std::optional<ProgramRun> RunProgram(const std::string& program, const std::vector<std::string>& args);

}  // namespace vs
