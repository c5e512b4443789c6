#pragma once
// The window shape of a picture: every pixel whose colour differs from one
// transparent colour.
#include <vector>

#include "platform/region.h"
#include "platform/user_interface.h"
#include "shape/bitmap.h"

namespace vs {

class TStoreWinRegion;

// One rectangle per maximal run of pixels that differ from `transparent`, row
// by row from the top, left to right within a row. Before each row pending
// messages are processed once; after it, progress(row, height) is reported.
std::vector<Rect> OpaqueRuns(const TBitmap& bitmap, Colour transparent, UserInterface& ui);

// The region of all pixels that differ from `transparent`, in the bitmap's own
// pixel coordinates, built from OpaqueRuns; progressDone() is reported once the
// region exists. An all-transparent picture gives an empty region.
Region BitmapToRegion(const TBitmap& bitmap, Colour transparent, UserInterface& ui);

// Makes `store` hold the shape of the picture as the shape window does: the
// live region from BitmapToRegion and the picture's width and height. The
// store's cached bytes are left alone, so it stays Empty until it is assigned
// to another store.
void SetShapeFromBitmap(TStoreWinRegion& store, const TBitmap& bitmap, Colour transparent, UserInterface& ui);

}  // namespace vs
