// Decoding BMP files: fixed bytes, every stored format, and damaged files.
#include "shape/bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "support/bmp_builder.h"

namespace vs {
namespace {

using test::BmpHeader;
using test::BmpOptions;
using test::MakeBmp;
using test::PutU16;
using test::PutU32;
using ByteVector = std::vector<std::uint8_t>;

std::vector<Colour> Decoded(const TBitmap& b) { return {b.Pixels().begin(), b.Pixels().end()}; }

void ExpectInvalid(const ByteVector& bytes, const std::string& what) {
    try {
        TBitmap::FromBytes(bytes);
        ADD_FAILURE() << what << ": decoded";
    } catch (const EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Bitmap image is not valid") << what;
    }
}

// 2 x 2, 24 bits, bottom-up: red green on top, blue white below.
const ByteVector kTwoByTwo = {
    'B', 'M', 0x46, 0, 0, 0, 0, 0, 0, 0, 0x36, 0, 0, 0,                   // file header
    0x28, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0,      // size, w, h, planes, bits, BI_RGB
    0x10, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,                                  // bottom row: blue, white, padding
    0, 0, 0xFF, 0, 0xFF, 0, 0, 0,                                        // top row: red, green, padding
};

TEST(Bitmap, DecodesFixedBytesAndKeepsThem) {
    TBitmap b = TBitmap::FromBytes(kTwoByTwo);
    EXPECT_EQ(b.Width(), 2);
    EXPECT_EQ(b.Height(), 2);
    EXPECT_EQ(Decoded(b), (std::vector<Colour>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));
    EXPECT_EQ(b.FileBytes(), kTwoByTwo);
    // The last row may end without its padding.
    EXPECT_EQ(Decoded(TBitmap::FromBytes(ByteVector(kTwoByTwo.begin(), kTwoByTwo.end() - 2))), Decoded(b));
    EXPECT_EQ(b.Format().bitsPerPixel, 24);
    EXPECT_FALSE(b.Format().topDown);
    // The builder writes the same bytes, so the format tests below rest on it.
    EXPECT_EQ(MakeBmp({}, 2, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}), kTwoByTwo);

    EXPECT_EQ(b.Pixel(2, 0), kNoColour);
    EXPECT_EQ(b.Pixel(0, -1), kNoColour);
    EXPECT_TRUE(b.Row(2).empty());
    EXPECT_TRUE(TBitmap().Empty());
}

// The RLE8 and RLE4 examples of the format's documentation, with colour i = (i, i, i).
TEST(Bitmap, DecodesDocumentedRle8Example) {
    BmpOptions o;
    o.bitsPerPixel = 8;
    o.compression = test::kBmpRle8;
    o.palette = test::GreyPalette(256);
    o.useRawData = true;
    o.rawData = {0x03, 0x04, 0x05, 0x06, 0x00, 0x03, 0x45, 0x56, 0x67, 0x00, 0x02, 0x78,
                 0x00, 0x02, 0x05, 0x01, 0x02, 0x78, 0x00, 0x00, 0x09, 0x1E, 0x00, 0x01};
    TBitmap b = TBitmap::FromBytes(MakeBmp(o, 20, 3, {}));
    std::vector<Colour> want(60, 0);
    auto set = [&](int x, int y, int index) { want[y * 20 + x] = 0x010101u * index; };
    const int bottom[] = {4, 4, 4, 6, 6, 6, 6, 6, 0x45, 0x56, 0x67, 0x78, 0x78};
    for (int x = 0; x < 13; ++x) set(x, 2, bottom[x]);
    set(18, 1, 0x78);
    set(19, 1, 0x78);
    for (int x = 0; x < 9; ++x) set(x, 0, 0x1E);
    EXPECT_EQ(Decoded(b), want);
}

TEST(Bitmap, DecodesDocumentedRle4Example) {
    BmpOptions o;
    o.bitsPerPixel = 4;
    o.compression = test::kBmpRle4;
    o.palette = test::GreyPalette(16);
    o.useRawData = true;
    o.rawData = {0x03, 0x04, 0x05, 0x06, 0x00, 0x06, 0x45, 0x56, 0x67, 0x00, 0x04, 0x78,
                 0x00, 0x02, 0x05, 0x01, 0x04, 0x78, 0x00, 0x00, 0x09, 0x1E, 0x00, 0x01};
    TBitmap b = TBitmap::FromBytes(MakeBmp(o, 27, 3, {}));
    std::vector<Colour> want(81, 0);
    auto row = [&](int y, int x0, std::vector<int> indexes) {
        for (std::size_t i = 0; i < indexes.size(); ++i) want[y * 27 + x0 + i] = 0x010101u * indexes[i];
    };
    row(2, 0, {0, 4, 0, 0, 6, 0, 6, 0, 4, 5, 5, 6, 6, 7, 7, 8, 7, 8});
    row(1, 23, {7, 8, 7, 8});
    row(0, 0, {1, 14, 1, 14, 1, 14, 1, 14, 1});
    EXPECT_EQ(Decoded(b), want);
}

TEST(Bitmap, WidensSixteenBitChannelsToFullRange) {
    BmpOptions o;
    o.bitsPerPixel = 16;
    o.useRawData = true;
    // 5-5-5: red, green, blue, (1, 1, 1), (16, 16, 16), one row of 5 pixels plus padding.
    o.rawData = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0x21, 0x04, 0x10, 0x42, 0, 0};
    EXPECT_EQ(Decoded(TBitmap::FromBytes(MakeBmp(o, 5, 1, {}))),
              (std::vector<Colour>{0xFF0000, 0x00FF00, 0x0000FF, 0x080808, 0x848484}));

