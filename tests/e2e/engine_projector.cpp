#include "engine_projector.h"

#include <filesystem>

#include "package/package_file.h"
#include "platform/stream.h"
#include "support/swf_builder.h"

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

void WritePlayerProjector(const std::string& path, const std::string& player) {
    std::vector<std::uint8_t> bytes = ReadWholeFile(player);
    const std::string text = "ShockwaveFlash";
    bytes.insert(bytes.end(), text.begin(), text.end());
    bytes.push_back(0);
    SwfBuilder movie;
    movie.fsExec("vexelprint(0,0,0,0) /fitpage").fsExec("vexelexec(readme.txt, )");
    movie.getUrl("vexelscreen:savevariables(scores.txt)", "");
    const ByteVec swf = movie.build();
    bytes.insert(bytes.end(), swf.begin(), swf.end());
    TFileStream out(path, FileMode::Create);
    out.WriteBuffer(bytes.data(), bytes.size());
}

}  // namespace vs::test
