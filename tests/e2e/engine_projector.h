#pragma once
// A built projector for the engine's tests, composed exactly as a build
// composes it: the engine copied to the output, the Flash projector as
// MainFile, the hook library as DLLFile, the additional files and then the
// tools in Files, all at one compression mode, and the package appended.
// The window test builds its projector with `vexelscreen build` instead; the
// package-level composer stays for the tests that damage packages on purpose.
#include <string>
#include <vector>

#include "package/vexel_projector.h"

namespace vs::test {

struct ProjectorInputs {
    std::string engine;       // VSengine.exe
    std::string flashPlayer;  // becomes MainFile
    std::string hookLibrary;  // mhproc.dll, becomes DLLFile
    std::vector<std::string> files;  // additional files, then the tools
    std::uint8_t compressMode = 3;
};

// The Tools folder's programs in the order a build adds them, for the
// services the settings ask for (print and launch always, for the tests).
std::vector<std::string> ToolsFor(const s_TVexelProjector& settings, const std::string& toolsDir);

void ComposeProjector(const std::string& output, s_TVexelProjector& settings, const ProjectorInputs& inputs);

// The stand-in player made a Flash projector: its program followed by the
// player text and a movie that uses the print, exec and variable services.
void WritePlayerProjector(const std::string& path, const std::string& player);

}  // namespace vs::test
