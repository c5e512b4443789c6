#pragma once
// The version information of a projector: the fixed-size record in which the
// window hands over its twelve version strings and four numbers (also stored
// whole in project files), and the version resource built from it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vs {

inline constexpr int kVersionStringCount = 12;
inline constexpr std::size_t kVersionStringMax = 64;

#pragma pack(push, 1)
// A length byte (0 to 64) and 64 bytes of Windows-1252 text; only the first
// `length` bytes count.
struct TVersionInfoString {
    std::uint8_t length;
    char text[kVersionStringMax];
};
struct TVersionInfoRec {
    TVersionInfoString strings[kVersionStringCount];  // in the order of the key table
    std::uint16_t major;
    std::uint16_t minor;
    std::uint16_t release;
    std::uint16_t build;
};
#pragma pack(pop)
static_assert(sizeof(TVersionInfoString) == 65);
static_assert(sizeof(TVersionInfoRec) == 788);
static_assert(offsetof(TVersionInfoRec, strings[11]) == 715 && offsetof(TVersionInfoRec, major) == 780 &&
              offsetof(TVersionInfoRec, build) == 786);

// Key in the resource and label in the window of each record string, by index.
struct VersionStringField {
    const char* key;    // "CompanyName"
    const char* label;  // "Company name"
};
const std::array<VersionStringField, kVersionStringCount>& VersionStringFields();
// Index of a string given by its key or its label (ASCII case ignored), or -1.
int FindVersionString(std::string_view keyOrLabel);
// How many characters of the string at `index` the version resource can hold.
std::size_t VersionStringRoom(int index);

// What the window shows: the strings as the user typed them (UTF-8) and the
// values of the four spin fields (major, minor, release, build).
struct VersionInfoValues {
    std::array<std::string, kVersionStringCount> strings;
    std::array<int, 4> numbers{};
};
// The window's defaults: version 1.0.0.0, "File description" filled in.
VersionInfoValues DefaultVersionInfoValues();

// Fills the record from the window's values: each text converted to
// Windows-1252 and cut to 64 characters, each number stored as its low 16 bits.
void SetVersionInfoRec(TVersionInfoRec& rec, const VersionInfoValues& values);
// The window's values of a record (a length byte above 64 counts as 64).
VersionInfoValues GetVersionInfoRec(const TVersionInfoRec& rec);

// Layout of the string entries in the version block. FixedSlots, what every
// build writes, pads every string to a 136-byte slot so that the block is
// always 1784 bytes. Compact gives every string the length of its own text,
// as resource compilers do (some third-party readers accept nothing else).
// Both have the same header, fixed information and the same room per value;
// when every value fills its room they differ only in the value length fields.
enum class VersionBlockLayout { Compact, FixedSlots };
inline constexpr std::size_t kFixedVersionBlockSize = 1784;

// The version block (VS_VERSIONINFO) of a record, language 0x0409, code page 1252.
std::vector<std::uint8_t> BuildVersionBlock(const TVersionInfoRec& rec,
                                            VersionBlockLayout layout = VersionBlockLayout::FixedSlots);

// Stores the record's version block as resource type 16, name 1, language 1033
// of the executable, keeping its other resources. Returns false, leaving the
// file unchanged, when the file could not be updated; raises no errors.
bool WriteVersionResource(const std::string& fileName, const TVersionInfoRec& rec,
                          VersionBlockLayout layout = VersionBlockLayout::FixedSlots);

}  // namespace vs
