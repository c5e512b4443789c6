// The version record and the version block built from it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "exe/exe_image.h"
#include "exe/version_info.h"
#include "platform/atomic_file.h"
#include "platform/cp1252.h"
#include "platform/stream.h"
#include "support/pe_builder.h"

namespace vs {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i < hex.size();) {
        if (hex[i] == ' ' || hex[i] == '\n') { ++i; continue; }
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return out;
}
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes Slice(const Bytes& b, std::size_t at, std::size_t n) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
}
std::uint16_t U16At(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8); }
std::uint32_t U32At(const Bytes& b, std::size_t at) { return U16At(b, at) | std::uint32_t{U16At(b, at + 2)} << 16; }
Bytes Utf16(const std::string& ascii) {
    Bytes out;
    for (char c : ascii) { out.push_back(static_cast<std::uint8_t>(c)); out.push_back(0); }
    return out;
}

TVersionInfoRec Rec(const VersionInfoValues& v) {
    TVersionInfoRec rec;
    SetVersionInfoRec(rec, v);
    return rec;
}
VersionInfoValues Empty(int major, int minor, int release, int build) {
    VersionInfoValues v;
    v.numbers = {major, minor, release, build};
    return v;
}

// The block's first 152 bytes for version 1.0.0.0 and empty strings, compact
// entries: 608 bytes in all.
const char* kHeader1000 =
    "6002 3400 0000"
    "5600 5300 5f00 5600 4500 5200 5300 4900 4f00 4e00 5f00 4900 4e00 4600 4f00 0000"
    "0000"
    "bd04effe 00000100 00000100 00000000 00000100 00000000 3f000000 00000000"
    "04000000 01000000 00000000 0000000000000000"
    "0402 0000 0000"
    "5300 7400 7200 6900 6e00 6700 4600 6900 6c00 6500 4900 6e00 6600 6f00 0000"
    "e001 0000 0000"
    "3000 3400 3000 3900 3000 3400 4500 3400 0000";

TEST(VersionRecord, SetCutsTextsAndKeepsLow16BitsOfNumbers) {
    VersionInfoValues v = Empty(70000, -1, 65536, 300);
    v.strings[0] = std::string(70, 'x');
    v.strings[1] = "Caf\xC3\xA9 \xE2\x82\xAC";  // "Café €": é and € exist in 1252
    TVersionInfoRec rec = Rec(v);
    EXPECT_EQ(rec.strings[0].length, 64);
    EXPECT_EQ(std::string(rec.strings[0].text, 64), std::string(64, 'x'));
    EXPECT_EQ(rec.strings[1].length, 6);
    EXPECT_EQ(std::string(rec.strings[1].text, 6), "Caf\xE9 \x80");
    EXPECT_EQ(rec.strings[2].length, 0);
    EXPECT_EQ(rec.major, 4464);
    EXPECT_EQ(rec.minor, 65535);
    EXPECT_EQ(rec.release, 0);
    EXPECT_EQ(rec.build, 300);

    // Raw bytes: length byte, text; numbers little-endian at 780.
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&rec);
    EXPECT_EQ(raw[65], 6);
    EXPECT_EQ(raw[66], 'C');
    EXPECT_EQ(Bytes(raw + 780, raw + 788), Hex("7011 ffff 0000 2c01"));

    // A character that the code page lacks is refused, not replaced.
    v.strings[1] = "Caf\xC3\xA9 \xE4\xB8\xAD";
    EXPECT_THROW(Rec(v), ETextEncodingError);
}

TEST(VersionRecord, GetReadsBackAndCapsTheLengthByte) {
    VersionInfoValues v = DefaultVersionInfoValues();
    v.strings[1] = "Caf\xC3\xA9";
    v.numbers = {2, 5, 1, 300};
    TVersionInfoRec rec = Rec(v);
    VersionInfoValues back = GetVersionInfoRec(rec);
    EXPECT_EQ(back.strings, v.strings);
    EXPECT_EQ(back.numbers, v.numbers);

    rec.strings[0].length = 200;  // damaged project file
    std::memset(rec.strings[0].text, 'a', 64);
    EXPECT_EQ(GetVersionInfoRec(rec).strings[0], std::string(64, 'a'));
}

