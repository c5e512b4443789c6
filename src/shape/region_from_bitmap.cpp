#include "shape/region_from_bitmap.h"

#include <algorithm>

#include "package/store_win_region.h"

namespace vs {

namespace {

// The first pixel in [from, end) whose colour is (or is not) `colour`.
const Colour* FindFirst(const Colour* from, const Colour* end, Colour colour, bool equal) {
    const Colour* p = from;
    if (equal) {
        while (p < end && *p != colour) ++p;
    } else {
        while (p < end && *p == colour) ++p;
    }
    return p;
}

}  // namespace

std::vector<Rect> OpaqueRuns(const TBitmap& bitmap, Colour transparent, const RowProgress& progress) {
    std::vector<Rect> runs;
    const std::int32_t height = bitmap.Height();
    for (std::int32_t y = 0; y < height; ++y) {
        const std::span<const Colour> row = bitmap.Row(y);
        const Colour* begin = row.data();
        const Colour* end = begin + row.size();
        const Colour* p = begin;
        while ((p = FindFirst(p, end, transparent, false)) != end) {
            const Colour* runEnd = FindFirst(p, end, transparent, true);
            runs.push_back({static_cast<std::int32_t>(p - begin), y, static_cast<std::int32_t>(runEnd - begin), y + 1});
            p = runEnd;
        }
        if (progress) progress(y, height);
    }
    return runs;
}

Region BitmapToRegion(const TBitmap& bitmap, Colour transparent, const RowProgress& progress) {
    return Region::fromRects(OpaqueRuns(bitmap, transparent, progress));
}

void SetShapeFromBitmap(TStoreWinRegion& store, const TBitmap& bitmap, Colour transparent,
                        const RowProgress& progress) {
    store.RegionHolder().SetHandle(BitmapToRegion(bitmap, transparent, progress));
    store.Width = bitmap.Width();
    store.Height = bitmap.Height();
}

}  // namespace vs
