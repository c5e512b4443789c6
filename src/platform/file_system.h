#pragma once
// The file-system calls that the streams, the atomic writes and the file
// search share, with UTF-8 names. On Windows every name reaches the system as
// UTF-16, so a file is found whatever letters its name holds, not only those
// of the ANSI code page; elsewhere the bytes are the name.
#include <filesystem>
#include <string>
#include <string_view>

namespace vs {

// ::open with a UTF-8 name: the descriptor, or -1 with errno set.
int OpenFileDescriptor(const std::string& name, int flags, int mode = 0);

enum class PathKind { Missing, File, Folder, Other };
PathKind KindOfPath(const std::string& name);

// Removes a file; false when it cannot be removed (or is not there).
bool RemoveFile(const std::string& name);

// Puts the file `source` in the place of `target` in one step, replacing a
// file of that name (rename; MoveFileExW with MOVEFILE_REPLACE_EXISTING on
// Windows). On failure both files are as they were.
bool MoveReplacing(const std::string& source, const std::string& target);

// A path from a UTF-8 name and back. std::filesystem reads a narrow string in
// the C library's code page on Windows, not as UTF-8, so every name that goes
// through std::filesystem goes through these.
std::filesystem::path PathOf(std::string_view utf8);
std::string Utf8Of(const std::filesystem::path& path);

// The user's folder for temporary files, ending in a separator; empty when
// the system names none.
std::string TemporaryFolder();

}  // namespace vs
