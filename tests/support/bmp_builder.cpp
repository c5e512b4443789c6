#include "support/bmp_builder.h"

#include <bit>
#include <fstream>
#include <stdexcept>

namespace vs::test {

namespace {

using ByteVector = std::vector<std::uint8_t>;

void Append16(ByteVector& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Append32(ByteVector& out, std::uint32_t v) {
    Append16(out, v);
    Append16(out, v >> 16);
}

// One 8-bit channel narrowed to the width of `mask` and moved into place.
std::uint32_t PackChannel(std::uint32_t channel, std::uint32_t mask) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    const std::uint32_t value = bits >= 8 ? channel << (bits - 8) : channel >> (8 - bits);
    return (value << shift) & mask;
}

struct Masks {
    std::uint32_t red, green, blue;
};

Masks MasksFor(const BmpOptions& o) {
    if (o.compression == kBmpBitfields || o.compression == kBmpAlphaBitfields)
        return {o.redMask, o.greenMask, o.blueMask};
    if (o.bitsPerPixel == 16) return {0x7C00, 0x03E0, 0x001F};
    return {0xFF0000, 0x00FF00, 0x0000FF};
}

std::uint32_t PackColour(std::uint32_t colour, const Masks& m) {
    return PackChannel((colour >> 16) & 0xFF, m.red) | PackChannel((colour >> 8) & 0xFF, m.green) |
           PackChannel(colour & 0xFF, m.blue);
}

// Rows in storage order: bottom row first unless top-down.
int RowOfFileRow(const BmpOptions& o, int height, int fileRow) { return o.topDown ? fileRow : height - 1 - fileRow; }

ByteVector EncodeRows(const BmpOptions& o, int width, int height, const std::vector<std::uint32_t>& pixels) {
    const int bpp = o.bitsPerPixel;
    const std::size_t stride = (static_cast<std::size_t>(width) * bpp + 31) / 32 * 4;
    const Masks masks = MasksFor(o);
    ByteVector out;
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        const std::uint32_t* row = pixels.data() + static_cast<std::size_t>(RowOfFileRow(o, height, fileRow)) * width;
        ByteVector line(stride, 0);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            switch (bpp) {
                case 1: case 2: case 4: case 8: {
                    const int bit = x * bpp;
                    line[bit / 8] |= static_cast<std::uint8_t>((p & ((1u << bpp) - 1)) << (8 - bpp - bit % 8));
                    break;
                }
                case 16: {
                    const std::uint32_t v = PackColour(p, masks);
                    line[2 * x] = static_cast<std::uint8_t>(v);
                    line[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                    break;
                }
                case 24:
                    line[3 * x] = static_cast<std::uint8_t>(p);
                    line[3 * x + 1] = static_cast<std::uint8_t>(p >> 8);
                    line[3 * x + 2] = static_cast<std::uint8_t>(p >> 16);
                    break;
                case 32: {
                    const std::uint32_t v = PackColour(p, masks);
                    for (int i = 0; i < 4; ++i) line[4 * x + i] = static_cast<std::uint8_t>(v >> (8 * i));
                    break;
                }
                default:
                    throw std::invalid_argument("bits per pixel");
            }
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

// Runs of three or more equal indexes become encoded runs; other stretches
// become literal runs (or short encoded runs when fewer than three pixels).
ByteVector EncodeRle(const BmpOptions& o, int width, int height, const std::vector<std::uint32_t>& pixels) {
    const bool rle4 = o.compression == kBmpRle4;
    auto pair = [&](std::uint32_t index) {
        return static_cast<std::uint8_t>(rle4 ? ((index & 15) << 4) | (index & 15) : index);
    };
    ByteVector out;
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        const std::uint32_t* row = pixels.data() + static_cast<std::size_t>(RowOfFileRow(o, height, fileRow)) * width;
        int x = 0;
        while (x < width) {
            int j = x;
            while (j < width && row[j] == row[x] && j - x < 255) ++j;
            if (j - x >= 3) {
                out.push_back(static_cast<std::uint8_t>(j - x));
                out.push_back(pair(row[x]));
                x = j;
                continue;
            }
            int k = x;
            while (k < width && k - x < 255) {
                if (k + 2 < width && row[k] == row[k + 1] && row[k] == row[k + 2]) break;
                ++k;
            }
            const int n = k - x;
            if (n < 3) {
                for (int i = x; i < k; ++i) {
                    out.push_back(1);
                    out.push_back(pair(row[i]));
                }
            } else {
                out.push_back(0);
                out.push_back(static_cast<std::uint8_t>(n));
                ByteVector literal;
                for (int i = 0; i < n; ++i) {
                    if (!rle4) literal.push_back(static_cast<std::uint8_t>(row[x + i]));
                    else if (i % 2 == 0) literal.push_back(static_cast<std::uint8_t>((row[x + i] & 15) << 4));
                    else literal.back() |= static_cast<std::uint8_t>(row[x + i] & 15);
                }
                if (literal.size() % 2) literal.push_back(0);
                out.insert(out.end(), literal.begin(), literal.end());
            }
            x = k;
        }
        out.push_back(0);
        out.push_back(fileRow + 1 == height ? 1 : 0);
    }
    return out;
}

}  // namespace

std::vector<std::uint8_t> MakeBmp(const BmpOptions& o, int width, int height, const std::vector<std::uint32_t>& pixels) {
    if (!o.useRawData && pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        throw std::invalid_argument("pixel count");
    ByteVector data;
    if (o.useRawData) data = o.rawData;
    else if (o.compression == kBmpRle8 || o.compression == kBmpRle4) data = EncodeRle(o, width, height, pixels);
    else data = EncodeRows(o, width, height, pixels);

    const auto headerSize = static_cast<std::uint32_t>(o.header);
    const bool core = o.header == BmpHeader::Core;
    const bool bitfields = o.compression == kBmpBitfields || o.compression == kBmpAlphaBitfields;
    const std::uint32_t fullTable = o.bitsPerPixel <= 8 ? 1u << o.bitsPerPixel : 0;
    const std::uint32_t clrUsed = o.palette.size() < fullTable ? static_cast<std::uint32_t>(o.palette.size()) : 0;

    ByteVector info;
    Append32(info, headerSize);
    if (core) {
        Append16(info, static_cast<std::uint32_t>(width));
        Append16(info, static_cast<std::uint32_t>(height));
        Append16(info, 1);
        Append16(info, static_cast<std::uint32_t>(o.bitsPerPixel));
    } else {
        Append32(info, static_cast<std::uint32_t>(width));
        Append32(info, static_cast<std::uint32_t>(o.topDown ? -height : height));
        Append16(info, 1);
        Append16(info, static_cast<std::uint32_t>(o.bitsPerPixel));
        Append32(info, o.compression);
        Append32(info, static_cast<std::uint32_t>(data.size()));
        Append32(info, 2835);  // 72 dpi
        Append32(info, 2835);
        Append32(info, clrUsed);
        Append32(info, 0);
        const bool masksInHeader = bitfields && headerSize >= 52 && o.header != BmpHeader::Os2;
        if (masksInHeader) {
            Append32(info, o.redMask);
            Append32(info, o.greenMask);
            Append32(info, o.blueMask);
            if (headerSize >= 56) Append32(info, o.alphaMask);
        }
        info.resize(headerSize, 0);
        if (bitfields && o.header == BmpHeader::Info) {
            Append32(info, o.redMask);
            Append32(info, o.greenMask);
            Append32(info, o.blueMask);
            if (o.compression == kBmpAlphaBitfields) Append32(info, o.alphaMask);
        }
    }
    for (std::uint32_t c : o.palette) {
        info.push_back(static_cast<std::uint8_t>(c));
        info.push_back(static_cast<std::uint8_t>(c >> 8));
        info.push_back(static_cast<std::uint8_t>(c >> 16));
        if (!core) info.push_back(0);
    }

    ByteVector file{'B', 'M'};
    const std::uint32_t offBits = static_cast<std::uint32_t>(14 + info.size());
    Append32(file, static_cast<std::uint32_t>(offBits + data.size()));
    Append32(file, 0);
    Append32(file, offBits);
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

std::vector<std::uint32_t> GreyPalette(int entries) {
    std::vector<std::uint32_t> out;
    for (int i = 0; i < entries; ++i) out.push_back(0x010101u * static_cast<std::uint32_t>(i & 0xFF));
    return out;
}

void PutU16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<std::uint8_t>(value);
    bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    PutU16(bytes, at, static_cast<std::uint16_t>(value));
    PutU16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace vs::test
