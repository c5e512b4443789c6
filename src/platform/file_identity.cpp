#include "platform/file_identity.h"

#include <filesystem>
#include <system_error>

#include "platform/ascii.h"
#include "platform/file_system.h"

namespace vs {

namespace fs = std::filesystem;

#ifdef _WIN32
namespace detail {
// file_identity_win32.cpp: the file system's comparison of two file names.
bool SameNameInAFolder(const std::string& a, const std::string& b);
}  // namespace detail
#endif

std::string FullPath(const std::string& name) {
    if (name.empty()) return name;
    std::error_code ec;
    fs::path full = fs::absolute(PathOf(name), ec);
    if (ec) full = PathOf(name);
    full = full.lexically_normal();
    // "dir/." normalises to "dir/"; the folder is meant.
    if (!full.has_filename() && full.has_relative_path()) full = full.parent_path();
    return Utf8Of(full);
}

bool SameFile(const std::string& a, const std::string& b) {
    const std::optional<FileIdentity> ia = IdentityOf(a), ib = IdentityOf(b);
    if (ia || ib) return ia && ib && *ia == *ib;
    // Neither exists yet: the same name in the same folder.
    const fs::path pa = PathOf(FullPath(a)), pb = PathOf(FullPath(b));
    const std::optional<FileIdentity> da = IdentityOf(Utf8Of(pa.parent_path())),
                                      db = IdentityOf(Utf8Of(pb.parent_path()));
    const bool sameFolder = da && db ? *da == *db : pa.parent_path() == pb.parent_path();
#ifdef _WIN32
    return sameFolder && detail::SameNameInAFolder(Utf8Of(pa.filename()), Utf8Of(pb.filename()));
#else
    return sameFolder && pa.filename() == pb.filename();
#endif
}

}  // namespace vs