TEST(VersionRecord, FindsStringsByKeyOrLabel) {
    EXPECT_EQ(FindVersionString("FileVersion"), 3);
    EXPECT_EQ(FindVersionString("file version"), 3);
    EXPECT_EQ(FindVersionString("LEGALCOPYRIGHT"), 5);
    EXPECT_EQ(FindVersionString("Legal copyright"), 5);
    EXPECT_EQ(FindVersionString("Copyright"), -1);
    const std::size_t rooms[] = {55, 51, 47, 51, 51, 49, 47, 47, 51, 51, 49, 51};
    for (int i = 0; i < kVersionStringCount; ++i) EXPECT_EQ(VersionStringRoom(i), rooms[i]) << i;
}

TEST(VersionBlock, BuildsCarryTheFixedLayout) {
    Bytes b = BuildVersionBlock(Rec(Empty(1, 0, 0, 0)));
    ASSERT_EQ(b.size(), kFixedVersionBlockSize);
    EXPECT_EQ(U32At(b, 48), 0x00010000u);
    EXPECT_EQ(U32At(b, 52), 0u);
    EXPECT_EQ(U32At(b, 56), 0x00010000u);
    EXPECT_EQ(U32At(b, 60), 0u);
    // Twelve slots holding only their keys.
    for (int i = 0; i < kVersionStringCount; ++i) {
        const std::string key = VersionStringFields()[i].key;
        const std::size_t at = 152 + 136 * static_cast<std::size_t>(i);
        EXPECT_EQ(Slice(b, at + 6, 2 * key.size()), Utf16(key));
        const std::size_t valueStart = 6 + 2 * key.size() + 2 + (key.size() % 2 ? 2 : 0);
        EXPECT_EQ(Slice(b, at + valueStart, 136 - valueStart), Bytes(136 - valueStart, 0)) << key;
    }
}

TEST(VersionBlock, EmptyStringsVersion1000Compact) {
    Bytes b = BuildVersionBlock(Rec(Empty(1, 0, 0, 0)), VersionBlockLayout::Compact);
    ASSERT_EQ(b.size(), 608u);
    EXPECT_EQ(Slice(b, 0, 152), Hex(kHeader1000));
    // "Comments": length 28, one value unit (its zero), text type, key, empty value.
    EXPECT_EQ(Slice(b, 152, 28), Hex("1c00 0100 0100 4300 6f00 6d00 6d00 6500 6e00 7400 7300 0000 00000000"));
    // "CompanyName" (odd key length): the key is followed by an alignment zero.
    EXPECT_EQ(Slice(b, 180, 36), Hex("2400 0100 0100") + Utf16("CompanyName") + Hex("0000 0000 00000000"));
    // Twelve entries holding only keys, ending exactly at the block's end.
    std::size_t at = 152;
    for (int i = 0; i < kVersionStringCount; ++i) {
        const std::string key = VersionStringFields()[i].key;
        EXPECT_EQ(Slice(b, at + 6, 2 * key.size()), Utf16(key));
        EXPECT_EQ(U16At(b, at + 2), 1);
        at += U16At(b, at);
    }
    EXPECT_EQ(at, b.size());
}

TEST(VersionBlock, VersionNumbers) {
    Bytes b = BuildVersionBlock(Rec(Empty(2, 5, 1, 300)));
    EXPECT_EQ(U32At(b, 48), 0x00020005u);
    EXPECT_EQ(U32At(b, 52), 0x0001012Cu);
    EXPECT_EQ(U32At(b, 56), 0x00010000u);
    EXPECT_EQ(U32At(b, 60), 0u);
}

TEST(VersionBlock, ValuesAreCutToTheirRoomCompact) {
    VersionInfoValues v = Empty(1, 0, 0, 0);
    std::string sixtyFour;
    for (int i = 0; i < 64; ++i) sixtyFour += static_cast<char>('0' + i % 10);
    v.strings[0] = sixtyFour;  // Comments: room 55
    v.strings[3] = sixtyFour;  // FileVersion: room 51
    v.strings[1] = "\xE2\x82\xAC";  // € becomes U+20AC
    Bytes b = BuildVersionBlock(Rec(v), VersionBlockLayout::Compact);

    // Comments: 24 + 55 * 2 + 2 = 136, value length 56 units with its zero.
    EXPECT_EQ(U16At(b, 152), 136);
    EXPECT_EQ(U16At(b, 154), 56);
    EXPECT_EQ(Slice(b, 152 + 24, 112), Utf16(sixtyFour.substr(0, 55)) + Hex("0000"));
    // CompanyName follows with the euro sign.
    EXPECT_EQ(Slice(b, 288, 36), Hex("2400 0200 0100") + Utf16("CompanyName") + Hex("0000 0000 ac20 0000"));
    // FileDescription is empty (40 + 4 bytes), then FileVersion holds 51 characters.
    const std::size_t fileVersion = 288 + 36 + 44;
    EXPECT_EQ(Slice(b, fileVersion + 6, 22), Utf16("FileVersion"));
    EXPECT_EQ(U16At(b, fileVersion), 136);
    EXPECT_EQ(Slice(b, fileVersion + 32, 104), Utf16(sixtyFour.substr(0, 51)) + Hex("0000"));
}

