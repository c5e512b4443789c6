// The SWF reader's primitives against fixed bytes, and finding the movie in a projector.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/errors.h"
#include "support/projector_builder.h"
#include "support/swf_builder.h"
#include "swf/swf_reader.h"
#include "support/temp_dir.h"

namespace vs {
namespace {

using test::ByteVec;

class ReaderOn {
public:
    explicit ReaderOn(ByteVec bytes) : stream(std::move(bytes)) { reader.SetData(&stream); }
    TMemoryStream stream;
    TSWFReader reader;
};

TEST(SwfReader, RectangleWorkedExamples) {
    struct Case {
        ByteVec bytes;
        TSWF_Rect want;  // Left, Top, Right, Bottom
    };
    const Case cases[] = {
        {{0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00}, {0, 0, 11000, 8000}},
        {{0x58, 0x05, 0x7D, 0x00, 0x1D, 0x90, 0x00}, {5, 7, 1000, 800}},
        // Negative values keep their 15-bit pattern.
        {{0x7F, 0xFE, 0xC5, 0x5F, 0x1F, 0xF6, 0x0F, 0xA0, 0x00}, {32748, 32728, 11000, 8000}},
    };
    for (const Case& c : cases) {
        ByteVec bytes = c.bytes;
        bytes.push_back(0xAB);
        ReaderOn r(bytes);
        TSWF_Rect rect;
        r.reader.Read_Rect(rect);
        EXPECT_EQ(rect.Left, c.want.Left);
        EXPECT_EQ(rect.Top, c.want.Top);
        EXPECT_EQ(rect.Right, c.want.Right);
        EXPECT_EQ(rect.Bottom, c.want.Bottom);
        // The next byte read starts behind the rectangle's last byte.
        EXPECT_EQ(r.reader.Read_Bytes(1), 0xABu);
        EXPECT_EQ(r.reader.BitPos, 0);
    }
    // The builder writes the same bytes.
    EXPECT_EQ(test::EncodeRect({0, 11000, 0, 8000}), cases[0].bytes);
    EXPECT_EQ(test::EncodeRect({5, 1000, 7, 800}), cases[1].bytes);
    EXPECT_EQ(test::EncodeRect({-20, 11000, -40, 8000}), cases[2].bytes);
}

TEST(SwfReader, FirstRectangleLeavesOneBitPending) {
    ReaderOn r({0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00});
    TSWF_Rect rect;
    r.reader.Read_Rect(rect);
    EXPECT_EQ(r.reader.BitPos, 1);
    EXPECT_EQ(r.stream.Position(), 9);
}

TEST(SwfReader, ReadBitsIsExactForEveryCountWhateverIsPending) {
    const ByteVec bytes = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    auto bitAt = [&](unsigned i) { return (bytes[i / 8] >> (7 - i % 8)) & 1u; };
    for (unsigned pending = 0; pending < 8; ++pending)
        for (unsigned n = 1; n <= 32; ++n) {
            ReaderOn r(bytes);
            if (pending) r.reader.Read_Bits(static_cast<std::uint8_t>(pending), false);
            std::uint32_t want = 0;
            for (unsigned i = 0; i < n; ++i) want = (want << 1) | bitAt(pending + i);
            ASSERT_EQ(r.reader.Read_Bits(static_cast<std::uint8_t>(n), false), want) << pending << "+" << n;
            EXPECT_EQ(r.reader.BitPos, (pending + n) % 8);
            // The following bits continue exactly where these ended.
            std::uint32_t next = 0;
            for (unsigned i = 0; i < 8; ++i) next = (next << 1) | bitAt(pending + n + i);
            ASSERT_EQ(r.reader.Read_Bits(8, false), next);
        }
}

TEST(SwfReader, ZeroBitsAndByteAlignment) {
    ReaderOn r({0xF0, 0x0F});
    EXPECT_EQ(r.reader.Read_Bits(3, false), 7u);
    EXPECT_EQ(r.reader.Read_Bits(0, false), 0u);
    EXPECT_EQ(r.reader.BitPos, 3);
    EXPECT_EQ(r.reader.Read_Bits(0, true), 0u);  // nothing dropped, nothing read
    EXPECT_EQ(r.reader.Read_Bits(1, false), 1u);
    EXPECT_EQ(r.reader.Read_Bits(4, true), 0u);  // drops the pending bits, reads 0x0F's top
    EXPECT_EQ(r.reader.BitBuffer, 0x0F);
    EXPECT_THROW(r.reader.Read_Bits(5, true), EReadError);
}

TEST(SwfReader, BytesStringsColoursAndMatrix) {
    ReaderOn r({0x01, 0x02, 0x03, 0x04, 0x05, 'a', 'b', 0, 'x', 0, 'y', 10, 20, 30, 1, 2, 3, 4});
    EXPECT_EQ(r.reader.Read_Bytes(5), 0x04030201u);  // more than four: the first four
    std::string text = "old";
    r.reader.Read_NTString(text);
    EXPECT_EQ(text, "ab");
    r.reader.Read_String(0, text);
    EXPECT_EQ(text, "ab");  // count 0 leaves the text
    r.reader.Read_String(3, text);
    EXPECT_EQ(text, std::string("x\0y", 3));
    TSWF_Color c;
    c.A = 99;
    r.reader.Read_RGB(false, c);
    EXPECT_EQ(c.R, 10);
    EXPECT_EQ(c.B, 30);
    EXPECT_FALSE(c.HasAlpha);
    EXPECT_EQ(c.A, 99);
    r.reader.Read_RGB(true, c);
    EXPECT_EQ(c.A, 4);

    // Scale 2 and 3 in 3 bits, no rotation, translation -1 and 5 in 4 bits:
    // 1 00011 010 011 0 00100 1111 0101
    test::BitWriter w;
    w.bits(1, 1); w.bits(3, 5); w.bits(2, 3); w.bits(3, 3);
    w.bits(0, 1);
    w.bits(4, 5); w.bits(0xF, 4); w.bits(5, 4);
    ReaderOn m(w.bytes());
    TSWF_Matrix mx;
    mx.RotateBits = 9;
    m.reader.Read_Matrix(mx);
    EXPECT_TRUE(mx.HasScale);
    EXPECT_EQ(mx.ScaleX, 2u);
    EXPECT_EQ(mx.ScaleY, 3u);
    EXPECT_FALSE(mx.HasRotate);
    EXPECT_EQ(mx.RotateBits, 9);  // absent part keeps its content
    EXPECT_EQ(mx.TranslateX, 15u);
    EXPECT_EQ(mx.TranslateY, 5u);
}

TEST(SwfReader, HeaderAndTags) {
    test::SwfBuilder b;
    b.version = 7;
    b.frameRate = 12;
    b.frameRateFraction = 0x80;
    b.frameCount = 300;
    b.tag(9, {1, 2, 3});                  // short form
    b.tag(12, ByteVec(10, 0), true);      // long form
    ByteVec movie = b.build();
    // The fixed header bytes: "FWS", version, length, rectangle, rate 0x80 0x0C, count.
    ByteVec head(movie.begin(), movie.begin() + 21);
    ByteVec want = {'F', 'W', 'S', 7, static_cast<std::uint8_t>(movie.size()), 0, 0, 0,
                    0x78, 0x00, 0x05, 0x5F, 0x00, 0x00, 0x0F, 0xA0, 0x00, 0x80, 0x0C, 0x2C, 0x01};
    ASSERT_EQ(head, want);

    ReaderOn r(movie);
    TSWF_Header h;
    r.reader.Read_Header(h);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h.Signature), 3), "FWS");
    EXPECT_EQ(h.Version, 7);
    EXPECT_EQ(h.FileLength, movie.size());
    EXPECT_EQ(h.FrameSize.Right, 11000);
    EXPECT_EQ(h.FrameSize.Bottom, 8000);
    EXPECT_EQ(h.FrameRate, 12);
    EXPECT_EQ(h.FrameRateFraction, 0x80);
    EXPECT_EQ(h.FrameCount, 300);
    EXPECT_EQ(r.reader.NextTagPos, 21);

    TSWF_TagHeader t;
    r.reader.Read_Tag(t);
    EXPECT_EQ(t.Code, 9);
    EXPECT_EQ(t.Length, 3u);
    EXPECT_FALSE(t.IsLong);
    EXPECT_EQ(t.Start, 21);
    r.reader.Read_Tag(t);
    EXPECT_EQ(t.Code, 12);
    EXPECT_EQ(t.Length, 10u);
    EXPECT_TRUE(t.IsLong);
    EXPECT_EQ(t.Start, 26);
    r.reader.Read_Tag(t);
    EXPECT_EQ(t.Code, 0);  // End
    EXPECT_EQ(r.reader.NextTagPos, static_cast<std::int64_t>(movie.size()));
}