    // 5-6-5 bit fields: full green and the smallest green.
    o.compression = test::kBmpBitfields;
    o.rawData = {0xE0, 0x07, 0x20, 0x00};
    TBitmap b = TBitmap::FromBytes(MakeBmp(o, 2, 1, {}));
    EXPECT_EQ(Decoded(b), (std::vector<Colour>{0x00FF00, 0x000400}));
    EXPECT_EQ(b.Format().greenMask, 0x07E0u);
}

TEST(Bitmap, BitFieldsWithoutTheirMasksAreFiveFiveFive) {
    // Some writers declare bit fields after a 40-byte header and put the
    // pixels right behind it.
    BmpOptions o;
    o.bitsPerPixel = 16;
    o.compression = test::kBmpBitfields;
    o.useRawData = true;
    o.rawData = {0x00, 0x7C, 0xE0, 0x03};
    ByteVector file = MakeBmp(o, 2, 1, {});
    file.erase(file.begin() + 54, file.begin() + 66);
    PutU32(file, 10, 54);
    EXPECT_EQ(Decoded(TBitmap::FromBytes(file)), (std::vector<Colour>{0xFF0000, 0x00FF00}));
    // Pixels that start inside where the masks would be are not valid.
    PutU32(file, 10, 58);
    file.insert(file.begin() + 54, 4, 0);
    ExpectInvalid(file, "pixels inside the masks");
}

struct FormatCase {
    const char* name;
    BmpHeader header;
    int bits;
    std::uint32_t compression;
    std::uint32_t masks[3] = {0, 0, 0};
};

class Formats : public ::testing::TestWithParam<std::tuple<FormatCase, bool>> {};

