// Arbitrary bytes as a BMP file: the decoder must refuse them with "Bitmap
// image is not valid" or give a whole picture, and the region cut from that
// picture must cover exactly its non-transparent pixels.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/errors.h"
#include "shape/bitmap.h"
#include "shape/region_from_bitmap.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vs::TBitmap bmp;
    try {
        // A small pixel limit keeps every run fast; the limit itself is tested elsewhere.
        bmp = vs::TBitmap::FromBytes(std::vector<std::uint8_t>(data, data + size), std::uint64_t{1} << 20);
    } catch (const vs::EInvalidGraphic&) {
        return 0;
    }
    Check(bmp.FileBytes().size() == size && (size == 0 || std::memcmp(bmp.FileBytes().data(), data, size) == 0));
    Check(bmp.Width() > 0 && bmp.Height() > 0);
    Check(bmp.Pixels().size() == std::size_t(bmp.Width()) * std::size_t(bmp.Height()));

    const vs::Colour transparent = bmp.Pixel(0, 0);
    std::uint64_t opaque = 0;
    for (vs::Colour c : bmp.Pixels()) {
        Check(c <= 0xFFFFFF);
        opaque += c != transparent;
    }
    const vs::Region region = vs::BitmapToRegion(bmp, transparent);
    Check(region.area() == opaque);
    if (!region.empty()) {
        const vs::Rect b = region.bounds();
        Check(b.left >= 0 && b.top >= 0 && b.right <= bmp.Width() && b.bottom <= bmp.Height());
    }
    return 0;
}
