#pragma once
// Names that come from outside (packed file names, the variable service's
// NAME) become files inside one folder of the projector's. A name passes only
// when every Windows file system takes it as a plain file in that folder: no
// separator, no drive, no device, nothing the system would silently change.
// The engine applies these rules to what it unpacks, and a build applies the
// same rules to what it packs, so that a built projector can always write
// its files.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace vs {

// The longest file name the engine writes into its folder, in characters of
// the stored (Windows-1252) form.
inline constexpr std::size_t kMaxPackedFileName = 200;
// The file that the engine keeps in the folder it unpacks into while it runs.
inline constexpr std::string_view kEngineLockFile = "VexelSCREEN.lock";
// The longest stored name that a projector surely writes. Windows paths have
// at most 259 characters (MAX_PATH 260 with its terminator); the engine
// unpacks into %TEMP%\VexelSCREEN-XXXXXXXX\ (21 characters). We assume a
// long %TEMP% of a 20-character user name, "C:\Users\<20>\AppData\Local\Temp\"
// (49 characters), leaving 259 - 49 - 21 = 189. (The tools, which go one
// folder deeper, have short fixed names.)
inline constexpr std::size_t kLongestSafeExtractedName = 189;
// The sub-folder beside the unpacked movie that holds the tools, the only
// place from which the Flash player's exec command starts programs.
inline constexpr std::string_view kToolsSubfolder = "fscommand";

// The file name of a reserved device (CON, PRN, AUX, NUL, COM0-9, LPT0-9,
// CONIN$, CONOUT$), with or without an extension, in any case.
bool IsDeviceName(std::string_view name);

// Why a name is not a plain file name of at most maxBytes bytes (for example
// "Windows does not allow \"?\" in a file name"); empty when it is one. A
// plain name is valid UTF-8, not "." or "..", holds none of the characters
// < > : " / \ | ? * or controls, has no leading space, no trailing dot or
// space, and is not a device name.
std::string PlainFileNameProblem(std::string_view name, std::size_t maxBytes);
bool IsPlainFileName(std::string_view name, std::size_t maxBytes);

// The part of a stored name after its last '\' or '/'.
std::string_view StoredFilePart(std::string_view storedName);

// The file part of a stored name, or empty when it is not a plain file name
// of at most kMaxPackedFileName bytes.
std::string ExtractName(std::string_view storedName);

// A name folded the way Windows compares file names for the letters a
// package can hold (ASCII and the letters of Windows-1252): two names with
// the same key are one file.
std::string FileNameKey(std::string_view name);

// A name read from outside as a message shows it: as it is when it is valid
// UTF-8 without control characters and at most `longest` bytes, otherwise
// "<a name of N bytes>", so that damaged bytes never reach a message.
std::string ShownName(std::string_view name, std::size_t longest);

// What a projector writes into its folder, in the order it writes it.
struct PackedNames {
    std::vector<std::string> files;  // stored names: MainFile, DLLFile, then Files; empty ones write nothing
    bool anyTool = false;            // a tool is packed, so the tools' sub-folder is made
    std::optional<std::string> dateTimeFile;  // the date/time file's stored name, when it is written
};

struct PackedNameProblem {
    enum class Kind { NotPlain, Duplicate, DateTimeFile, ToolsFolder, DateTimeFileNotPlain };
    Kind kind;
    std::size_t index;    // into PackedNames::files (unused for DateTimeFileNotPlain)
    std::string stored;   // the stored name the problem is about
    std::string reason;   // why, as a clause: "Windows reserves the name \"aux.txt\" for a device"
};

// The first name the projector could not write as a file of its own, or
// nothing when every name can be written.
std::optional<PackedNameProblem> FindPackedNameProblem(const PackedNames& names);

// A list of files that a build cannot pack.
class EPackedNameError : public VsError { public: using VsError::VsError; };

// Warnings about names that the projector may fail to write on some
// machines: a name longer than kLongestSafeExtractedName.
std::vector<std::string> PackedNameWarnings(const PackedNames& names);

// Fails with EPackedNameError, naming the file and saying why, when the
// projector could not write one of the names (also one named like the
// engine's lock file); otherwise returns PackedNameWarnings.
std::vector<std::string> CheckPackedNames(const PackedNames& names);

}  // namespace vs
