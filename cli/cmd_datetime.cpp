// vexelscreen datetime FILE [--name ROW=NAME]...
//
// Writes a sample of the date/time variable file that a projector writes at
// launch, with the current local date and time, as the window's "Create a
// sample file" does. ROW is a row number (1 year ... 7 milliseconds) or a
// variable's default name (Date_YY ... Time_MS).
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_model.h"
#include "cli/commands.h"
#include "platform/ascii.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs::cli {

namespace {

std::size_t RowOf(TfVexelSCREENModel& m, const std::string& row) {
    if (row.size() == 1 && row[0] >= '1' && row[0] <= '7') return static_cast<std::size_t>(row[0] - '0');
    static const char* const kDefaults[] = {"Date_YY", "Date_MM", "Date_DD", "Time_HH", "Time_MM", "Time_SS", "Time_MS"};
    for (std::size_t i = 0; i < 7; ++i)
        if (SameText(row, kDefaults[i])) return i + 1;
    (void)m;
    throw VsError("--name wants ROW=NAME with a row from 1 to 7 or a default name such as Date_YY, not \"" + row + "\"");
}

}  // namespace

void addDatetimeCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("datetime", "Write a sample date/time variable file, as a projector writes at launch");
    auto file = std::make_shared<std::string>();
    auto names = std::make_shared<std::vector<std::string>>();
    cmd->add_option("FILE", *file, "The text file to write")->required();
    cmd->add_option("--name", *names, "ROW=NAME: the variable name of a row (repeatable)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->callback([file, names] {
        runWithReasons([&] {
            CliModel cli;
            TfVexelSCREENModel& m = cli.model;
            for (const std::string& n : *names) {
                const std::size_t eq = n.find('=');
                if (eq == std::string::npos) throw VsError("--name wants ROW=NAME, not \"" + n + "\"");
                m.pgDateTime.value(RowOf(m, n.substr(0, eq))) = n.substr(eq + 1);
            }
            m.CreateVarFile(*file, false);
            const std::vector<std::uint8_t> written = ReadWholeFile(*file);
            std::cout << AnsiString::FromBytes(std::string(written.begin(), written.end())).ToUtf8() << "\n";
            return 0;
        });
    });
}

}  // namespace vs::cli
