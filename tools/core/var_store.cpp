#include "var_store.h"

#include "package/file_name_rules.h"
#include "platform/atomic_file.h"
#include "platform/stream.h"

namespace vs::engine {

bool IsStoreName(std::string_view name) {
    if (name.find("..") != std::string_view::npos) return false;
    for (char c : name) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  std::string_view(" -_.()+,=@!~'[]").find(c) != std::string_view::npos;
        if (!ok) return false;
    }
    return IsPlainFileName(name, kMaxStoreName);
}

std::string VariableStore::path(std::string_view name) const {
    if (!IsStoreName(name)) throw EStoreError("Not a variable store name");
    if (before_) before_();
    return folder_ + "/" + std::string(name) + std::string(kStoreExtension);
}

void VariableStore::Save(std::string_view name, const std::string& encoded) {
    if (encoded.size() > kMaxStoredBytes) throw EStoreError("Too many variables to store");
    const std::string file = path(name);
    try {
        WriteFileAtomic(file, encoded.data(), encoded.size());
    } catch (const VsError& e) {
        throw EStoreError(e.what());
    }
}

std::string VariableStore::Load(std::string_view name) const {
    const std::string file = path(name);
    if (!FileExists(file)) return {};
    try {
        TFileStream in(file, FileMode::OpenRead);
        std::int64_t size = in.Size();
        if (size > static_cast<std::int64_t>(kMaxStoredBytes)) throw EStoreError("The stored variables are too large");
        std::string text(static_cast<std::size_t>(size), '\0');
        in.ReadBuffer(text.data(), text.size());
        return text;
    } catch (const EStoreError&) {
        throw;
    } catch (const VsError& e) {
        throw EStoreError(e.what());
    }
}

}  // namespace vs::engine