TEST(VersionBlock, FixedSlotsLayoutIs1784Bytes) {
    VersionInfoValues v = Empty(1, 0, 0, 0);
    v.strings[1] = "Acme";
    Bytes b = BuildVersionBlock(Rec(v), VersionBlockLayout::FixedSlots);
    ASSERT_EQ(b.size(), kFixedVersionBlockSize);
    Bytes header = Hex(kHeader1000);
    header[0] = 0xF8, header[1] = 0x06;    // 1784
    header[92] = 0x9C, header[93] = 0x06;  // 1692
    header[128] = 0x78, header[129] = 0x06;  // 1656
    EXPECT_EQ(Slice(b, 0, 152), header);
    // Slot 2 (CompanyName, odd key): 136, value length 53, type 1, key, alignment zero, value, zeros.
    Bytes slot = Hex("8800 3500 0100") + Utf16("CompanyName") + Hex("0000 0000") + Utf16("Acme");
    slot.resize(136, 0);
    EXPECT_EQ(Slice(b, 152 + 136, 136), slot);
    const std::uint16_t valueLengths[] = {55, 53, 49, 53, 51, 49, 49, 47, 51, 53, 49, 51};
    for (int i = 0; i < kVersionStringCount; ++i) {
        EXPECT_EQ(U16At(b, 152 + 136 * i), 136);
        EXPECT_EQ(U16At(b, 152 + 136 * i + 2), valueLengths[i]) << i;
    }
}

TEST(VersionBlock, LayoutsMeetWhenEveryValueFillsItsRoom) {
    VersionInfoValues v = Empty(3, 4, 5, 6);
    for (auto& s : v.strings) s = std::string(64, 'w');
    Bytes compact = BuildVersionBlock(Rec(v), VersionBlockLayout::Compact);
    Bytes fixed = BuildVersionBlock(Rec(v), VersionBlockLayout::FixedSlots);
    ASSERT_EQ(compact.size(), kFixedVersionBlockSize);
    for (int i = 0; i < kVersionStringCount; ++i) {
        const std::size_t at = 152 + 136 * i + 2;
        EXPECT_EQ(U16At(compact, at), VersionStringRoom(i) + 1);
        compact[at] = fixed[at], compact[at + 1] = fixed[at + 1];
    }
    EXPECT_EQ(compact, fixed);
}

// ------------------------------------------------------------ reading blocks

// The 1784-byte block of a build, put together by hand: the header of
// kHeader1000 with the lengths of the fixed layout, then twelve 136-byte slots.
Bytes FixedBlockByHand(const std::vector<std::string>& values) {
    Bytes b = Hex(kHeader1000);
    b[0] = 0xF8, b[1] = 0x06;      // 1784
    b[92] = 0x9C, b[93] = 0x06;    // 1692
    b[128] = 0x78, b[129] = 0x06;  // 1656
    for (int i = 0; i < kVersionStringCount; ++i) {
        const std::string key = VersionStringFields()[i].key;
        const auto room = static_cast<std::uint8_t>(key.size() % 2 ? 64 - key.size() : 63 - key.size());
        Bytes slot = Hex("8800") + Bytes{room, 0} + Hex("0100") + Utf16(key) + Hex("0000");
        if (key.size() % 2) slot = slot + Hex("0000");
        if (static_cast<std::size_t>(i) < values.size()) slot = slot + Utf16(values[static_cast<std::size_t>(i)]);
        slot.resize(136, 0);
        b = b + slot;
    }
    return b;
}

