#include <iostream>

#include "app/code_signing.h"
#include "app/describe_project.h"
#include "app/project_file.h"
#include "cli/commands.h"
#include "exe/executable_kind.h"
#include "package/describe.h"
#include "package/package_file.h"
#include "package/vexel_projector.h"

namespace vs::cli {

void addShowCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("show", "Print the settings and packed files of a built projector or of a bare settings "
                                           "stream, or the five parts of a project file");
    auto file = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_option("FILE", *file, "A built projector (.exe), a project file (.vsp) or a bare settings stream")->required();
    cmd->add_flag("--json", *json, "Print JSON with the stream's own property names");
    cmd->callback([file, json] {
        runWithReasons([&] {
            TFileStream stream(*file, FileMode::OpenRead);
            const LocatedSettings where = LocateSettings(stream);
            stream.SetPosition(where.offset);
            s_TVexelProjector settings;
            // Only what is printed is read: the packed files' bytes are passed over.
            ReadOptions sizesOnly;
            sizesOnly.packedData = PackedData::SizeOnly;
            if (where.source == SettingsSource::Project) {
                // A file that ends with its settings stream holds nothing else
                // to show; otherwise it is read again as a project, whose local
                // files are never read.
                ReadComponentFromStream(stream, settings, sizesOnly);
                if (stream.Position() == stream.Size()) {
                    std::cout << (*json ? DescribeSettingsJson(settings)
                                        : "Settings stream\n" + DescribeSettings(settings));
                    return 0;
                }
                stream.SetPosition(0);
                const ProjectContents project = ReadProjectFile(stream);
                std::cout << (*json ? DescribeProjectJson(project) : "Project file\n" + DescribeProject(project));
                return 0;
            }
            ReadComponentFromStream(stream, settings, sizesOnly);
            if (*json) {
                std::cout << DescribeSettingsJson(settings);
                return 0;
            }
            // The engine a projector carries is the executable it starts with.
            const ExecutableKind engine = ExecutableKindOf(stream);
            std::cout << "Built projector; settings stream at offset " << where.offset << "\n"
                      << "Engine: " << ExecutableKindText(engine) << "\n";
            const SignatureReport signature = ReadSignature(*file);
            if (signature.isSigned) {
                std::cout << "Signature: ";
                if (!signature.checked)
                    std::cout << "present (" << signature.note << ")\n";
                else
                    std::cout << "signed by " << signature.signer << ", digest " << signature.digest << ", "
                              << (signature.matches ? "matches the file" : "does NOT match the file: " + signature.note)
                              << "\n";
            }
            std::cout << DescribeSettings(settings);
            return 0;
        });
    });
}

}  // namespace vs::cli
