#include "app/tools_folder.h"

#include <filesystem>
#include <variant>

#include "exe/pe_format.h"
#include "exe/pe_headers.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/stream.h"

namespace vs {

namespace fs = std::filesystem;

void RefuseToolsFolderOutput(const std::string& generatorDir, const std::string& output) {
    const std::optional<FileIdentity> target = IdentityOf(output);
    if (!target) return;
    // Every file there counts, not only the names a build takes: the folder
    // is the installation's, and nothing the generator writes belongs in it.
    const fs::path folders[] = {PathOf(ToolsFile(generatorDir, tools::Engine)).parent_path(),
                                PathOf(ToolsFile(generatorDir, tools::Engine, ToolsFamily::X86_64)).parent_path()};
    for (const fs::path& folder : folders) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string file = Utf8Of(it->path());
            if (KindOfPath(file) != PathKind::File || IdentityOf(file) != target) continue;
            std::string text = "The output \"" + output + "\" is the same file as a program of the Tools folder";
            if (file != output) text += " \"" + file + "\"";
            throw VsError(text + ". Nothing was written; choose another name for the output.");
        }
    }
}

std::vector<std::uint8_t> ReadEngine(const std::string& engine, ToolsFamily family) {
    if (!FileExists(engine)) throw EFOpenError("The projector engine " + engine + " is missing");
    const bool x64 = family == ToolsFamily::X86_64;
    const char* kind = x64 ? "a 64-bit (AMD64) Windows program" : "a 32-bit (i386) Windows program";
    const std::string broken = "The projector engine " + engine + " is not " + kind;
    const std::string reinstall = "; reinstall the generator's Tools folder.";
    const std::vector<std::uint8_t> bytes = ReadWholeFile(engine);
    PeHeaders h;
    try {
        h = ReadPeHeaders(bytes);
    } catch (const EExeError& e) {
        throw EExeError(broken + " (" + e.what() + ")" + reinstall);
    }
    constexpr std::uint16_t kExecutableImage = 0x0002, kDll = 0x2000;
    const bool program = (h.file.characteristics & kExecutableImage) && !(h.file.characteristics & kDll);
    const bool ofKind = x64 ? h.file.machine == pe::kMachineAmd64 && std::holds_alternative<pe::OptionalHeader64>(h.optional)
                            : h.file.machine == pe::kMachineI386 && std::holds_alternative<pe::OptionalHeader32>(h.optional);
    if (!program || !ofKind) throw EExeError(broken + reinstall);
    return bytes;
}

}  // namespace vs
