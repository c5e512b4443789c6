#pragma once
// The variables that a movie saves through the variable service, one file per
// NAME in the store folder: NAME with ".vsv" added, so that a movie can never
// overwrite a file of the user's (or the projector itself) beside it. The file
// holds the variables in their canonical URL-encoded form, one line, nothing
// else; it is replaced whole on every save.
#include <functional>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace vs::engine {

class EStoreError : public VsError { public: using VsError::VsError; };

inline constexpr std::size_t kMaxStoreName = 64;
inline constexpr std::size_t kMaxStoredBytes = 1024 * 1024;
inline constexpr std::string_view kStoreExtension = ".vsv";

// A NAME the service takes: a plain file name of at most 64 bytes made of
// ASCII letters, digits, space and - _ . ( ) + , = @ ! ~ ' [ ] only, without
// "..". Everything path-like or device-like is refused.
bool IsStoreName(std::string_view name);

class VariableStore {
public:
    explicit VariableStore(std::string folder) : folder_(std::move(folder)) {}
    const std::string& folder() const { return folder_; }
    // Runs before each file access; a store whose folder is named relative
    // to the current folder makes its folder current there.
    void SetBeforeAccess(std::function<void()> before) { before_ = std::move(before); }

    // Replaces the variables kept under the name. Fails with EStoreError.
    void Save(std::string_view name, const std::string& encoded);
    // The kept variables, empty when nothing was saved under the name.
    std::string Load(std::string_view name) const;

private:
    std::string path(std::string_view name) const;
    std::string folder_;
    std::function<void()> before_;
};

}  // namespace vs::engine
