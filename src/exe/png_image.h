#pragma once
// PNG pictures inside icon files, decoded by a library that each platform
// has: libpng on Linux, the platform's own imaging component (WIC) on Windows.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vs {

struct PngPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra;  // rows top-down, 4 bytes per pixel: blue, green, red, alpha
};

// The pixels of a PNG picture, or nothing when the bytes are no picture the
// decoder reads or a side is 0 or larger than maxSide.
std::optional<PngPixels> DecodePng(std::span<const std::uint8_t> bytes, int maxSide);

}  // namespace vs
