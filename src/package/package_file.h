#pragma once
// Where a built projector keeps its settings, and the fixed names of the Tools
// folder. A built projector is the engine's bytes, one component stream whose
// root is the settings object, and the 4-byte little-endian offset of that
// stream. A project file begins with the settings stream.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/errors.h"
#include "platform/stream.h"

namespace vs {

class s_TVexelProjector;

namespace tools {
inline constexpr std::string_view Folder = "tools";
// The sub-folder of the Tools folder with the same programs built for 64-bit
// players, under the same names.
inline constexpr std::string_view X64Folder = "x64";
inline constexpr std::string_view Engine = "VSengine.exe";
inline constexpr std::string_view HookLibrary = "mhproc.dll";
inline constexpr std::string_view PrintTool = "VSP.exe";
inline constexpr std::string_view ExecTool = "VSE.exe";
inline constexpr std::string_view StoreTool = "VSS.exe";
inline constexpr std::string_view DesktopTool = "VSD.exe";
}  // namespace tools

inline constexpr std::size_t kPackageOffsetSize = 4;

// The path of a file in the Tools folder beside the generator. Folder and file
// names are matched without regard to case, as the platform the engine runs
// on does; a name that is not there is still formed, in the spelling given.
std::string ToolsFile(const std::string& generatorDir, std::string_view name);

// The two builds of the engine, its hook library and its tools: the Tools
// folder itself holds the 32-bit one, its X64Folder the 64-bit one.
enum class ToolsFamily { I686, X86_64 };

// The same for a file of one family (tools_family.cpp: the engine links this
// file's code, and it stays as it is).
std::string ToolsFile(const std::string& generatorDir, std::string_view name, ToolsFamily family);

// Appends the package to a stream: the settings as a component stream at the
// stream's end, then that stream's offset. Returns the offset.
std::int64_t AppendPackage(TStream& out, s_TVexelProjector& settings);

enum class SettingsSource { Projector, Project };

struct LocatedSettings {
    SettingsSource source;
    std::int64_t offset;  // where the component stream begins
};

// The certificate table of a signed executable (its Authenticode
// signatures), where the PE security directory puts it.
struct CertificateTable {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// A signed file whose certificate table cannot be trusted to be one.
class ECertificateTableError : public EReadError {
public:
    using EReadError::EReadError;
};

// The certificate table of a PE image whose security directory is not empty;
// nothing for any other file. Fails with ECertificateTableError when the
// table lies outside the file, does not end it, or its entries do not fill
// it exactly.
std::optional<CertificateTable> FindCertificateTable(TStream& file);

// Finds the settings stream of a built projector (the last 4 bytes point at a
// "TPF0" stream before them) or of a project file (a stream at offset 0). In a
// signed projector the 4 bytes stand just before the certificate table (and
// the zero bytes, fewer than 8, that a signer pads the file with), never
// inside it. Fails with "Invalid stream format" when the file is neither, and
// as FindCertificateTable for a damaged signature.
LocatedSettings LocateSettings(TStream& file);

// Reads the settings of a built projector or project file into an object.
LocatedSettings ReadSettingsFile(const std::string& path, s_TVexelProjector& settings);

// The file name under which an extracted packed file is written: the part of
// its stored name after the last '\' or '/'. Empty when that part cannot name
// a file inside a folder ("", ".", "..", control characters).
std::string SafeExtractName(std::string_view storedName);

}  // namespace vs
