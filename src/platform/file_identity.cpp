#include "platform/file_identity.h"

#include <filesystem>
#include <system_error>

#include "platform/ascii.h"

namespace vs {

namespace fs = std::filesystem;

std::string FullPath(const std::string& name) {
    if (name.empty()) return name;
    std::error_code ec;
    fs::path full = fs::absolute(fs::path(name), ec);
    if (ec) full = fs::path(name);
    full = full.lexically_normal();
    // "dir/." normalises to "dir/"; the folder is meant.
    if (!full.has_filename() && full.has_relative_path()) full = full.parent_path();
    return full.string();
}

bool SameFile(const std::string& a, const std::string& b) {
    const std::optional<FileIdentity> ia = IdentityOf(a), ib = IdentityOf(b);
    if (ia || ib) return ia && ib && *ia == *ib;
    // Neither exists yet: the same name in the same folder.
    const fs::path pa(FullPath(a)), pb(FullPath(b));
    const std::optional<FileIdentity> da = IdentityOf(pa.parent_path().string()),
                                      db = IdentityOf(pb.parent_path().string());
    const bool sameFolder = da && db ? *da == *db : pa.parent_path() == pb.parent_path();
#ifdef _WIN32
    return sameFolder && SameText(pa.filename().string(), pb.filename().string());
#else
    return sameFolder && pa.filename() == pb.filename();
#endif
}

}  // namespace vs
