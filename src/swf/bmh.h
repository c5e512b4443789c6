#pragma once
// Boyer–Moore–Horspool search that ignores the case of ASCII letters, over
// memory and over whole files read block by block.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/user_interface.h"

namespace vs {

// Size of the blocks in which FindInFile reads a file.
inline constexpr std::size_t kSearchBlockSize = 64512;

// Folds every haystack byte through a table before comparing it with the
// pattern. The pattern itself is used as given, so callers pass it already in
// the folded case.
class FoldedSearch {
public:
    enum class Fold { Upper, Lower };
    FoldedSearch(std::string_view pattern, Fold fold);

    // Offset of the first occurrence that starts at or after `from`, or -1.
    std::int64_t find(std::span<const std::uint8_t> haystack, std::size_t from = 0) const;
    std::size_t size() const { return pattern_.size(); }

private:
    std::string pattern_;
    std::array<std::uint8_t, 256> fold_{};
    std::array<std::size_t, 256> shift_{};
};

// 0-based offset of the first occurrence of `pattern` in the file, comparing
// the file in capitals (pass the pattern in capitals), or -1 when it does not
// occur or the file cannot be read. File errors are shown as
// "Cannot scan NAME." + CR + reason + "." through `ui`.
std::int64_t FindInFile(const std::string& pattern, const std::string& fileName, UserInterface& ui);

// The message text of a failed scan; `code` is a DOS file error code.
std::string CannotScanMessage(const std::string& fileName, int code);

inline constexpr const char* kNotEnoughMemoryForSearch = "Not enough memory to perform search.";

}  // namespace vs
