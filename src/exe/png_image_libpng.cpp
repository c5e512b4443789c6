// PNG decoding through libpng's simplified API. Windows builds use the
// platform's decoder instead (png_image_wic.cpp).
#ifndef _WIN32

#include <png.h>

#include <cstring>

#include "exe/png_image.h"

namespace vs {

std::optional<PngPixels> DecodePng(std::span<const std::uint8_t> bytes, int maxSide) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) return std::nullopt;
    if (png.width == 0 || png.height == 0 || png.width > static_cast<png_uint_32>(maxSide) ||
        png.height > static_cast<png_uint_32>(maxSide)) {
        png_image_free(&png);
        return std::nullopt;
    }
    png.format = PNG_FORMAT_BGRA;
    PngPixels out;
    out.bgra.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, out.bgra.data(), 0, nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    out.width = static_cast<int>(png.width);
    out.height = static_cast<int>(png.height);
    png_image_free(&png);
    return out;
}

}  // namespace vs

#endif  // _WIN32
