#pragma once
// Writes BMP files of every format for tests, benchmarks and fuzz seeds.
#include <cstdint>
#include <string>
#include <vector>

namespace vs::test {

// Sizes of the information header.
enum class BmpHeader : std::uint32_t { Core = 12, Info = 40, V2 = 52, V3 = 56, Os2 = 64, V4 = 108, V5 = 124 };

enum BmpCompression : std::uint32_t {
    kBmpRgb = 0,
    kBmpRle8 = 1,
    kBmpRle4 = 2,
    kBmpBitfields = 3,
    kBmpAlphaBitfields = 6,
};

struct BmpOptions {
    BmpHeader header = BmpHeader::Info;
    int bitsPerPixel = 24;
    std::uint32_t compression = kBmpRgb;
    bool topDown = false;  // stored with a negative height (not in core files)
    // Indexed formats: the colour table (0xRRGGBB), written as given, so it may
    // be shorter than 2^bits. biClrUsed is its length when shorter, otherwise 0.
    std::vector<std::uint32_t> palette;
    // Masks written for bit-field compressions (16 bits: 5-6-5 unless changed).
    std::uint32_t redMask = 0xF800, greenMask = 0x07E0, blueMask = 0x001F, alphaMask = 0;
    // When set, written as the pixel data instead of encoding the pixels
    // (hand-made RLE streams, cut-off data).
    std::vector<std::uint8_t> rawData;
    bool useRawData = false;
};

// A whole BMP file. `pixels` holds width * height values, top row first:
// colour-table indexes for 1 to 8 bits per pixel (RLE8 and RLE4 included),
// colours 0xRRGGBB otherwise, narrowed to each mask's width (the top bits of
// each channel) for 16 and 32 bits. RLE data ends rows with end-of-line marks
// and the picture with an end-of-picture mark.
std::vector<std::uint8_t> MakeBmp(const BmpOptions& options, int width, int height,
                                  const std::vector<std::uint32_t>& pixels);

// Greyscale table: entry i has the colour (i, i, i).
std::vector<std::uint32_t> GreyPalette(int entries);

// Patching files in damage tests.
void PutU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value);
void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace vs::test