// 13 x 5 pictures (odd width, so rows carry padding) with runs and single pixels.
TEST_P(Formats, DecodeWhatTheBuilderStored) {
    const auto& [c, topDown] = GetParam();
    const int w = 13, h = 5;
    BmpOptions o;
    o.header = c.header;
    o.bitsPerPixel = c.bits;
    o.compression = c.compression;
    o.topDown = topDown;
    if (c.masks[0] | c.masks[1] | c.masks[2]) {
        o.redMask = c.masks[0];
        o.greenMask = c.masks[1];
        o.blueMask = c.masks[2];
    }
    std::vector<std::uint32_t> stored;
    std::vector<Colour> want;
    // Direct colours whose channels survive 5 and 6 bits exactly; any colour at 8 bits.
    const std::vector<Colour> sixteen = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFFFFFF, 0x00FFFF};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t v = (y == 2 || x < 4) ? std::uint32_t(y + 1) : std::uint32_t(x * 7 + y * 3);
            if (c.bits <= 8) {
                stored.push_back(v % (1u << c.bits));
            } else if (c.bits == 16) {
                stored.push_back(sixteen[v % sixteen.size()]);
            } else {
                stored.push_back((v * 0x9E3779B1u) >> 8);
            }
        }
    }
    if (c.bits <= 8) {
        o.palette = {0x102030, 0xFFFFFF, 0x000000, 0x808080, 0xFF0000};
        for (int i = 5; i < (1 << c.bits); ++i) o.palette.push_back((0x0A0B0Cu * i) & 0xFFFFFF);
        for (std::uint32_t index : stored) want.push_back(o.palette[index]);
    } else {
        want = stored;
    }
    ByteVector file = MakeBmp(o, w, h, stored);
    TBitmap b = TBitmap::FromBytes(file);
    EXPECT_EQ(Decoded(b), want);
    EXPECT_EQ(b.Width(), w);
    EXPECT_EQ(b.Height(), h);
    EXPECT_EQ(b.Format().topDown, topDown);
    EXPECT_EQ(b.Format().headerSize, static_cast<std::uint32_t>(c.header));
    EXPECT_EQ(b.Format().bitsPerPixel, c.bits);
    EXPECT_EQ(static_cast<std::uint32_t>(b.Format().compression), c.compression);
    EXPECT_EQ(b.FileBytes(), file);
}

const FormatCase kFormats[] = {
    {"Bits1", BmpHeader::Info, 1, test::kBmpRgb},
    {"Bits1Core", BmpHeader::Core, 1, test::kBmpRgb},
    {"Bits2", BmpHeader::Info, 2, test::kBmpRgb},
    {"Bits4", BmpHeader::Info, 4, test::kBmpRgb},
    {"Bits4Core", BmpHeader::Core, 4, test::kBmpRgb},
    {"Rle4", BmpHeader::Info, 4, test::kBmpRle4},
    {"Bits8", BmpHeader::Info, 8, test::kBmpRgb},
    {"Bits8Core", BmpHeader::Core, 8, test::kBmpRgb},
    {"Bits8V5", BmpHeader::V5, 8, test::kBmpRgb},
    {"Rle8", BmpHeader::Info, 8, test::kBmpRle8},
    {"Rle8Os2", BmpHeader::Os2, 8, test::kBmpRle8},
    {"Bits16", BmpHeader::Info, 16, test::kBmpRgb},
    {"Bits16Fields565", BmpHeader::Info, 16, test::kBmpBitfields, {0xF800, 0x07E0, 0x001F}},
    {"Bits16FieldsInV3", BmpHeader::V3, 16, test::kBmpBitfields, {0x001F, 0x03E0, 0x7C00}},
    {"Bits16AlphaFields", BmpHeader::Info, 16, test::kBmpAlphaBitfields, {0x0F00, 0x00F0, 0x000F}},
    {"Bits24", BmpHeader::Info, 24, test::kBmpRgb},
    {"Bits24Core", BmpHeader::Core, 24, test::kBmpRgb},
    {"Bits24V4", BmpHeader::V4, 24, test::kBmpRgb},
    {"Bits24Os2", BmpHeader::Os2, 24, test::kBmpRgb},
    {"Bits32", BmpHeader::Info, 32, test::kBmpRgb},
    {"Bits32FieldsV5", BmpHeader::V5, 32, test::kBmpBitfields, {0x0000FF00, 0x00FF0000, 0xFF000000}},
    {"Bits32FieldsV2", BmpHeader::V2, 32, test::kBmpBitfields, {0xFF0000, 0x00FF00, 0x0000FF}},
};

// Both directions, except for core headers, which store none.
std::vector<std::tuple<FormatCase, bool>> AllFormats() {
    std::vector<std::tuple<FormatCase, bool>> out;
    for (const FormatCase& c : kFormats) {
        out.emplace_back(c, false);
        if (c.header != BmpHeader::Core) out.emplace_back(c, true);
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Bitmap, Formats, ::testing::ValuesIn(AllFormats()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "TopDown" : "BottomUp");
                         });

