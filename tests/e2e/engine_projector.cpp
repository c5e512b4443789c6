#include "engine_projector.h"

#include <filesystem>

#include "package/package_file.h"
#include "platform/stream.h"

namespace vs::test {

std::vector<std::string> ToolsFor(const s_TVexelProjector& s, const std::string& toolsDir) {
    std::vector<std::string> out = {toolsDir + "/VSP.exe", toolsDir + "/VSE.exe"};
    if (s.HasVarStore) out.push_back(toolsDir + "/VSS.exe");
    if (s.InsDesktop) out.push_back(toolsDir + "/VSD.exe");
    return out;
}

void ComposeProjector(const std::string& output, s_TVexelProjector& s, const ProjectorInputs& in) {
    std::filesystem::copy_file(in.engine, output, std::filesystem::copy_options::overwrite_existing);
    s.Preview = false;
    s.MainFile().CompressMode = in.compressMode;
    s.MainFile().SetFilename(in.flashPlayer);
    s.DLLFile().CompressMode = in.compressMode;
    s.DLLFile().SetFilename(in.hookLibrary);
    s.Files().Clear();
    s.Files().DefaultCompressMode = in.compressMode;
    for (const std::string& f : in.files) s.Files().AddFile(f);
    TFileStream out(output, FileMode::OpenReadWrite);
    AppendPackage(out, s);
}

}  // namespace vs::test
