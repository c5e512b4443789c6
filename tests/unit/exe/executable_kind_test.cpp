#include "exe/executable_kind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/stream.h"
#include "support/pe_builder.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

using test::Le16;
using test::PeBuilder;
using test::PeBytes;
using test::PeLayout;
using test::PutLe16;
using test::PutLe32;

constexpr auto Bits32 = ExecutableKind::Bits32;
constexpr auto Bits64 = ExecutableKind::Bits64;

// Remembers how far into its bytes a stream was read.
class WatchedStream : public TBytesStream {
public:
    using TBytesStream::TBytesStream;
    std::size_t Read(void* buffer, std::size_t n) override {
        const std::size_t got = TBytesStream::Read(buffer, n);
        furthest = std::max(furthest, static_cast<std::size_t>(Position()));
        return got;
    }
    std::size_t furthest = 0;
};

ExecutableKind KindOfStream(const PeBytes& bytes) {
    TBytesStream stream(bytes);
    return ExecutableKindOf(stream);
}

TEST(ExecutableKind, TheBuildersHeadersAreTheFormatsBytes) {
    // The fixtures below stand for real files only if the builder writes the
    // fields where the format has them: NT headers at 0x80, machine, optional
    // header size, magic, the count of data directories.
    PeLayout layout;
    const PeBytes x64 = PeBuilder().Pe32Plus().Build(&layout);
    EXPECT_EQ(layout.ntHeaders, 0x80u);
    EXPECT_EQ(PeBytes(x64.begin() + 0x84, x64.begin() + 0x86), (PeBytes{0x64, 0x86}));
    EXPECT_EQ(PeBytes(x64.begin() + 0x94, x64.begin() + 0x96), (PeBytes{0xF0, 0x00}));
    EXPECT_EQ(PeBytes(x64.begin() + 0x98, x64.begin() + 0x9A), (PeBytes{0x0B, 0x02}));
    EXPECT_EQ(Le16(x64, 0x98 + 108), 16) << "NumberOfRvaAndSizes of PE32+";
    EXPECT_EQ(layout.sectionTable, 0x80u + 24 + 240);

    const PeBytes x86 = PeBuilder().Build(&layout);
    EXPECT_EQ(PeBytes(x86.begin() + 0x84, x86.begin() + 0x86), (PeBytes{0x4C, 0x01}));
    EXPECT_EQ(PeBytes(x86.begin() + 0x94, x86.begin() + 0x96), (PeBytes{0xE0, 0x00}));
    EXPECT_EQ(PeBytes(x86.begin() + 0x98, x86.begin() + 0x9A), (PeBytes{0x0B, 0x01}));
    EXPECT_EQ(layout.sectionTable, 0x80u + 24 + 224);
}

TEST(ExecutableKind, OnlyAnAmd64ImageWithAPe32PlusHeaderIs64Bit) {
    struct Case {
        const char* what;
        PeBytes bytes;
        ExecutableKind want;
    };
    const Case cases[] = {
        {"i386, PE32", PeBuilder().Build(), Bits32},
        {"AMD64, PE32+", PeBuilder().Pe32Plus().Build(), Bits64},
        {"AMD64, PE32+, with resources and relocations",
         PeBuilder().Pe32Plus().IconImage(1, test::MakeIconImage(32, 32, 8, 3)).IconGroup(1, {1}).RelocAfterResources().Build(),
         Bits64},
        {"ARM64, PE32+", PeBuilder().Pe32Plus().Machine(0xAA64).Build(), Bits32},
        {"AMD64 with a PE32 header", PeBuilder().Machine(0x8664).Build(), Bits32},
        {"i386 with a PE32+ header", PeBuilder().Pe32Plus().Machine(0x014C).Build(), Bits32},
        {"no executable", PeBytes{'n', 'o', 't', ' ', 'a', 'n', ' ', 'e', 'x', 'e'}, Bits32},
        {"empty", PeBytes{}, Bits32},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExecutableKindOf(c.bytes), c.want) << c.what;
        EXPECT_EQ(KindOfStream(c.bytes), c.want) << c.what << " (stream)";
    }
    EXPECT_EQ(ExecutableKindText(Bits32), "32-bit");
    EXPECT_EQ(ExecutableKindText(Bits64), "64-bit");
}

