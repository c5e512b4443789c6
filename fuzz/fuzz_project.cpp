// Arbitrary bytes as a project file: read alone they must fail cleanly or give
// parts that can be described; loaded through the window's model they must
// give the load error or a loaded project, never a crash, a huge allocation or
// a file written anywhere.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/describe_project.h"
#include "app/generator_model.h"
#include "app/project_file.h"
#include "platform/errors.h"
#include "support/recording_interface.h"
#include "support/scripted_ports.h"

namespace {

namespace fs = std::filesystem;

const fs::path& Folder() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("vs_fuzz_project_" + std::to_string(::getpid()));
        fs::create_directories(d / "gen");
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    try {
        vs::TMemoryStream in(input);
        const vs::ProjectContents c = vs::ReadProjectFile(in);
        (void)vs::DescribeProject(c);
        (void)vs::DescribeProjectJson(c);
    } catch (const vs::VsError&) {
    }

    const std::string project = (Folder() / "p.vsp").string();
    std::ofstream(project, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    vs::test::SilentInterface ui;
    vs::test::ScriptedShell shell;
    vs::test::MemorySettingsStore store;
    vs::test::ScriptedHost host;
    vs::TfVexelSCREENModel model(ui, shell, store, host, {(Folder() / "gen").string() + "/", Folder().string() + "/"});
    model.jobs = 1;
    model.LoadProject(project);
    if (model.updating) __builtin_trap();
    // Nothing but the project itself in the folder: no file retrieved, none extracted.
    for (const auto& entry : fs::directory_iterator(Folder()))
        if (entry.path().filename() != "p.vsp" && entry.path().filename() != "gen") __builtin_trap();
    return 0;
}
