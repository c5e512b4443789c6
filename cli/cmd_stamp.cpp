#include "cli/commands.h"

namespace vs::cli {

// Placeholder until the command is built.
void addStampCommand(CLI::App& app) { (void)app; }

}  // namespace vs::cli