TEST(Bitmap, ShortColourTablesLeaveLaterIndexesBlack) {
    BmpOptions o;
    o.bitsPerPixel = 8;
    o.palette = {0x112233, 0x445566, 0x778899};
    ByteVector file = MakeBmp(o, 4, 1, {0, 1, 2, 200});
    EXPECT_EQ(Decoded(TBitmap::FromBytes(file)), (std::vector<Colour>{0x112233, 0x445566, 0x778899, 0}));
    EXPECT_EQ(TBitmap::FromBytes(file).Format().colourTableSize, 3u);

    // The same table without a count: it ends where the pixels start.
    PutU32(file, 46, 0);
    EXPECT_EQ(Decoded(TBitmap::FromBytes(file)), (std::vector<Colour>{0x112233, 0x445566, 0x778899, 0}));
    // A count larger than the format allows reads no more than fits.
    PutU32(file, 46, 0xFFFFFFFF);
    EXPECT_EQ(TBitmap::FromBytes(file).Format().colourTableSize, 3u);

    // Skipped RLE pixels take the colour of index 0, black when there is no table.
    BmpOptions rle;
    rle.bitsPerPixel = 8;
    rle.compression = test::kBmpRle8;
    rle.useRawData = true;
    rle.rawData = {0x00, 0x02, 0x02, 0x00, 0x01, 0x05, 0x00, 0x01};  // jump 2 right, one pixel of 5
    EXPECT_EQ(Decoded(TBitmap::FromBytes(MakeBmp(rle, 4, 1, {}))), (std::vector<Colour>(4, 0)));
    rle.palette = {0x00AA00, 0, 0, 0, 0, 0x0000BB};
    EXPECT_EQ(Decoded(TBitmap::FromBytes(MakeBmp(rle, 4, 1, {}))),
              (std::vector<Colour>{0x00AA00, 0x00AA00, 0x0000BB, 0x00AA00}));
}

TEST(Bitmap, RleRunsStayInsideThePicture) {
    BmpOptions o;
    o.bitsPerPixel = 8;
    o.compression = test::kBmpRle8;
    o.palette = test::GreyPalette(256);
    o.useRawData = true;
    auto decode = [&](ByteVector data, int w, int h) {
        o.rawData = std::move(data);
        return Decoded(TBitmap::FromBytes(MakeBmp(o, w, h, {})));
    };
    // A run longer than the row is cut at the row's end; it does not wrap.
    EXPECT_EQ(decode({0xFF, 0x07, 0x00, 0x00, 0x01, 0x09}, 3, 2),
              (std::vector<Colour>{0x090909, 0, 0, 0x070707, 0x070707, 0x070707}));
    // So is a literal run, and its remaining bytes are still skipped.
    EXPECT_EQ(decode({0x00, 0x05, 1, 2, 3, 4, 5, 0x00, 0x00, 0x00, 0x01, 0x09}, 3, 2),
              (std::vector<Colour>{0x090909, 0, 0, 0x010101, 0x020202, 0x030303}));
    // Jumps beyond the top end the picture; jumps beyond the right edge clip.
    EXPECT_EQ(decode({0x01, 0x04, 0x00, 0x02, 0xFF, 0xFF, 0x01, 0x05}, 2, 2),
              (std::vector<Colour>{0, 0, 0x040404, 0}));
    EXPECT_EQ(decode({0x00, 0x02, 0xFF, 0x00, 0x01, 0x05, 0x00, 0x00, 0x01, 0x06}, 2, 2),
              (std::vector<Colour>{0x060606, 0, 0, 0}));
    // Rows past the last one are ignored; missing end marks end the picture.
    EXPECT_EQ(decode({0x02, 0x01, 0x00, 0x00, 0x02, 0x03, 0x00, 0x00, 0x02, 0x04}, 2, 1),
              (std::vector<Colour>{0x010101, 0x010101}));
    EXPECT_EQ(decode({0x01, 0x01}, 2, 1), (std::vector<Colour>{0x010101, 0}));

    // A literal run or a jump cut off by the end of the data is not valid.
    o.rawData = {0x00, 0x05, 1, 2};
    ExpectInvalid(MakeBmp(o, 8, 1, {}), "cut literal run");
    o.rawData = {0x00, 0x02, 0x01};
    ExpectInvalid(MakeBmp(o, 8, 1, {}), "cut jump");
}

