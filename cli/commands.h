#pragma once
// Each sub-command of the `vexelscreen` command lives in its own file and adds
// itself to the application here.
#include <CLI/CLI.hpp>
#include <functional>

#include "platform/errors.h"

namespace vs::cli {

void addShowCommand(CLI::App& app);       // show FILE
void addExtractCommand(CLI::App& app);    // extract FILE DIR
void addInspectCommand(CLI::App& app);    // inspect FILE
void addRegionCommand(CLI::App& app);     // region IMAGE.bmp
void addResourcesCommand(CLI::App& app);  // resources FILE
void addStampCommand(CLI::App& app);      // stamp FILE
void addBuildCommand(CLI::App& app);      // build PROJECT.vsp | build --projector FILE ...
void addDatetimeCommand(CLI::App& app);   // datetime FILE
void addProjectorCommand(CLI::App& app);  // projector --player PLAYER.exe MOVIE.swf -o OUT.exe
void addMovieCommand(CLI::App& app);      // movie FILE -o MOVIE.swf
void addSignCommand(CLI::App& app);       // sign FILE --cert CERT

// Runs a command body and records its exit code for main: any failure
// becomes its message on stderr and exit code 1.
void runReporting(const std::function<int()>& body);
int exitCode();

// runReporting, with the reason of a file's failure (the file and what the
// system said) in the message: "Cannot create file X: No space left on device".
inline void runWithReasons(const std::function<int()>& body) {
    runReporting([&body] {
        try {
            return body();
        } catch (const EStreamError& e) {
            if (e.reason().empty()) throw;
            throw VsError(FailureText(e));
        }
    });
}

}  // namespace vs::cli