TEST(VersionBlockReader, ReadsTheFixedLayoutThatBuildsCarry) {
    const Bytes block = FixedBlockByHand({"A comment", "Acme"});
    ASSERT_EQ(block.size(), kFixedVersionBlockSize);
    VersionInfoValues v = Empty(1, 0, 0, 0);
    v.strings[0] = "A comment";
    v.strings[1] = "Acme";
    EXPECT_EQ(BuildVersionBlock(Rec(v)), block);

    const VersionBlockContents c = ReadVersionBlock(block);
    ASSERT_TRUE(c.fixed);
    EXPECT_EQ(c.fixed->fileVersionMS, 0x00010000u);
    EXPECT_EQ(c.fixed->productVersionMS, 0x00010000u);
    EXPECT_EQ(c.fixed->fileOS, 4u);
    ASSERT_EQ(c.stringTables.size(), 1u);
    EXPECT_EQ(c.stringTables[0].key, "040904E4");
    ASSERT_EQ(c.stringTables[0].strings.size(), 12u);
    // Value lengths count the room; the value ends at its first zero.
    EXPECT_EQ(c.stringTables[0].strings[0], (std::pair<std::string, std::string>{"Comments", "A comment"}));
    EXPECT_EQ(c.stringTables[0].strings[1], (std::pair<std::string, std::string>{"CompanyName", "Acme"}));
    EXPECT_EQ(c.stringTables[0].strings[11], (std::pair<std::string, std::string>{"SpecialBuild", ""}));
    EXPECT_TRUE(c.translations.empty());
}

TEST(VersionBlockReader, ReadsTheCompactLayoutAndTranslations) {
    test::VersionSpec spec;
    spec.fileVersion[0] = 2, spec.fileVersion[1] = 5, spec.fileVersion[2] = 1, spec.fileVersion[3] = 300;
    spec.strings = {{"FileDescription", "Engine"}, {"CompanyName", "Vexel"}};
    spec.language = 1031;
    const VersionBlockContents c = ReadVersionBlock(test::MakeVersionBlock(spec));
    ASSERT_TRUE(c.fixed);
    EXPECT_EQ(c.fixed->fileVersionMS, 0x00020005u);
    EXPECT_EQ(c.fixed->fileVersionLS, 0x0001012Cu);
    ASSERT_EQ(c.stringTables.size(), 1u);
    EXPECT_EQ(c.stringTables[0].key, "040704E4");
    EXPECT_EQ(c.stringTables[0].strings,
              (std::vector<std::pair<std::string, std::string>>{{"FileDescription", "Engine"}, {"CompanyName", "Vexel"}}));
    EXPECT_EQ(c.translations, (std::vector<VersionTranslation>{{1031, 1252}}));

    // The compact layout this program writes, with a character beyond ASCII.
    VersionInfoValues v = Empty(1, 0, 0, 0);
    v.strings[1] = "Caf\xC3\xA9";
    const VersionBlockContents mine = ReadVersionBlock(BuildVersionBlock(Rec(v), VersionBlockLayout::Compact));
    ASSERT_EQ(mine.stringTables.size(), 1u);
    EXPECT_EQ(mine.stringTables[0].strings[1].second, "Caf\xC3\xA9");
}

TEST(VersionBlockReader, CutAndDamagedBlocksAreReadOnlyInside) {
    const Bytes block = FixedBlockByHand({"A comment", "Acme"});
    // Cut inside the second slot's value: what is there is read, nothing more.
    Bytes cut(block.begin(), block.begin() + 152 + 136 + 40);
    VersionBlockContents c = ReadVersionBlock(cut);
    ASSERT_EQ(c.stringTables.size(), 1u);
    EXPECT_EQ(c.stringTables[0].strings,
              (std::vector<std::pair<std::string, std::string>>{{"Comments", "A comment"}, {"CompanyName", "Acme"}}));
    // Cut inside the fixed information: no fixed information, no strings.
    c = ReadVersionBlock(Bytes(block.begin(), block.begin() + 60));
    EXPECT_FALSE(c.fixed);
    EXPECT_TRUE(c.stringTables.empty());

    // A slot of length 0 ends the table; one that claims more than its
    // parent is cut to it.
    Bytes damaged = block;
    damaged[152 + 2 * 136] = 0, damaged[152 + 2 * 136 + 1] = 0;
    c = ReadVersionBlock(damaged);
    EXPECT_EQ(c.stringTables[0].strings.size(), 2u);
    damaged = block;
    damaged[152 + 11 * 136] = 0xFF, damaged[152 + 11 * 136 + 1] = 0xFF;
    c = ReadVersionBlock(damaged);
    EXPECT_EQ(c.stringTables[0].strings.size(), 12u);
    // A key without its zero runs to the end of its node, not beyond.
    damaged = block;
    for (std::size_t i = 152 + 6; i < 152 + 136; ++i) damaged[i] = i % 2 ? 0 : 'x';
    c = ReadVersionBlock(damaged);
    EXPECT_EQ(c.stringTables[0].strings[0].first, std::string(65, 'x'));
    EXPECT_EQ(c.stringTables[0].strings[0].second, "");

    // Too short for the root's header, or a root shorter than one.
    for (const Bytes& bad : {Bytes{}, Bytes{0xF8, 0x06, 0x34, 0x00}, Hex("0400 0000 0000 0000")}) {
        try {
            ReadVersionBlock(bad);
            ADD_FAILURE() << bad.size();
        } catch (const EExeError& e) {
            EXPECT_STREQ(e.what(), "Version information is not valid");
        }
    }
}

