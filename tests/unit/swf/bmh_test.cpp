// Pattern search in memory and in files read block by block.
#include <gtest/gtest.h>

#include <string>

#include "support/projector_builder.h"
#include "swf/bmh.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

using test::ByteVec;

std::span<const std::uint8_t> Span(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(FoldedSearch, FoldsTheHaystackButNotThePattern) {
    FoldedSearch upper("FWS", FoldedSearch::Fold::Upper);
    EXPECT_EQ(upper.find(Span("xxfWsyy")), 2);
    EXPECT_EQ(upper.find(Span("FWS")), 0);
    EXPECT_EQ(upper.find(Span("FW")), -1);
    // A pattern in small letters never matches a haystack folded to capitals.
    EXPECT_EQ(FoldedSearch("fws", FoldedSearch::Fold::Upper).find(Span("fws")), -1);

    FoldedSearch lower(std::string_view("exec\0vex", 8), FoldedSearch::Fold::Lower);
    EXPECT_EQ(lower.find(Span(std::string("..EXEC\0VEX..", 12))), 2);
    // Only ASCII letters fold: 0xC9 is not a capital of 0xE9.
    EXPECT_EQ(FoldedSearch("\xE9", FoldedSearch::Fold::Lower).find(Span("\xC9")), -1);
}

TEST(FoldedSearch, FindsFromAPositionAndEveryOccurrence) {
    FoldedSearch s("aba", FoldedSearch::Fold::Lower);
    const std::string text = "ababa_ABA";
    EXPECT_EQ(s.find(Span(text), 0), 0);
    EXPECT_EQ(s.find(Span(text), 1), 2);  // overlapping occurrence
    EXPECT_EQ(s.find(Span(text), 3), 6);
    EXPECT_EQ(s.find(Span(text), 7), -1);
    EXPECT_EQ(s.find(Span(text), 100), -1);
}

class FindInFileTest : public test::TempDirTest {
protected:
    std::string Write(const ByteVec& bytes) {
        std::string p = Path("f.bin");
        test::WriteProjectorFile(p, bytes);
        return p;
    }
};

ByteVec Zeros(std::size_t n) { return ByteVec(n, 0); }

void Place(ByteVec& b, std::size_t at, const std::string& text) {
    std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

TEST_F(FindInFileTest, PatternAtStartAbsentAndInAnyCase) {
    ByteVec b = Zeros(100);
    Place(b, 0, "FWS");
    EXPECT_EQ(FindInFile("FWS", Write(b)).offset, 0);
    Place(b, 0, "xxx");
    Place(b, 50, "ShockWaveFlash");
    EXPECT_EQ(FindInFile("SHOCKWAVEFLASH", Write(b)).offset, 50);
    EXPECT_EQ(FindInFile("FWS", Write(b)).offset, -1);
    EXPECT_EQ(FindInFile("FWS", Write({})).offset, -1);
    EXPECT_FALSE(FindInFile("FWS", Write({})).failure);
}

TEST_F(FindInFileTest, MatchAcrossTheSeamOfTwoBlocksIsFoundAtItsTrueOffset) {
    // Every way the 14 letters can be cut by the seam, and matches just before
    // and after it.
    for (std::size_t start : {kSearchBlockSize - 14, kSearchBlockSize - 13, kSearchBlockSize - 7,
                              kSearchBlockSize - 1, kSearchBlockSize, kSearchBlockSize + 1}) {
        ByteVec b = Zeros(3 * kSearchBlockSize);
        Place(b, start, "shockwaveflash");
        EXPECT_EQ(FindInFile("SHOCKWAVEFLASH", Write(b)).offset, static_cast<std::int64_t>(start)) << start;
    }
    // Far into the file, past several overlapping blocks.
    ByteVec b = Zeros(5 * kSearchBlockSize + 17);
    Place(b, b.size() - 3, "Fws");
    EXPECT_EQ(FindInFile("FWS", Write(b)).offset, static_cast<std::int64_t>(b.size() - 3));
}

TEST_F(FindInFileTest, FileErrorsAreReportedWithTheirCode) {
    std::string missing = Path("no such file.exe");
    FileSearch found = FindInFile("FWS", missing);
    EXPECT_EQ(found.offset, -1);
    EXPECT_EQ(found.failure, (ScanFailure{ScanFailure::Kind::FileError, missing, 2}));
    found = FindInFile("FWS", dir_.string());  // a folder
    EXPECT_EQ(found.offset, -1);
    ASSERT_TRUE(found.failure);
    EXPECT_EQ(found.failure->code, 5);
    EXPECT_STREQ(DosErrorReason(100), "Disk read error");
    EXPECT_STREQ(DosErrorReason(999), "");
}

}  // namespace
}  // namespace vs