TEST(ExecutableKind, DamagedOrShortHeadersCountAs32Bit) {
    PeLayout layout;
    const PeBytes good = PeBuilder().Pe32Plus().Build(&layout);
    const std::size_t headersEnd = layout.sectionTable + 2 * 40;  // .text and .rsrc

    // Every cut before the end of the section table, at every byte.
    for (std::size_t cut = 0; cut < headersEnd; ++cut) {
        const PeBytes shortFile(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        ASSERT_EQ(ExecutableKindOf(shortFile), Bits32) << cut;
        ASSERT_EQ(KindOfStream(shortFile), Bits32) << cut << " (stream)";
    }
    const PeBytes headersOnly(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(headersEnd));
    EXPECT_EQ(ExecutableKindOf(headersOnly), Bits64) << "the headers alone tell";
    EXPECT_EQ(KindOfStream(headersOnly), Bits64);

    auto damaged = [&](auto change) {
        PeBytes b = good;
        change(b);
        return b;
    };
    const PeBytes damages[] = {
        damaged([](PeBytes& b) { PutLe32(b, 0x3C, 0xFFFFFFF0u); }),     // NT headers far past the end
        damaged([](PeBytes& b) { b[0x80] = 'N'; }),                     // no "PE\0\0"
        damaged([](PeBytes& b) { PutLe16(b, 0x86, 0xFFFF); }),          // a section table past the end
        damaged([](PeBytes& b) { PutLe16(b, 0x94, 0xFFFF); }),          // an optional header past the end
        damaged([](PeBytes& b) { PutLe16(b, 0x94, 100); }),             // too short for PE32+
        damaged([](PeBytes& b) { PutLe16(b, 0x98, 0x0107); }),          // an unknown magic
    };
    for (std::size_t i = 0; i < std::size(damages); ++i) {
        EXPECT_EQ(ExecutableKindOf(damages[i]), Bits32) << i;
        EXPECT_EQ(KindOfStream(damages[i]), Bits32) << i << " (stream)";
    }
}

TEST(ExecutableKind, AStreamIsReadOnlyAsFarAsTheHeaders) {
    PeLayout layout;
    PeBytes big = PeBuilder().Pe32Plus().Append(PeBytes(1 << 20, 0x5A)).Build(&layout);
    WatchedStream x64(big);
    EXPECT_EQ(ExecutableKindOf(x64), Bits64);
    EXPECT_EQ(x64.furthest, layout.sectionTable + 2 * 40u);

    // An i386 image: the file header is enough.
    PeBytes small = PeBuilder().Append(PeBytes(1 << 20, 0x5A)).Build();
    WatchedStream x86(small);
    EXPECT_EQ(ExecutableKindOf(x86), Bits32);
    EXPECT_EQ(x86.furthest, 0x80u + 4 + 20);
}

class ExecutableKindFile : public test::TempDirTest {};

TEST_F(ExecutableKindFile, FilesByNameAndThoseThatCannotBeRead) {
    PeBuilder().Pe32Plus().Write(Path("x64.exe"));
    PeBuilder().Write(Path("x86.exe"));
    EXPECT_EQ(ExecutableKindOfFile(Path("x64.exe")), Bits64);
    EXPECT_EQ(ExecutableKindOfFile(Path("x86.exe")), Bits32);
    EXPECT_EQ(ExecutableKindOfFile(Path("missing.exe")), Bits32);
    std::filesystem::create_directory(Path("folder"));
    EXPECT_EQ(ExecutableKindOfFile(Path("folder")), Bits32);
}

}  // namespace
}  // namespace vs
