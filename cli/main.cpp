#include <functional>
#include <iostream>

#include "cli/commands.h"
#include "cli/utf8_arguments.h"
#include "platform/errors.h"

namespace vs::cli {

namespace {
int g_exitCode = 0;
}

int exitCode() { return g_exitCode; }

void runReporting(const std::function<int()>& body) {
    try {
        g_exitCode = body();
    } catch (const VsError& e) {
        std::cerr << "vexelscreen: " << e.what() << '\n';
        g_exitCode = 1;
    } catch (const std::bad_alloc&) {
        std::cerr << "vexelscreen: out of memory\n";
        g_exitCode = 1;
    }
}

}  // namespace vs::cli

int main(int argc, char** argv) {
    vs::cli::Utf8Arguments utf8(argc, argv);
    CLI::App app{"VexelSCREEN Generator: builds and inspects customised Flash projectors", "vexelscreen"};
    app.require_subcommand(1);
    vs::cli::addBuildCommand(app);
    vs::cli::addShowCommand(app);
    vs::cli::addExtractCommand(app);
    vs::cli::addInspectCommand(app);
    vs::cli::addRegionCommand(app);
    vs::cli::addResourcesCommand(app);
    vs::cli::addStampCommand(app);
    vs::cli::addDatetimeCommand(app);
    CLI11_PARSE(app, argc, argv);
    return vs::cli::exitCode();
}
