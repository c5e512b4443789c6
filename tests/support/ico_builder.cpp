#include "support/ico_builder.h"

#include "support/le_bytes.h"

#include <zlib.h>

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace vs::test {

namespace {
std::size_t rowBytes(int w, int bits) { return ((static_cast<std::size_t>(w) * bits + 31) / 32) * 4; }
}  // namespace

IcoImage DibIcon(int width, int height, int bitCount, const std::vector<std::uint32_t>& palette, const PixelFn& pixel,
                 const MaskFn& mask, bool withMask) {
    IcoImage img{width, height, bitCount, {}};
    IcoBytes& b = img.data;
    const std::size_t colorRow = rowBytes(width, bitCount), maskRow = rowBytes(width, 1);
    AppendLe32(b, 40);
    AppendLe32(b, static_cast<std::uint32_t>(width));
    AppendLe32(b, static_cast<std::uint32_t>(2 * height));
    AppendLe16(b, 1);
    AppendLe16(b, static_cast<std::uint32_t>(bitCount));
    AppendLe32(b, 0);
    AppendLe32(b, static_cast<std::uint32_t>(colorRow * height));
    AppendLe32(b, 0);
    AppendLe32(b, 0);
    AppendLe32(b, bitCount <= 8 ? static_cast<std::uint32_t>(palette.size()) : 0);
    AppendLe32(b, 0);
    if (bitCount <= 8)
        for (std::uint32_t c : palette) AppendLe32(b, c & 0xFFFFFF);
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;
        IcoBytes line(colorRow, 0);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = pixel(x, y);
            switch (bitCount) {
                case 1: line[x / 8] |= static_cast<std::uint8_t>((v & 1) << (7 - x % 8)); break;
                case 4: line[x / 2] |= static_cast<std::uint8_t>((v & 15) << (x % 2 ? 0 : 4)); break;
                case 8: line[x] = static_cast<std::uint8_t>(v); break;
                case 16: {  // 5-5-5: the top five bits of each channel
                    const std::uint32_t c = ((v >> 19) & 31) << 10 | ((v >> 11) & 31) << 5 | ((v >> 3) & 31);
                    line[2 * x] = c & 0xFF, line[2 * x + 1] = static_cast<std::uint8_t>(c >> 8);
                    break;
                }
                case 24:
                    line[3 * x] = v & 0xFF, line[3 * x + 1] = (v >> 8) & 0xFF, line[3 * x + 2] = (v >> 16) & 0xFF;
                    break;
                case 32: std::memcpy(&line[4 * x], &v, 4); break;
                default: throw std::invalid_argument("bit count");
            }
        }
        b.insert(b.end(), line.begin(), line.end());
    }
    if (withMask)
        for (int row = 0; row < height; ++row) {
            const int y = height - 1 - row;
            IcoBytes line(maskRow, 0);
            for (int x = 0; x < width; ++x)
                if (mask && mask(x, y)) line[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            b.insert(b.end(), line.begin(), line.end());
        }
    return img;
}

namespace {

void AppendBe32(IcoBytes& b, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<std::uint8_t>(v >> shift));
}

// One chunk: length, type, data, and the CRC of type and data.
void AppendChunk(IcoBytes& b, const char* type, const IcoBytes& data) {
    AppendBe32(b, static_cast<std::uint32_t>(data.size()));
    const std::size_t typeAt = b.size();
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), data.begin(), data.end());
    AppendBe32(b, static_cast<std::uint32_t>(crc32(0, b.data() + typeAt, static_cast<uInt>(b.size() - typeAt))));
}

}  // namespace

// An 8-bit RGBA PNG: every row unfiltered, the whole picture in one IDAT.
IcoImage PngIcon(int width, int height, const PixelFn& argb) {
    IcoBytes raw;
    raw.reserve(static_cast<std::size_t>(height) * (1 + static_cast<std::size_t>(width) * 4));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < width; ++x) {
            const std::uint32_t v = argb(x, y);
            raw.insert(raw.end(), {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                                   static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 24)});
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    IcoBytes packed(packedSize);
    if (compress(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size())) != Z_OK)
        throw std::runtime_error("png deflate");
    packed.resize(packedSize);

    IcoBytes header;
    AppendBe32(header, static_cast<std::uint32_t>(width));
    AppendBe32(header, static_cast<std::uint32_t>(height));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter method, no interlace
    IcoImage img{width, height, 32, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}};
    AppendChunk(img.data, "IHDR", header);
    AppendChunk(img.data, "IDAT", packed);
    AppendChunk(img.data, "IEND", {});
    return img;
}

IcoBytes IcoFile(const std::vector<IcoImage>& images, std::uint16_t type) {
    IcoBytes b;
    AppendLe16(b, 0);
    AppendLe16(b, type);
    AppendLe16(b, static_cast<std::uint32_t>(images.size()));
    std::size_t offset = 6 + 16 * images.size();
    for (const IcoImage& img : images) {
        b.push_back(static_cast<std::uint8_t>(img.width));
        b.push_back(static_cast<std::uint8_t>(img.height));
        b.push_back(img.bitCount < 8 ? static_cast<std::uint8_t>(1u << img.bitCount) : 0);
        b.push_back(0);
        AppendLe16(b, 1);
        AppendLe16(b, static_cast<std::uint32_t>(img.bitCount));
        AppendLe32(b, static_cast<std::uint32_t>(img.data.size()));
        AppendLe32(b, static_cast<std::uint32_t>(offset));
        offset += img.data.size();
    }
    for (const IcoImage& img : images) b.insert(b.end(), img.data.begin(), img.data.end());
    return b;
}

void WriteBytes(const std::string& path, const IcoBytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::uint32_t> StandardPalette16() {
    return {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
            0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
}

}  // namespace vs::test
