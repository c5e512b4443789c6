// The POSIX identity of a file: its device and inode numbers.
#ifndef _WIN32
#include <sys/stat.h>

#include "platform/file_identity.h"

namespace vs {

std::optional<FileIdentity> IdentityOf(const std::string& name) {
    struct stat st {};
    if (name.empty() || ::stat(name.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace vs
#endif
