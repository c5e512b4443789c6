#include <functional>
#include <iostream>

#include "app/program_version.h"
#include "cli/commands.h"
#include "cli/utf8_arguments.h"
#include "platform/errors.h"
#include "platform/temp_files.h"
#ifdef _WIN32
#include "platform/win32.h"
#endif

namespace vs::cli {

namespace {
int g_exitCode = 0;

void Report(const char* text) {
    std::cerr << "vexelscreen: " << text << '\n';
    g_exitCode = 1;
}
}  // namespace

int exitCode() { return g_exitCode; }

void runReporting(const std::function<int()>& body) {
    try {
        g_exitCode = body();
    } catch (const std::bad_alloc&) {
        Report("out of memory");
    } catch (const std::exception& e) {
        Report(e.what());
    }
}

}  // namespace vs::cli

int main(int argc, char** argv) {
#ifdef _WIN32
    vs::win32::RestrictLibrarySearchToSystem();
#endif
    // A build or an extraction cut short by a signal (on Windows: Ctrl+C,
    // Ctrl+Break, a closed console, log-off, shut-down) leaves no temporary
    // file. Installed before the arguments take the console, whose handler
    // must run first.
    vs::RemoveTempFilesOnEndingSignals();
    vs::cli::Utf8Arguments utf8(argc, argv);
    try {
        CLI::App app{"VexelSCREEN Generator: builds and inspects customised Flash projectors", "vexelscreen"};
        app.set_version_flag("--version", std::string("vexelscreen ") + vs::kProgramVersion,
                             "Print the program's version and exit");
        app.require_subcommand(1);
        vs::cli::addBuildCommand(app);
        vs::cli::addShowCommand(app);
        vs::cli::addExtractCommand(app);
        vs::cli::addInspectCommand(app);
        vs::cli::addRegionCommand(app);
        vs::cli::addResourcesCommand(app);
        vs::cli::addStampCommand(app);
        vs::cli::addDatetimeCommand(app);
        vs::cli::addProjectorCommand(app);
        vs::cli::addMovieCommand(app);
        vs::cli::addSignCommand(app);
        CLI11_PARSE(app, argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "vexelscreen: " << e.what() << '\n';
        return 1;
    }
    return vs::cli::exitCode();
}
