#include <iostream>

#include "app/describe_project.h"
#include "app/project_file.h"
#include "cli/commands.h"
#include "package/describe.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"

namespace vs::cli {

void addShowCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("show", "Print the settings and packed files of a built projector, or the five parts "
                                           "of a project file");
    auto file = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_option("FILE", *file, "A built projector (.exe) or a project file (.vsp)")->required();
    cmd->add_flag("--json", *json, "Print JSON with the stream's own property names");
    cmd->callback([file, json] {
        runReporting([&] {
            TFileStream stream(*file, FileMode::OpenRead);
            const LocatedSettings where = LocateSettings(stream);
            stream.SetPosition(where.offset);
            if (where.source == SettingsSource::Project) {
                // Local files that the project names are never read.
                const ProjectContents project = ReadProjectFile(stream);
                std::cout << (*json ? DescribeProjectJson(project) : "Project file\n" + DescribeProject(project));
                return 0;
            }
            s_TVexelProjector settings;
            ReadComponentFromStream(stream, settings);
            if (*json)
                std::cout << DescribeSettingsJson(settings);
            else
                std::cout << "Built projector; settings stream at offset " << where.offset << "\n"
                          << DescribeSettings(settings);
            return 0;
        });
    });
}

}  // namespace vs::cli
