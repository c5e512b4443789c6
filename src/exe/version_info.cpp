#include "exe/version_info.h"

#include <bit>
#include <cstring>
#include <exception>

#include "exe/resource_updater.h"
#include "platform/ascii.h"
#include "platform/cp1252.h"

namespace vs {

// The record is copied to and from files as it lies in memory.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr std::array<VersionStringField, kVersionStringCount> kFields = {{
    {"Comments", "Comments"},
    {"CompanyName", "Company name"},
    {"FileDescription", "File description"},
    {"FileVersion", "File version"},
    {"InternalName", "Internal name"},
    {"LegalCopyright", "Legal copyright"},
    {"LegalTrademarks", "Legal trademarks"},
    {"OriginalFilename", "Original filename"},
    {"PrivateBuild", "Private build"},
    {"ProductName", "Product name"},
    {"ProductVersion", "Product version"},
    {"SpecialBuild", "Special build"},
}};

constexpr std::size_t kSlotSize = 136;
constexpr std::size_t kStringTableStart = 152;

// Where the value starts in a string entry: the 6-byte entry header, the key
// and its zero, aligned to 4 bytes.
std::size_t valueStart(std::size_t keyLength) { return (6 + 2 * keyLength + 2 + 3) & ~std::size_t{3}; }

class BlockWriter {
public:
    explicit BlockWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void u16(std::size_t at, std::uint16_t v) {
        grow(at + 2);
        out_[at] = static_cast<std::uint8_t>(v);
        out_[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    void u32(std::size_t at, std::uint32_t v) {
        u16(at, static_cast<std::uint16_t>(v));
        u16(at + 2, static_cast<std::uint16_t>(v >> 16));
    }
    // UTF-16 code units and a terminating zero.
    void text(std::size_t at, std::u16string_view s) {
        for (std::size_t i = 0; i < s.size(); ++i) u16(at + 2 * i, s[i]);
        u16(at + 2 * s.size(), 0);
    }
    void ascii(std::size_t at, std::string_view s) { text(at, std::u16string(s.begin(), s.end())); }
    void grow(std::size_t size) {
        if (out_.size() < size) out_.resize(size, 0);
    }

private:
    std::vector<std::uint8_t>& out_;
};

}  // namespace

const std::array<VersionStringField, kVersionStringCount>& VersionStringFields() { return kFields; }

int FindVersionString(std::string_view keyOrLabel) {
    for (int i = 0; i < kVersionStringCount; ++i)
        if (SameText(keyOrLabel, kFields[i].key) || SameText(keyOrLabel, kFields[i].label)) return i;
    return -1;
}

std::size_t VersionStringRoom(int index) {
    // Between the value's start and the last two bytes (the zero) of a 136-byte slot.
    return (kSlotSize - 2 - valueStart(std::strlen(kFields[index].key))) / 2;
}

VersionInfoValues DefaultVersionInfoValues() {
    VersionInfoValues v;
    v.strings[2] = "VexelSCREEN Flash Projector File";
    v.numbers = {1, 0, 0, 0};
    return v;
}

void SetVersionInfoRec(TVersionInfoRec& rec, const VersionInfoValues& values) {
    std::memset(&rec, 0, sizeof rec);
    for (int i = 0; i < kVersionStringCount; ++i) {
        std::string ansi = AnsiString::FromUtf8(values.strings[i]).bytes();
        if (ansi.size() > 255) ansi.resize(255);
        if (ansi.size() > kVersionStringMax) ansi.resize(kVersionStringMax);
        rec.strings[i].length = static_cast<std::uint8_t>(ansi.size());
        std::memcpy(rec.strings[i].text, ansi.data(), ansi.size());
    }
    // Low 16 bits: 65536 becomes 0, -1 becomes 65535.
    auto low16 = [](int v) { return static_cast<std::uint16_t>(static_cast<unsigned>(v)); };
    rec.major = low16(values.numbers[0]);
    rec.minor = low16(values.numbers[1]);
    rec.release = low16(values.numbers[2]);
    rec.build = low16(values.numbers[3]);
}

VersionInfoValues GetVersionInfoRec(const TVersionInfoRec& rec) {
    VersionInfoValues v;
    for (int i = 0; i < kVersionStringCount; ++i) {
        std::size_t n = rec.strings[i].length;
        if (n > kVersionStringMax) n = kVersionStringMax;
        v.strings[i] = AnsiString::FromBytes(std::string_view(rec.strings[i].text, n)).ToUtf8();
    }
    v.numbers = {rec.major, rec.minor, rec.release, rec.build};
    return v;
}

std::vector<std::uint8_t> BuildVersionBlock(const TVersionInfoRec& rec, VersionBlockLayout layout) {
    std::vector<std::uint8_t> block;
    BlockWriter w(block);
    w.grow(kStringTableStart);

    // VS_VERSIONINFO header and the fixed file information.
    w.u16(2, 52);
    w.ascii(6, "VS_VERSION_INFO");
    w.u32(40, 0xFEEF04BD);
    w.u32(44, 0x00010000);
    w.u32(48, (std::uint32_t{rec.major} << 16) | rec.minor);
    w.u32(52, (std::uint32_t{rec.release} << 16) | rec.build);
    w.u32(56, 0x00010000);  // product version 1.0.0.0, whatever the file version
    w.u32(60, 0);
    w.u32(64, 0x3F);
    w.u32(68, 0);
    w.u32(72, 4);  // 32-bit Windows
    w.u32(76, 1);  // application
    // StringFileInfo and its one string table: language 0x0409, code page 1252.
    w.ascii(98, "StringFileInfo");
    w.ascii(134, "040904E4");

    std::size_t at = kStringTableStart;
    for (int i = 0; i < kVersionStringCount; ++i) {
        const std::string_view key = kFields[i].key;
        const std::size_t start = valueStart(key.size());
        const std::size_t n = rec.strings[i].length > kVersionStringMax ? kVersionStringMax : rec.strings[i].length;
        std::u16string value = AnsiString::FromBytes(std::string_view(rec.strings[i].text, n)).ToUtf16();
        if (value.size() > VersionStringRoom(i)) value.resize(VersionStringRoom(i));

        std::size_t length;
        std::uint16_t valueLength;
        if (layout == VersionBlockLayout::FixedSlots) {
            length = kSlotSize;
            // The whole room counted in 16-bit units, as older writers did.
            valueLength = static_cast<std::uint16_t>(key.size() % 2 ? 64 - key.size() : 64 - key.size() - 1);
        } else {
            length = start + ((2 * value.size() + 2 + 3) & ~std::size_t{3});
            valueLength = static_cast<std::uint16_t>(value.size() + 1);
        }
        w.grow(at + length);
        w.u16(at, static_cast<std::uint16_t>(length));
        w.u16(at + 2, valueLength);
        w.u16(at + 4, 1);
        w.ascii(at + 6, key);
        w.text(at + start, value);
        at += length;
    }

    const auto total = static_cast<std::uint16_t>(block.size());
    w.u16(0, total);
    w.u16(92, static_cast<std::uint16_t>(total - 92));
    w.u16(128, static_cast<std::uint16_t>(total - 128));
    return block;
}

bool WriteVersionResource(const std::string& fileName, const TVersionInfoRec& rec, VersionBlockLayout layout) {
    try {
        std::vector<std::uint8_t> block = BuildVersionBlock(rec, layout);
        return UpdateResource(fileName, ResourceId::Number(RT_VERSION_ID), ResourceId::Number(1), LANG_EN_US, block);
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace vs
