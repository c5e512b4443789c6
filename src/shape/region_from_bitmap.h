#pragma once
// The window shape of a picture: every pixel whose colour differs from one
// transparent colour.
#include <functional>
#include <vector>

#include "platform/region.h"
#include "shape/bitmap.h"

namespace vs {

class TStoreWinRegion;

// Told after each scanned row: the row's index (from 0) and the height.
using RowProgress = std::function<void(std::int32_t row, std::int32_t height)>;

// One rectangle per maximal run of pixels that differ from `transparent`, row
// by row from the top, left to right within a row.
std::vector<Rect> OpaqueRuns(const TBitmap& bitmap, Colour transparent, const RowProgress& progress = {});

// The region of all pixels that differ from `transparent`, in the bitmap's own
// pixel coordinates, built from OpaqueRuns. An all-transparent picture gives
// an empty region.
Region BitmapToRegion(const TBitmap& bitmap, Colour transparent, const RowProgress& progress = {});

// Makes `store` hold the shape of the picture as the shape window does: the
// live region from BitmapToRegion and the picture's width and height. The
// store's cached bytes are left alone, so it stays Empty until it is assigned
// to another store.
void SetShapeFromBitmap(TStoreWinRegion& store, const TBitmap& bitmap, Colour transparent,
                        const RowProgress& progress = {});

}  // namespace vs
