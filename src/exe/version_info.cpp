#include "exe/version_info.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "exe/resource_updater.h"
#include "platform/ascii.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
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

// Where the value starts in a string entry: the 6-byte entry header, the key
// and its zero, aligned to 4 bytes.
std::size_t valueStart(std::size_t keyLength) { return (6 + 2 * keyLength + 2 + 3) & ~std::size_t{3}; }

// The header of every node of a version block: its length (children
// included), the length of its value and its type (1 text, 0 binary); the key
// follows, then the value and the children, each on a 4-byte boundary.
#pragma pack(push, 1)
struct VersionNodeHeader {
    std::uint16_t length;
    std::uint16_t valueLength;
    std::uint16_t type;
};
#pragma pack(pop)
static_assert(sizeof(VersionNodeHeader) == 6);

// Starts a node: its header with the length still 0, the key and its zero,
// aligned. Returns where the node starts, for the length put in later.
std::size_t beginNode(ByteWriter& w, std::uint16_t valueLength, std::uint16_t type, std::string_view key) {
    const std::size_t start = w.size();
    w.record(VersionNodeHeader{0, valueLength, type});
    w.utf16(std::u16string(key.begin(), key.end()));
    w.u16(0);
    w.alignTo(4);
    return start;
}
void endNode(ByteWriter& w, std::size_t start) { w.putU16(start, static_cast<std::uint16_t>(w.size() - start)); }

// A node read from a block: `value` and the children lie inside the block.
struct VersionNode {
    std::u16string key;
    std::uint16_t type = 0;
    Bytes value;
    std::vector<VersionNode> children;
};

constexpr int kMaxVersionDepth = 4;
std::size_t align4(std::size_t v) { return (v + 3) & ~std::size_t{3}; }

// Reads the node at `start`, which must end by `limit`, and gives its length.
std::optional<VersionNode> readNode(Bytes block, std::size_t start, std::size_t limit, int depth, std::size_t& length) {
    if (depth > kMaxVersionDepth || !fitsIn(start, sizeof(VersionNodeHeader), limit)) return std::nullopt;
    ByteReader in(block.first(limit));
    in.seek(start);
    const auto header = in.read<VersionNodeHeader>();
    length = header.length;
    if (length < sizeof(VersionNodeHeader)) return std::nullopt;
    const std::size_t end = std::min(limit, start + length);
    VersionNode node;
    node.type = header.type;
    while (in.position() + 2 <= end) {
        const auto c = static_cast<char16_t>(in.u16());
        if (c == 0) break;
        node.key.push_back(c);
    }
    const std::size_t valueAt = std::min(align4(in.position()), end);
    const std::size_t valueBytes =
        std::min<std::size_t>(header.type == 1 ? 2u * header.valueLength : header.valueLength, end - valueAt);
    node.value = block.subspan(valueAt, valueBytes);
    // Every child is at least a header long, so the walk moves on each time.
    std::size_t at = align4(valueAt + valueBytes);
    while (at + sizeof(VersionNodeHeader) <= end) {
        std::size_t childLength = 0;
        auto child = readNode(block, at, end, depth + 1, childLength);
        if (!child) break;
        node.children.push_back(std::move(*child));
        at = align4(at + childLength);
    }
    return node;
}

// A text value up to its first zero.
std::string textOf(Bytes value) {
    ByteReader in(value);
    std::u16string s;
    while (in.remaining() >= 2) {
        const auto c = static_cast<char16_t>(in.u16());
        if (c == 0) break;
        s.push_back(c);
    }
    return Utf16ToUtf8(s);
}

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
    ByteWriter w;
    w.reserve(kFixedVersionBlockSize);

    // VS_VERSIONINFO and the fixed file information.
    const std::size_t root = beginNode(w, sizeof(VersionFixedInfo), 0, "VS_VERSION_INFO");
    VersionFixedInfo fixed{};
    fixed.signature = kVersionFixedSignature;
    fixed.structVersion = 0x00010000;
    fixed.fileVersionMS = (std::uint32_t{rec.major} << 16) | rec.minor;
    fixed.fileVersionLS = (std::uint32_t{rec.release} << 16) | rec.build;
    fixed.productVersionMS = 0x00010000;  // product version 1.0.0.0, whatever the file version
    fixed.fileFlagsMask = 0x3F;
    fixed.fileOS = 4;    // 32-bit Windows
    fixed.fileType = 1;  // application
    w.record(fixed);
    // StringFileInfo and its one string table: language 0x0409, code page 1252.
    const std::size_t stringInfo = beginNode(w, 0, 0, "StringFileInfo");
    const std::size_t table = beginNode(w, 0, 0, "040904E4");

    for (int i = 0; i < kVersionStringCount; ++i) {
        const std::string_view key = kFields[i].key;
        const std::size_t n = rec.strings[i].length > kVersionStringMax ? kVersionStringMax : rec.strings[i].length;
        std::u16string value = AnsiString::FromBytes(std::string_view(rec.strings[i].text, n)).ToUtf16();
        if (value.size() > VersionStringRoom(i)) value.resize(VersionStringRoom(i));

        // FixedSlots counts the whole room in 16-bit units, as older writers did.
        const auto valueLength = static_cast<std::uint16_t>(
            layout == VersionBlockLayout::FixedSlots ? (key.size() % 2 ? 64 - key.size() : 64 - key.size() - 1)
                                                     : value.size() + 1);
        const std::size_t slot = beginNode(w, valueLength, 1, key);
        w.utf16(value);
        w.u16(0);
        if (layout == VersionBlockLayout::FixedSlots)
            w.zeros(slot + kSlotSize - w.size());
        else
            w.alignTo(4);
        endNode(w, slot);
    }
    endNode(w, table);
    endNode(w, stringInfo);
    endNode(w, root);
    return w.take();
}

bool WriteVersionResource(const std::string& fileName, const TVersionInfoRec& rec, VersionBlockLayout layout) {
    const std::vector<std::uint8_t> block = BuildVersionBlock(rec, layout);
    try {
        UpdateResource(fileName, ResourceId::Number(RT_VERSION_ID), ResourceId::Number(1), LANG_EN_US, block);
        return true;
    } catch (const EExeError&) {
        return false;  // not an executable, or one that cannot be rewritten safely
    } catch (const EStreamError&) {
        return false;  // the file cannot be read, or the result cannot be written
    }
}

VersionBlockContents ReadVersionBlock(std::span<const std::uint8_t> block) {
    std::size_t length = 0;
    const auto root = readNode(block, 0, block.size(), 0, length);
    if (!root) throw EExeError(kInvalidVersionBlock);
    VersionBlockContents out;
    if (root->value.size() >= sizeof(VersionFixedInfo)) {
        const auto fixed = ByteReader(root->value).read<VersionFixedInfo>();
        if (fixed.signature == kVersionFixedSignature) out.fixed = fixed;
    }
    for (const VersionNode& part : root->children) {
        if (part.key == u"StringFileInfo") {
            for (const VersionNode& table : part.children) {
                VersionStringTable t{Utf16ToUtf8(table.key), {}};
                for (const VersionNode& s : table.children) t.strings.push_back({Utf16ToUtf8(s.key), textOf(s.value)});
                out.stringTables.push_back(std::move(t));
            }
        } else if (part.key == u"VarFileInfo") {
            for (const VersionNode& var : part.children) {
                if (var.key != u"Translation") continue;
                ByteReader pairs(var.value);
                while (pairs.remaining() >= 4) {
                    const std::uint16_t language = pairs.u16();
                    out.translations.push_back({language, pairs.u16()});
                }
            }
        }
    }
    return out;
}

}  // namespace vs
