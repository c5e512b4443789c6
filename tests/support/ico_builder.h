#pragma once
// Icon files (.ico) for tests: DIB images of 1, 4, 8, 16 (5-5-5), 24 and 32
// bits with their masks, and PNG-compressed images.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vs::test {

using IcoBytes = std::vector<std::uint8_t>;

// Colour of pixel (x, y), rows top-down: a palette index for 1 to 8 bits,
// 0xAARRGGBB otherwise.
using PixelFn = std::function<std::uint32_t(int x, int y)>;
// Whether the mask makes pixel (x, y) transparent.
using MaskFn = std::function<bool(int x, int y)>;

struct IcoImage {
    int width = 0, height = 0, bitCount = 0;
    IcoBytes data;  // as stored in the file or in an executable
};

// A DIB icon image: header (height doubled), palette (0x00RRGGBB entries,
// bitCount <= 8), colour rows and mask rows, bottom-up. `withMask` false
// leaves the mask rows out.
IcoImage DibIcon(int width, int height, int bitCount, const std::vector<std::uint32_t>& palette, const PixelFn& pixel,
                 const MaskFn& mask = {}, bool withMask = true);
// A PNG-compressed icon image with an alpha channel.
IcoImage PngIcon(int width, int height, const PixelFn& argb);

// An icon file holding the images in order; `type` 1 is an icon, 2 a cursor.
IcoBytes IcoFile(const std::vector<IcoImage>& images, std::uint16_t type = 1);

void WriteBytes(const std::string& path, const IcoBytes& bytes);

// The 16 standard colours, for 4-bit images.
std::vector<std::uint32_t> StandardPalette16();

}  // namespace vs::test
