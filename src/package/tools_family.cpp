// The Tools folder of 64-bit players, apart from package_file.cpp, whose code
// every engine links: the 32-bit engine stays the same bytes.
#include <filesystem>

#include "package/package_file.h"
#include "platform/ascii.h"
#include "platform/file_system.h"

namespace vs {

namespace fs = std::filesystem;

std::string ToolsFile(const std::string& generatorDir, std::string_view name, ToolsFamily family) {
    if (family == ToolsFamily::I686) return ToolsFile(generatorDir, name);
    const fs::path folder = PathOf(ToolsFile(generatorDir, tools::X64Folder));
    std::error_code ec;
    if (!fs::exists(folder / PathOf(name), ec))
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
            if (const std::string entry = Utf8Of(it->path().filename()); SameText(entry, name))
                return Utf8Of(folder / it->path().filename());
    return Utf8Of(folder / PathOf(name));
}

}  // namespace vs
