#pragma once
// The version information of a projector: the fixed-size record in which the
// window hands over its twelve version strings and four numbers (also stored
// whole in project files), and the version resource built from it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
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
// file unchanged, when the file could not be read, rewritten or written;
// raises no errors.
bool WriteVersionResource(const std::string& fileName, const TVersionInfoRec& rec,
                          VersionBlockLayout layout = VersionBlockLayout::FixedSlots);

// ------------------------------------------------------------ reading version blocks

#pragma pack(push, 1)
struct VersionFixedInfo {  // VS_FIXEDFILEINFO
    std::uint32_t signature;  // 0xFEEF04BD
    std::uint32_t structVersion;
    std::uint32_t fileVersionMS, fileVersionLS;
    std::uint32_t productVersionMS, productVersionLS;
    std::uint32_t fileFlagsMask, fileFlags;
    std::uint32_t fileOS, fileType, fileSubtype;
    std::uint32_t fileDateMS, fileDateLS;
};
#pragma pack(pop)
static_assert(sizeof(VersionFixedInfo) == 52);
inline constexpr std::uint32_t kVersionFixedSignature = 0xFEEF04BD;

// One string table of the "StringFileInfo" part: its key ("040904E4") and its
// strings in stored order, as UTF-8.
struct VersionStringTable {
    std::string key;
    std::vector<std::pair<std::string, std::string>> strings;
};
struct VersionTranslation {
    std::uint16_t language = 0, codePage = 0;
    bool operator==(const VersionTranslation&) const = default;
};
// What a version block holds.
struct VersionBlockContents {
    std::optional<VersionFixedInfo> fixed;  // when the root's value is one
    std::vector<VersionStringTable> stringTables;
    std::vector<VersionTranslation> translations;  // of "VarFileInfo" / "Translation"
};

inline constexpr const char* kInvalidVersionBlock = "Version information is not valid";

// Reads a version block of any layout: the fixed layout that builds carry
// (value lengths that count the slot's room, a value ending at its first zero)
// as well as what resource compilers write. A length that runs past its parent
// is cut to it and a node too short for its own header ends its list, so that
// nothing outside the block is read; nesting deeper than four levels is not
// followed. Fails with EExeError "Version information is not valid" when the
// block cannot hold the header of its root.
VersionBlockContents ReadVersionBlock(std::span<const std::uint8_t> block);

}  // namespace vs