class ParseFileHeaderTest : public test::TempDirTest {
protected:
    std::string Write(const ByteVec& bytes) {
        std::string p = Path("projector.exe");
        test::WriteProjectorFile(p, bytes);
        return p;
    }
    TSWF_Header Parse(const std::string& path) {
        TSWFReader reader;
        TSWF_Header h;
        std::memset(&h, 0x55, sizeof h);
        reader.ParseFileHeader(path, h);
        return h;
    }
    static bool AllZero(const TSWF_Header& h) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(&h);
        return std::all_of(p, p + sizeof h, [](std::uint8_t b) { return b == 0; });
    }
};

TEST_F(ParseFileHeaderTest, FindsTheMovieBehindThePlayer) {
    test::SwfBuilder b;
    b.frameRateFraction = 0x80;  // 12.5 frames per second
    ByteVec movie = b.build();
    TSWF_Header h = Parse(Write(test::BuildProjector(movie, {.size = 70000})));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h.Signature), 3), "FWS");
    EXPECT_EQ(h.FrameSize.Right, 11000);
    EXPECT_EQ(h.FrameRate, 12);
    EXPECT_EQ(h.FileLength, movie.size());
}

TEST_F(ParseFileHeaderTest, NoPlayerTextOrNoMovieGivesAZeroHeader) {
    ByteVec movie = test::SwfBuilder().build();
    EXPECT_TRUE(AllZero(Parse(Write(test::BuildProjector(movie, {.playerText = ""})))));
    EXPECT_TRUE(AllZero(Parse(Write(test::BuildPlayerPart()))));
    EXPECT_TRUE(AllZero(Parse(Write({}))));
}

