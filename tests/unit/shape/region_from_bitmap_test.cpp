// The region of the non-transparent pixels of a picture.
#include "shape/region_from_bitmap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/store_win_region.h"
#include "support/bmp_builder.h"

namespace vs {
namespace {

constexpr Colour kT = 0xFF00FF;  // transparent in these tests
constexpr Colour kO = 0x123456;  // any other colour

TBitmap Picture(int w, int h, const std::vector<Colour>& pixels) {
    return TBitmap::FromBytes(test::MakeBmp({}, w, h, pixels));
}

std::vector<std::uint32_t> Words(const std::vector<std::uint8_t>& bytes) {
    std::vector<std::uint32_t> out(bytes.size() / 4);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = bytes[4 * i] | (bytes[4 * i + 1] << 8) | (bytes[4 * i + 2] << 16) | (std::uint32_t(bytes[4 * i + 3]) << 24);
    return out;
}

TEST(RegionFromBitmap, AllTransparentGivesAnEmptyRegion) {
    TBitmap b = Picture(4, 3, std::vector<Colour>(12, kT));
    EXPECT_TRUE(OpaqueRuns(b, kT).empty());
    Region r = BitmapToRegion(b, kT);
    EXPECT_TRUE(r.empty());
    EXPECT_EQ(Words(r.regionData()), (std::vector<std::uint32_t>{32, 1, 0, 0, 0, 0, 0, 0}));
}

TEST(RegionFromBitmap, NoTransparentPixelGivesOneRunPerRowAndOneRectangle) {
    TBitmap b = Picture(4, 3, std::vector<Colour>(12, kO));
    EXPECT_EQ(OpaqueRuns(b, kT), (std::vector<Rect>{{0, 0, 4, 1}, {0, 1, 4, 2}, {0, 2, 4, 3}}));
    // The region's bytes are in the canonical banded form: equal rows merge.
    EXPECT_EQ(Words(BitmapToRegion(b, kT).regionData()),
              (std::vector<std::uint32_t>{32, 1, 1, 16, 0, 0, 4, 3, 0, 0, 4, 3}));
}

TEST(RegionFromBitmap, OpaqueTransparentOpaque) {
    TBitmap b = Picture(3, 1, {kO, kT, kO});
    EXPECT_EQ(OpaqueRuns(b, kT), (std::vector<Rect>{{0, 0, 1, 1}, {2, 0, 3, 1}}));
    EXPECT_EQ(Words(BitmapToRegion(b, kT).regionData()),
              (std::vector<std::uint32_t>{32, 1, 2, 32, 0, 0, 3, 1, 0, 0, 1, 1, 2, 0, 3, 1}));
}

TEST(RegionFromBitmap, EdgeColumnsBelongExactlyWhenOpaque) {
    // Colours one bit away from the transparent one are opaque.
    const Colour near = kT ^ 1;
    TBitmap b = Picture(5, 3, {near, kT, kT, kT, kO,  //
                               kT, kO, kO, kO, kT,    //
                               kT, kT, kT, kT, kT});
    EXPECT_EQ(OpaqueRuns(b, kT), (std::vector<Rect>{{0, 0, 1, 1}, {4, 0, 5, 1}, {1, 1, 4, 2}}));
    Region r = BitmapToRegion(b, kT);
    EXPECT_EQ(r.bounds(), (Rect{0, 0, 5, 2}));
    EXPECT_EQ(r.area(), 5u);
}

TEST(RegionFromBitmap, ReportsEveryRow) {
    std::string log;
    BitmapToRegion(Picture(2, 4, std::vector<Colour>(8, kO)), kT,
                   [&](int row, int height) { log += "p" + std::to_string(row) + "/" + std::to_string(height); });
    EXPECT_EQ(log, "p0/4p1/4p2/4p3/4");

    int calls = 0;
    BitmapToRegion(Picture(3, 7, std::vector<Colour>(21, kT)), kT, [&](int, int) { ++calls; });
    EXPECT_EQ(calls, 7);
}

TEST(RegionFromBitmap, CoversExactlyTheOpaquePixels) {
    // A picture of noise from a small generator: every run length and position.
    const int w = 61, h = 37;
    std::vector<Colour> pixels;
    std::uint32_t seed = 12345;
    for (int i = 0; i < w * h; ++i) {
        seed = seed * 1103515245 + 12345;
        pixels.push_back((seed >> 16) % 3 == 0 ? kT : (seed >> 8) & 0xFFFFFF);
    }
    TBitmap b = Picture(w, h, pixels);
    Region r = BitmapToRegion(b, kT);
    for (int y = -1; y <= h; ++y)
        for (int x = -1; x <= w; ++x) {
            const bool opaque = x >= 0 && y >= 0 && x < w && y < h && b.Pixel(x, y) != kT;
            ASSERT_EQ(r.contains(x, y), opaque) << x << ", " << y;
        }
    // Rectangles come top to bottom, left to right, without overlap.
    const std::vector<Rect> rects = r.rects();
    for (std::size_t i = 1; i < rects.size(); ++i) {
        const Rect& a = rects[i - 1];
        const Rect& c = rects[i];
        EXPECT_TRUE(a.top < c.top || (a.top == c.top && a.bottom == c.bottom && a.right < c.left)) << i;
    }
}

TEST(RegionFromBitmap, ShapeStoreGetsTheRegionAndPictureSize) {
    TStoreWinRegion shape;
    SetShapeFromBitmap(shape, Picture(3, 2, {kO, kT, kO, kT, kT, kT}), kT);
    ASSERT_NE(shape.RegionHolder().Handle(), nullptr);
    EXPECT_EQ(shape.RegionHolder().Handle()->rects(), (std::vector<Rect>{{0, 0, 1, 1}, {2, 0, 3, 1}}));
    EXPECT_EQ(shape.Width, 3);
    EXPECT_EQ(shape.Height, 2);
    EXPECT_TRUE(shape.Empty());  // filled through the handle only

    TStoreWinRegion settingsShape;
    settingsShape.Assign(shape);
    EXPECT_FALSE(settingsShape.Empty());
    EXPECT_EQ(settingsShape.RegionDataSize(), 64);
}

}  // namespace
}  // namespace vs
