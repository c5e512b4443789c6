#pragma once
// Boyer–Moore–Horspool search that ignores the case of ASCII letters, over
// memory and over whole files read block by block.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vs {

// Size of the blocks in which FindInFile reads a file.
inline constexpr std::size_t kSearchBlockSize = 64512;

// Folds every haystack byte through a table before comparing it with the
// pattern. The pattern itself is used as given, so callers pass it already in
// the folded case. Patterns of two bytes or more shift by the last two bytes
// of the window rather than by the last one: on text, where most single
// letters occur in a pattern, far fewer pairs do.
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
    std::vector<std::uint8_t> pairShift_;  // by (folded byte before the last) * 256 + folded last byte
};

// Why a search of a file gave up.
struct ScanFailure {
    enum class Kind { OutOfMemory, FileError };
    Kind kind = Kind::FileError;
    std::string file;
    int code = 0;  // for a file error: the DOS file error code (2 "file not found", 5, 100 ...)
    bool operator==(const ScanFailure&) const = default;
};

struct FileSearch {
    std::int64_t offset = -1;  // -1: not found, or the search failed
    std::optional<ScanFailure> failure;
};

// 0-based offset of the first occurrence of `pattern` in the file, comparing
// the file in capitals (pass the pattern in capitals). A file that cannot be
// read gives offset -1 and the failure.
FileSearch FindInFile(const std::string& pattern, const std::string& fileName);

// The reason a DOS file error code stands for ("File not found"), or "".
const char* DosErrorReason(int code);

}  // namespace vs
