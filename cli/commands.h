#pragma once
// Each sub-command of the `vexelscreen` command lives in its own file and adds
// itself to the application here.
#include <CLI/CLI.hpp>
#include <functional>

namespace vs::cli {

void addShowCommand(CLI::App& app);       // show FILE
void addExtractCommand(CLI::App& app);    // extract FILE DIR
void addInspectCommand(CLI::App& app);    // inspect FILE
void addRegionCommand(CLI::App& app);     // region IMAGE.bmp
void addResourcesCommand(CLI::App& app);  // resources FILE
void addStampCommand(CLI::App& app);      // stamp FILE
void addBuildCommand(CLI::App& app);      // build PROJECT.vsp | build --projector FILE ...
void addDatetimeCommand(CLI::App& app);   // datetime FILE

// Runs a command body and records its exit code for main: any failure
// becomes its message on stderr and exit code 1.
void runReporting(const std::function<int()>& body);
int exitCode();

}  // namespace vs::cli
