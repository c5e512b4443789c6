#include <iostream>

#include "cli/commands.h"
#include "package/describe.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"

namespace vs::cli {

void addShowCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("show", "Print the settings and packed files of a built projector or project file");
    auto file = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_option("FILE", *file, "A built projector (.exe) or a project file (.vsp)")->required();
    cmd->add_flag("--json", *json, "Print JSON with the stream's own property names");
    cmd->callback([file, json] {
        runReporting([&] {
            s_TVexelProjector settings;
            LocatedSettings where = ReadSettingsFile(*file, settings);
            if (*json) {
                std::cout << DescribeSettingsJson(settings);
            } else {
                if (where.source == SettingsSource::Projector)
                    std::cout << "Built projector; settings stream at offset " << where.offset << "\n";
                else
                    std::cout << "Project file\n";
                std::cout << DescribeSettings(settings);
            }
            return 0;
        });
    });
}

}  // namespace vs::cli
