// The shape store: region bytes in the stream, copying, clearing and scaling.
#include <gtest/gtest.h>

#include <cstring>

#include "package/filer.h"
#include "package/vexel_projector.h"
#include "test_bytes.h"

namespace vs {
namespace {

using test::B;
using test::ByteVec;

ByteVec OneRectRegion(int l, int t, int r, int b) {
    return B{}.u32(32).u32(1).u32(1).u32(16).u32(l).u32(t).u32(r).u32(b).u32(l).u32(t).u32(r).u32(b).v;
}

ByteVec Write(s_TVexelProjector& p) {
    TMemoryStream ms;
    WriteComponentToStream(ms, p);
    return ms.release();
}

TEST(ShapeStore, OneRectangleEntryBytes) {
    s_TVexelProjector p;
    TStoreWinRegion source;
    Rect rc{1, 2, 30, 40};
    source.RegionHolder().SetHandle(Region::fromRects({&rc, 1}));
    source.Width = 30;
    source.Height = 40;
    EXPECT_TRUE(source.Empty()) << "a live region without cached bytes is empty";
    p.Shape().Assign(source);
    EXPECT_FALSE(p.Shape().Empty());
    B entry;
    entry.s("Shape.Width")({2, 30}).s("Shape.Height")({2, 40});
    entry.s("Shape.TheRegion")({0x0A, 0x34, 0, 0, 0, 0x30, 0, 0, 0});
    ByteVec region = OneRectRegion(1, 2, 30, 40);
    entry.v.insert(entry.v.end(), region.begin(), region.end());
    std::string all = test::Hex(Write(p));
    EXPECT_NE(all.find(test::Hex(entry.v)), std::string::npos) << all;
}

TEST(ShapeStore, HandleOnlyStoreWritesNoRegion) {
    s_TVexelProjector p;
    Rect rc{0, 0, 5, 5};
    p.Shape().RegionHolder().SetHandle(Region::fromRects({&rc, 1}));
    EXPECT_EQ(test::Hex(Write(p)).find("TheRegion"), std::string::npos);
}

TEST(ShapeStore, AssignFromStoreWithoutRegionEmptiesButKeepsSize) {
    TStoreWinRegion a, b;
    Rect rc{0, 0, 5, 5};
    a.RegionHolder().SetHandle(Region::fromRects({&rc, 1}));
    b.Assign(a);
    b.Width = 9;
    TStoreWinRegion none;
    b.Assign(none);
    EXPECT_TRUE(b.Empty());
    EXPECT_EQ(b.RegionHolder().Handle(), nullptr);
    EXPECT_EQ(b.Width, 9);
}

TEST(ShapeStore, RoundTripThroughTheStream) {
    s_TVexelProjector a;
    std::vector<Rect> rects = {{0, 0, 10, 2}, {3, 2, 7, 5}, {0, 5, 2, 6}, {8, 5, 10, 6}};
    TStoreWinRegion src;
    src.RegionHolder().SetHandle(Region::fromRects(rects));
    src.Width = 10;
    src.Height = 6;
    a.Shape().Assign(src);
    TMemoryStream ms(Write(a));
    s_TVexelProjector b;
    ReadComponentFromStream(ms, b);
    ASSERT_NE(b.Shape().RegionHolder().Handle(), nullptr);
    EXPECT_EQ(b.Shape().RegionHolder().Handle()->rects(), rects);
    EXPECT_EQ(b.Shape().Width, 10);
    EXPECT_EQ(b.Shape().Height, 6);
    EXPECT_EQ(b.Shape().RegionData(), a.Shape().RegionData());
}

TEST(ShapeStore, BadRegionBytesLeaveNoLiveRegion) {
    ByteVec junk = OneRectRegion(0, 0, 4, 4);
    junk[4] = 2;  // not a rectangle list
    B payload;
    payload.u32(static_cast<std::uint32_t>(junk.size()));
    payload.v.insert(payload.v.end(), junk.begin(), junk.end());
    TStoreWinRegion store;
    TMemoryStream ms(payload.v);
    store.ReadData(ms);
    EXPECT_FALSE(store.Empty());
    EXPECT_EQ(store.RegionHolder().Handle(), nullptr);
    TMemoryStream out;
    store.WriteData(out);
    EXPECT_EQ(out.release(), (ByteVec{0, 0, 0, 0}));
}

TEST(ShapeStore, UnorderedOverlappingRectanglesAreNormalised) {
    ByteVec data = B{}.u32(32).u32(1).u32(2).u32(32).u32(0).u32(0).u32(0).u32(0)
                       .u32(5).u32(0).u32(10).u32(10)
                       .u32(0).u32(0).u32(6).u32(10)
                       .v;
    auto r = Region::fromRegionData(data);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->regionData(), OneRectRegion(0, 0, 10, 10));
}

TEST(ShapeStore, ScaleByTwo) {
    TStoreWinRegion s;
    ByteVec payload = B{}.u32(48).v;
    ByteVec region = OneRectRegion(0, 0, 10, 5);
    payload.insert(payload.end(), region.begin(), region.end());
    TMemoryStream ms(payload);
    s.ReadData(ms);
    s.Width = 10;
    s.Height = 5;
    s.ScaleRegion(2.0);
    EXPECT_EQ(s.RegionData(), OneRectRegion(0, 0, 20, 10));
    EXPECT_EQ(s.Width, 20);
    EXPECT_EQ(s.Height, 10);
    ASSERT_NE(s.RegionHolder().Handle(), nullptr);
    EXPECT_EQ(s.RegionHolder().Handle()->bounds(), (Rect{0, 0, 20, 10}));
}

TEST(ShapeStore, ScaleRoundsHalfToEven) {
    EXPECT_EQ(ScaleCoordinate(3, 0.5), 2);
    EXPECT_EQ(ScaleCoordinate(5, 0.5), 2);
    EXPECT_EQ(ScaleCoordinate(7, 0.5), 4);
    EXPECT_EQ(ScaleCoordinate(-3, 0.5), -2);
    EXPECT_EQ(ScaleCoordinate(INT32_MAX, 2.0), INT32_MAX);
    TStoreWinRegion s;
    Rect rc{3, 5, 7, 9};
    s.RegionHolder().SetHandle(Region::fromRects({&rc, 1}));
    s.ScaleRegion(0.5);  // takes the live region's bytes first
    EXPECT_EQ(s.RegionData(), OneRectRegion(2, 2, 4, 4));
}

TEST(ShapeStore, ClearDropsEverythingButTheSize) {
    TStoreWinRegion s;
    Rect rc{0, 0, 2, 2};
    s.RegionHolder().SetHandle(Region::fromRects({&rc, 1}));
    s.Width = 2;
    s.Clear();
    EXPECT_TRUE(s.Empty());
    EXPECT_EQ(s.RegionHolder().Handle(), nullptr);
    EXPECT_EQ(s.Width, 2);
}

}  // namespace
}  // namespace vs
