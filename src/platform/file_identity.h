#pragma once
// Whether two names lead to one file. Spelling says little: "a.exe",
// "./a.exe", a hard link and a symbolic link can all name the same file, so
// files are compared by what the file system says identifies them (device and
// inode on POSIX systems, volume serial number and file index on Windows).
#include <cstdint>
#include <optional>
#include <string>

namespace vs {

struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file or folder a name leads to (links followed), or
// nothing when there is none. Implemented once per platform.
std::optional<FileIdentity> IdentityOf(const std::string& name);

// True when both names lead to one existing file, or when neither exists and
// both would be created as the same name in the same folder.
bool SameFile(const std::string& a, const std::string& b);

// The name made absolute (against the current folder) and lexically normal:
// no "." or ".." segments and no doubled separators. The file system is not
// asked, so links stay as they are.
std::string FullPath(const std::string& name);

}  // namespace vs