TEST_F(ParseFileHeaderTest, SmallLettersBeforeTheMovieAreTakenAsItsStart) {
    ByteVec bytes = test::BuildPlayerPart({.playerText = "shockwaveflash"});
    const std::string early = "fwsXXXXXXXXXXXXXXXXXXXXXXXXX";
    bytes.insert(bytes.end(), early.begin(), early.end());
    ByteVec movie = test::SwfBuilder().build();
    bytes.insert(bytes.end(), movie.begin(), movie.end());
    TSWF_Header h = Parse(Write(bytes));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(h.Signature), 3), "fws");
}

TEST_F(ParseFileHeaderTest, HeaderCutShortAndUnopenableFiles) {
    ByteVec movie = test::SwfBuilder().build();
    ByteVec bytes = test::BuildProjector(movie);
    bytes.resize(bytes.size() - movie.size() + 12);  // ends inside the rectangle
    std::string p = Write(bytes);
    TSWFReader reader;
    TSWF_Header h;
    try {
        reader.ParseFileHeader(p, h);
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    EXPECT_TRUE(AllZero(h));
    EXPECT_EQ(reader.GetData(), nullptr);

    std::string missing = Path("missing.exe");
    try {
        reader.ParseFileHeader(missing, h);
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing);
    }
    EXPECT_TRUE(AllZero(h));
}

}  // namespace
}  // namespace vs