TEST(Bitmap, RejectsDamagedFiles) {
    const ByteVector good = kTwoByTwo;
    auto with = [&](auto change) {
        ByteVector b = good;
        change(b);
        return b;
    };
    ExpectInvalid({}, "empty");
    ExpectInvalid({'B', 'M'}, "signature only");
    ExpectInvalid(with([](ByteVector& b) { b[0] = 'X'; }), "signature");
    ExpectInvalid(ByteVector(good.begin(), good.begin() + 30), "cut header");
    ExpectInvalid(with([](ByteVector& b) { PutU32(b, 14, 41); }), "header size");
    ExpectInvalid(with([](ByteVector& b) { PutU32(b, 18, 0); }), "width 0");
    ExpectInvalid(with([](ByteVector& b) { PutU32(b, 18, 0xFFFFFFFE); }), "width -2");
    ExpectInvalid(with([](ByteVector& b) { PutU32(b, 22, 0); }), "height 0");
    ExpectInvalid(with([](ByteVector& b) { PutU32(b, 22, 0x80000000); }), "height -2^31");
    ExpectInvalid(with([](ByteVector& b) { PutU16(b, 28, 3); }), "3 bits");
    ExpectInvalid(with([](ByteVector& b) { PutU16(b, 28, 0); }), "0 bits");
    ExpectInvalid(with([](ByteVector& b) { PutU32(b, 30, 1); }), "RLE8 at 24 bits");
    ExpectInvalid(with([](ByteVector& b) { PutU32(b, 30, 3); }), "bit fields at 24 bits");
    ExpectInvalid(with([](ByteVector& b) { PutU32(b, 30, 4); }), "JPEG");
    ExpectInvalid(with([](ByteVector& b) { PutU32(b, 10, 0x10000); }), "pixels beyond the end");
    ExpectInvalid(with([](ByteVector& b) { PutU32(b, 10, 20); }), "pixels inside the header");
    ExpectInvalid(ByteVector(good.begin(), good.end() - 3), "cut pixels");
    // Sizes whose products overflow 32 or 64 bits, with and without a pixel limit.
    auto huge = with([](ByteVector& b) {
        PutU32(b, 18, 0x7FFFFFFF);
        PutU32(b, 22, 0x7FFFFFFF);
        PutU16(b, 28, 32);
    });
    ExpectInvalid(huge, "2^31 x 2^31");
    EXPECT_THROW(TBitmap::FromBytes(huge, UINT64_MAX), EInvalidGraphic);
    auto wide = with([](ByteVector& b) {
        PutU32(b, 18, 0x40000000);
        PutU32(b, 22, 1);
    });
    EXPECT_THROW(TBitmap::FromBytes(wide, UINT64_MAX), EInvalidGraphic);
    EXPECT_THROW(TBitmap::FromBytes(good, 3), EInvalidGraphic);

    // Bit-field masks must be contiguous and inside the pixel.
    BmpOptions o;
    o.bitsPerPixel = 16;
    o.compression = test::kBmpBitfields;
    o.redMask = 0xF0F0;
    ExpectInvalid(MakeBmp(o, 1, 1, {0}), "split mask");
    o.redMask = 0x1F0000;
    ExpectInvalid(MakeBmp(o, 1, 1, {0}), "mask beyond 16 bits");
    // Masks that follow a 40-byte header are part of the file.
    o.redMask = 0xF800;
    ByteVector fields = MakeBmp(o, 1, 1, {0});
    ExpectInvalid(ByteVector(fields.begin(), fields.begin() + 60), "cut masks");
}

}  // namespace
}  // namespace vs
