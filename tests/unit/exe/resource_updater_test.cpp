#include "exe/resource_updater.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <tuple>

#include "exe/exe_image.h"
#include "platform/stream.h"
#include "support/pe_builder.h"

namespace vs {
namespace {

namespace fs = std::filesystem;
using test::Le16;
using test::Le32;
using test::MakeIconImage;
using test::MakeVersionBlock;
using test::PeBuilder;
using test::PeBytes;
using test::PeLayout;
using test::PutLe32;
using test::U16;
using test::VersionSpec;

// Every resource of a file: (type, name, language) -> data.
using Key = std::tuple<std::string, std::string, std::uint16_t>;
std::string Describe(const ResourceId& id) {
    return id.isName ? std::string(id.name.begin(), id.name.end()) : std::to_string(id.id);
}
std::map<Key, PeBytes> AllResources(const PeBytes& exe) {
    std::map<Key, PeBytes> out;
    TExeImage image(exe, "f");
    TResourceList& root = image.ResourceTree();
    auto addType = [&](TResourceItem& type) {
        TResourceList& names = type.Children();
        for (int n = 0; n < names.Count(); ++n) {
            TResourceItem& name = names.Items(n);
            for (const TResourceLanguage& l : name.Languages())
                out[{Describe(type.Ident()), Describe(name.Ident()), l.language}] =
                    PeBytes(l.pointer, l.pointer + l.size);
        }
    };
    for (int t = 0; t < root.Count(); ++t) addType(root.Items(t));
    if (image.IconImageType()) addType(*image.IconImageType());
    if (image.CursorImageType()) addType(*image.CursorImageType());
    return out;
}

// The rewritten file, or nothing (and the reason in `why`) when it is refused.
PeBytes Rewrite(const PeBytes& exe, const std::vector<ResourceChange>& changes, std::string* why = nullptr) {
    try {
        return RewriteResources(exe, changes);
    } catch (const EResourceUpdateError& e) {
        EXPECT_STREQ(e.what(), e.Reason().c_str()) << "in memory, the reason alone";
        if (why) *why = e.Reason();
        return {};
    }
}

PeBytes Bytes(std::size_t n, std::uint8_t seed) {
    PeBytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 13);
    return b;
}

struct Sec {
    std::uint32_t virtualSize, rva, rawSize, rawPtr;
};
Sec SectionAt(const PeBytes& exe, int index) {
    std::uint32_t at = 0x80 + 24 + Le16(exe, 0x80 + 20) + 40 * index;
    return {Le32(exe, at + 8), Le32(exe, at + 12), Le32(exe, at + 16), Le32(exe, at + 20)};
}
constexpr std::uint32_t kOpt = 0x80 + 24;

PeBuilder Engine() {
    VersionSpec english;
    english.strings = {{"FileDescription", "Engine"}};
    VersionSpec german = english;
    german.language = 1031;
    german.strings = {{"FileDescription", "Maschine"}};
    return PeBuilder()
        .IconImage(1, MakeIconImage(32, 32, 8, 5))
        .IconImage(2, MakeIconImage(16, 16, 4, 6))
        .IconGroup(1, {1, 2})
        .Version(english)
        .Version(german)
        .Resource(ResourceId::Named(U16("PAYLOAD")), ResourceId::Named(U16("DATA")), 1033, Bytes(100, 1));
}

// Replacing (16, 1, 1033) keeps the German version and everything else.
TEST(ResourceUpdater, ReplacesOneLanguageAndKeepsTheOthers) {
    PeBytes exe = Engine().Build();
    auto before = AllResources(exe);
    PeBytes block = Bytes(1784, 9);
    PeBytes out = Rewrite(exe, {{ResourceId::Number(16), ResourceId::Number(1), 1033, block}});
    ASSERT_FALSE(out.empty());
    auto after = AllResources(out);
    before[{"16", "1", 1033}] = block;
    EXPECT_EQ(after, before);
}

TEST(ResourceUpdater, AddsTypesNamesAndLanguages) {
    PeBytes exe = Engine().Build();
    auto expected = AllResources(exe);
    std::vector<ResourceChange> changes = {
        {ResourceId::Number(16), ResourceId::Number(1), 1036, Bytes(40, 2)},          // new language
        {ResourceId::Number(14), ResourceId::Number(7), 1033, Bytes(20, 3)},          // new name
        {ResourceId::Named(U16("ZED")), ResourceId::Number(1), 0, Bytes(5, 4)},       // new named type
        {ResourceId::Named(U16("payload")), ResourceId::Named(U16("data")), 1033, Bytes(3, 5)},  // case folded
    };
    PeBytes out = Rewrite(exe, changes);
    ASSERT_FALSE(out.empty());
    expected[{"16", "1", 1036}] = Bytes(40, 2);
    expected[{"14", "7", 1033}] = Bytes(20, 3);
    expected[{"ZED", "1", 0}] = Bytes(5, 4);
    expected[{"PAYLOAD", "DATA", 1033}] = Bytes(3, 5);
    EXPECT_EQ(AllResources(out), expected);

    // Directories stay sorted: names first, then numbers ascending.
    TExeImage image(out, "f");
    TResourceList& root = image.ResourceTree();
    std::vector<std::string> order;
    for (int i = 0; i < root.Count(); ++i) order.push_back(Describe(root.Items(i).Ident()));
    EXPECT_EQ(order, (std::vector<std::string>{"PAYLOAD", "ZED", "14", "16"}));
}

// The layout of a rewritten section, byte for byte: one resource (10, 1, 1033)
// and an added (16, 1, 1033). Root 32 bytes, two type directories of 24, two
// name directories of 24, two data entries, then the data on 8-byte boundaries.
TEST(ResourceUpdater, LaysTheSectionOutInAFixedOrder) {
    PeLayout layout;
    PeBytes exe = PeBuilder().Resource(10, 1, 1033, {0xA1, 0xA2, 0xA3}).Build(&layout);
    PeBytes out = Rewrite(exe, {{ResourceId::Number(16), ResourceId::Number(1), 1033, {0xB1, 0xB2}}});
    ASSERT_EQ(out.size(), exe.size());
    const std::uint32_t s = layout.rsrcRaw, rva = layout.rsrcRva;
    const std::vector<std::uint32_t> expected = {
        // root: 0 named, 2 numbered
        0, 0, 0, 0x00020000, 10, 0x80000000u | 32, 16, 0x80000000u | 56,
        // type 10 and type 16
        0, 0, 0, 0x00010000, 1, 0x80000000u | 80, 0, 0, 0, 0x00010000, 1, 0x80000000u | 104,
        // names -> languages
        0, 0, 0, 0x00010000, 1033, 128, 0, 0, 0, 0x00010000, 1033, 144,
        // data entries
        rva + 160, 3, 0, 0, rva + 168, 2, 0, 0,
        // data
        0x00A3A2A1, 0, 0x0000B2B1, 0};
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(Le32(out, s + 4 * i), expected[i]) << "word " << i;
    EXPECT_EQ(Le32(out, layout.ntHeaders + 24 + 96 + 16), rva);      // resource directory
    EXPECT_EQ(Le32(out, layout.ntHeaders + 24 + 96 + 20), 176u);     // and its size
    EXPECT_EQ(SectionAt(out, 1).virtualSize, 176u);
}

// mingw-w64 links .reloc after .rsrc: a growing section pushes it back.
TEST(ResourceUpdater, GrowsASectionThatIsNotTheLast) {
    PeLayout layout;
    PeBytes exe = Engine().RelocAfterResources().Build(&layout);
    Sec oldReloc = SectionAt(exe, 2);
    PeBytes bigIcon = Bytes(3 * 0x1000 + 17, 7);
    PeBytes out = Rewrite(exe, {{ResourceId::Number(3), ResourceId::Number(9), 1033, bigIcon}});
    ASSERT_FALSE(out.empty());

    Sec rsrc = SectionAt(out, 1), reloc = SectionAt(out, 2);
    EXPECT_EQ(rsrc.rva, layout.rsrcRva);
    EXPECT_EQ(rsrc.rawPtr, layout.rsrcRaw);
    EXPECT_GE(rsrc.rawSize, rsrc.virtualSize);
    EXPECT_EQ(rsrc.rawSize % 0x200, 0u);
    // Contiguous in memory and in the file.
    EXPECT_EQ(reloc.rva, rsrc.rva + (rsrc.virtualSize + 0xFFF) / 0x1000 * 0x1000);
    EXPECT_EQ(reloc.rawPtr, rsrc.rawPtr + rsrc.rawSize);
    EXPECT_EQ(reloc.rva - oldReloc.rva, 0x3000u);
    EXPECT_EQ(reloc.rawPtr - oldReloc.rawPtr, out.size() - exe.size());
    // The relocation directory follows its section; its bytes are unchanged.
    EXPECT_EQ(Le32(out, kOpt + 96 + 40), reloc.rva);
    EXPECT_EQ(Le32(out, kOpt + 96 + 44), 12u);
    EXPECT_TRUE(std::equal(exe.begin() + oldReloc.rawPtr, exe.begin() + oldReloc.rawPtr + oldReloc.rawSize,
                           out.begin() + reloc.rawPtr));
    EXPECT_EQ(Le32(out, kOpt + 56), reloc.rva + 0x1000);  // image size
    // Everything before the resource section is unchanged but the header fields.
    EXPECT_TRUE(std::equal(exe.begin() + 0x200, exe.begin() + layout.rsrcRaw, out.begin() + 0x200));

    auto expected = AllResources(exe);
    expected[{"3", "9", 1033}] = bigIcon;
    EXPECT_EQ(AllResources(out), expected);
}

TEST(ResourceUpdater, ShrinkingOrFittingStaysInPlace) {
    PeLayout layout;
    PeBytes exe = Engine().RelocAfterResources().ExtraRawSlack(0x300).Build(&layout);
    PeBytes out = Rewrite(exe, {{ResourceId::Number(10), ResourceId::Number(1), 0, Bytes(0x100, 1)}});
    ASSERT_EQ(out.size(), exe.size());
    EXPECT_EQ(SectionAt(out, 2).rva, SectionAt(exe, 2).rva);
    EXPECT_TRUE(std::equal(exe.begin() + layout.relocRaw, exe.end(), out.begin() + layout.relocRaw));

    PeBytes smaller = Rewrite(exe, {{ResourceId::Named(U16("PAYLOAD")), ResourceId::Named(U16("DATA")), 1033, {1}}});
    ASSERT_EQ(smaller.size(), exe.size());
    // The section keeps its room in memory, so the next one still follows it.
    EXPECT_EQ(SectionAt(smaller, 1).virtualSize, SectionAt(exe, 1).virtualSize);
    EXPECT_EQ(SectionAt(smaller, 2).rva, SectionAt(exe, 2).rva);
}

TEST(ResourceUpdater, AppendedDataStaysWhenTheSectionFitsAndRefusesOtherwise) {
    PeBytes package = Bytes(5000, 3);
    PeLayout layout;
    PeBytes exe = Engine().Append(package).Build(&layout);
    PeBytes out = Rewrite(exe, {{ResourceId::Number(16), ResourceId::Number(1), 1033, Bytes(300, 8)}});
    ASSERT_EQ(out.size(), exe.size());
    EXPECT_TRUE(std::equal(package.begin(), package.end(), out.end() - static_cast<long>(package.size())));

    std::string why;
    EXPECT_TRUE(Rewrite(exe, {{ResourceId::Number(10), ResourceId::Number(1), 0, Bytes(0x2000, 1)}}, &why).empty());
    EXPECT_NE(why.find("appended"), std::string::npos) << why;
}

TEST(ResourceUpdater, SignedFilesAreRefused) {
    PeBytes exe = Engine().Certificate(Bytes(64, 1)).Build();
    std::string why;
    EXPECT_TRUE(Rewrite(exe, {{ResourceId::Number(16), ResourceId::Number(1), 1033, {1}}}, &why).empty());
    EXPECT_NE(why.find("signed"), std::string::npos) << why;
}

TEST(ResourceUpdater, SymbolTableMovesWithTheFile) {
    PeLayout layout;
    PeBytes exe = Engine().CoffSymbols(4).Build(&layout);
    const std::uint32_t symbols = Le32(exe, 0x80 + 12);
    ASSERT_EQ(symbols, layout.imageEnd);
    PeBytes out = Rewrite(exe, {{ResourceId::Number(10), ResourceId::Number(1), 0, Bytes(0x1000, 1)}});
    ASSERT_FALSE(out.empty());
    std::uint32_t moved = static_cast<std::uint32_t>(out.size() - exe.size());
    EXPECT_EQ(Le32(out, 0x80 + 12), symbols + moved);
    EXPECT_TRUE(std::equal(exe.begin() + symbols, exe.end(), out.begin() + symbols + moved));
}

TEST(ResourceUpdater, FixesTheChecksumWhenTheFileHasOne) {
    PeBytes exe = Engine().Checksum().Build();
    PeBytes out = Rewrite(exe, {{ResourceId::Number(10), ResourceId::Number(1), 0, Bytes(0x900, 1)}});
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(Le32(out, kOpt + 64), test::PeChecksum(out, kOpt + 64));
    EXPECT_NE(Le32(out, kOpt + 64), Le32(exe, kOpt + 64));
}

TEST(ResourceUpdater, RefusesWhatItCannotRewriteSafely) {
    std::string why;
    auto change = std::vector<ResourceChange>{{ResourceId::Number(10), ResourceId::Number(1), 0, Bytes(0x2000, 1)}};
    EXPECT_TRUE(Rewrite(PeBuilder().NoResourceSection().Build(), change, &why).empty());
    PeBytes noMz = Engine().Build();
    noMz[0] = 0;
    EXPECT_TRUE(Rewrite(noMz, change, &why).empty());

    // A section behind the resources that code may address does not move...
    PeLayout layout;
    PeBytes data = Engine().RelocAfterResources().Build(&layout);
    const std::uint32_t relocHeader = layout.sectionTable + 80;
    std::memcpy(&data[relocHeader], ".data\0\0\0", 8);
    PutLe32(data, relocHeader + 36, 0xC0000040u);  // read-write data, not discardable
    PutLe32(data, kOpt + 96 + 40, 0);
    PutLe32(data, kOpt + 96 + 44, 0);
    EXPECT_TRUE(Rewrite(data, change, &why).empty());
    EXPECT_NE(why.find("cannot move"), std::string::npos) << why;
    // ...but a change that fits in the section's room is still made.
    EXPECT_FALSE(Rewrite(data, {{ResourceId::Number(10), ResourceId::Number(1), 0, {1, 2}}}).empty());

    // The data directory and the section name must agree on the resource section.
    EXPECT_TRUE(Rewrite(Engine().ResourceSectionName(".data").Build(), change, &why).empty());
    EXPECT_NE(why.find(".rsrc"), std::string::npos) << why;
    EXPECT_TRUE(Rewrite(Engine().ResourceSectionName(".rsrcx").Build(), change, &why).empty());
    EXPECT_NE(why.find(".rsrc"), std::string::npos) << why;

    // A tree deeper than type, name and language.
    PeBytes deep = PeBuilder().Resource(10, 1, 1033, {1}).Build(&layout);
    PutLe32(deep, layout.rsrcRaw + 68, 0x80000000u);
    EXPECT_TRUE(Rewrite(deep, change, &why).empty());
    // Data outside the resource section.
    PeBytes outside = PeBuilder().Resource(10, 1, 1033, {1}).Build(&layout);
    PutLe32(outside, layout.rsrcRaw + 72, 0x1000);
    EXPECT_TRUE(Rewrite(outside, change, &why).empty());
}

TEST(ResourceUpdater, CapitalSectionNameIsRewrittenToo) {
    PeBytes exe = Engine().ResourceSectionName(".RSRC").RelocAfterResources().Build();
    PeBytes out = Rewrite(exe, {{ResourceId::Number(16), ResourceId::Number(1), 1033, Bytes(5000, 2)}});
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(AllResources(out).at({"16", "1", 1033}), Bytes(5000, 2));
}

class ResourceUpdaterFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vs_updater_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Path(const char* name) const { return (dir_ / name).string(); }
    std::size_t FilesInDir() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {})); }
    fs::path dir_;
};