TEST(VersionResource, MissingFileGivesFalse) {
    TVersionInfoRec rec = Rec(DefaultVersionInfoValues());
    EXPECT_FALSE(WriteVersionResource("/nonexistent/dir/file.exe", rec));
}

// The languages of the version resource (type 16, name 1) of a file.
std::vector<TResourceLanguage> VersionLanguages(TExeImage& image) {
    TResourceList& root = image.ResourceTree();
    for (int i = 0; i < root.Count(); ++i)
        if (!root.Items(i).IsNamed() && root.Items(i).Id() == 16) {
            TResourceList& names = root.Items(i).Children();
            for (int k = 0; k < names.Count(); ++k)
                if (names.Items(k).Id() == 1) return names.Items(k).Languages();
        }
    return {};
}

TEST(VersionResource, ReplacesItsOwnLanguageAndKeepsAnother) {
    const std::string exe = ::testing::TempDir() + "vs_version_resource.exe";
    test::VersionSpec german;
    german.language = 1031;
    test::PeBuilder()
        .Version(test::VersionSpec{})
        .Version(german)
        .IconImage(1, test::MakeIconImage(32, 32, 8, 1))
        .IconGroup(1, {1})
        .Write(exe);

    VersionInfoValues v = DefaultVersionInfoValues();
    v.numbers = {2, 5, 1, 300};
    v.strings[1] = "Acme";
    const TVersionInfoRec rec = Rec(v);
    ASSERT_TRUE(WriteVersionResource(exe, rec));

    TExeImage image(exe);
    auto languages = VersionLanguages(image);
    ASSERT_EQ(languages.size(), 2u);
    const Bytes german0 = test::MakeVersionBlock(german);
    for (const TResourceLanguage& l : languages) {
        Bytes data(l.pointer, l.pointer + l.size);
        if (l.language == 1033) EXPECT_EQ(data, BuildVersionBlock(rec));
        else EXPECT_EQ(data, german0);
    }
    std::remove(exe.c_str());
}

TEST(VersionResource, AddsOneWhereThereWasNone) {
    const std::string exe = ::testing::TempDir() + "vs_version_added.exe";
    test::PeBuilder().IconImage(1, test::MakeIconImage(32, 32, 8, 1)).IconGroup(1, {1}).Write(exe);
    const TVersionInfoRec rec = Rec(Empty(1, 0, 0, 0));
    ASSERT_TRUE(WriteVersionResource(exe, rec));
    {
        // A mapped file cannot be replaced on Windows: the image goes first.
        TExeImage image(exe);
        auto languages = VersionLanguages(image);
        ASSERT_EQ(languages.size(), 1u);
        EXPECT_EQ(languages[0].language, 1033);
        EXPECT_EQ(Bytes(languages[0].pointer, languages[0].pointer + languages[0].size), BuildVersionBlock(rec));
    }

    // A file that is not an executable is left as it was.
    const Bytes text = {'n', 'o', 't', ' ', 'a', 'n', ' ', 'e', 'x', 'e'};
    WriteFileAtomic(exe, text.data(), text.size());
    EXPECT_FALSE(WriteVersionResource(exe, rec));
    EXPECT_EQ(ReadWholeFile(exe), text);
    std::remove(exe.c_str());
}

}  // namespace
}  // namespace vs