TEST_F(ResourceUpdaterFile, CommitsSeveralChangesAtOnce) {
    std::string path = Path("engine.exe");
    Engine().RelocAfterResources().Write(path);
    ResourceUpdater updater(path);
    updater.Update(ResourceId::Number(16), ResourceId::Number(1), 1033, MakeVersionBlock(VersionSpec{}));
    updater.Update(ResourceId::Number(10), ResourceId::Number(3), 0, Bytes(9000, 1));
    ASSERT_NO_THROW(updater.Commit());
    auto after = AllResources(ReadWholeFile(path));
    EXPECT_EQ(after.at({"16", "1", 1033}), MakeVersionBlock(VersionSpec{}));
    EXPECT_EQ(after.at({"10", "3", 0}), Bytes(9000, 1));
    EXPECT_EQ(after.count({"16", "1", 1031}), 1u);
    EXPECT_EQ(FilesInDir(), 1u);
}

TEST_F(ResourceUpdaterFile, ARefusedFileStaysByteForByte) {
    std::string path = Path("packaged.exe");
    Engine().Append(Bytes(777, 1)).Write(path);
    PeBytes before = ReadWholeFile(path);
    try {
        UpdateResource(path, ResourceId::Number(10), ResourceId::Number(1), 0, Bytes(0x3000, 1));
        ADD_FAILURE() << "not refused";
    } catch (const EResourceUpdateError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(e.Reason()), std::string::npos) << e.what();
        EXPECT_NE(e.Reason().find("appended"), std::string::npos) << e.Reason();
    }
    EXPECT_EQ(ReadWholeFile(path), before);
    EXPECT_EQ(FilesInDir(), 1u);  // no temporary file left behind

    ResourceUpdater missing(Path("absent.exe"));
    missing.Update(ResourceId::Number(10), ResourceId::Number(1), 0, Bytes(1, 1));
    try {
        missing.Commit();
        ADD_FAILURE() << "committed to a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find("absent.exe"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(Path("absent.exe")));
}

}  // namespace
}  // namespace vs
