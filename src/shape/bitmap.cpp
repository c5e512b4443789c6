#include "shape/bitmap.h"

#include <algorithm>
#include <array>
#include <bit>

#include "platform/byte_reader.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs {

namespace {

[[noreturn]] void Invalid() { throw EInvalidGraphic(msg::InvalidBitmap); }

#pragma pack(push, 1)
struct FileHeader {  // BITMAPFILEHEADER
    std::uint16_t type;
    std::uint32_t size;
    std::uint16_t reserved1, reserved2;
    std::uint32_t offBits;
};
struct CoreHeader {  // BITMAPCOREHEADER
    std::uint32_t size;
    std::uint16_t width, height, planes, bitCount;
};
struct InfoHeader {  // BITMAPINFOHEADER, the first 40 bytes of every later header too
    std::uint32_t size;
    std::int32_t width, height;
    std::uint16_t planes, bitCount;
    std::uint32_t compression, sizeImage;
    std::int32_t xPelsPerMeter, yPelsPerMeter;
    std::uint32_t clrUsed, clrImportant;
};
#pragma pack(pop)
static_assert(sizeof(FileHeader) == 14);
static_assert(sizeof(CoreHeader) == 12);
static_assert(sizeof(InfoHeader) == 40);

constexpr std::uint16_t kSignature = 0x4D42;  // "BM"
constexpr std::size_t kFileHeaderSize = sizeof(FileHeader);
constexpr std::size_t kMaskOffset = kFileHeaderSize + sizeof(InfoHeader);  // masks follow the 40 bytes

using Palette = std::array<Colour, 256>;

// Widens a channel of `bits` bits to 8 by repeating its bit pattern, so that
// the largest value becomes 255 (5 bits abcde give abcdeabc).
std::uint8_t Widen(std::uint32_t value, int bits) {
    if (bits == 0) return 0;
    if (bits >= 8) return static_cast<std::uint8_t>(value >> (bits - 8));
    int pos = 8 - bits;
    std::uint32_t out = value << pos;
    while (pos > 0) {
        pos -= bits;
        out |= pos >= 0 ? value << pos : value >> -pos;
    }
    return static_cast<std::uint8_t>(out);
}

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    static Channel From(std::uint32_t mask, int bitsPerPixel) {
        Channel c;
        if (mask == 0) return c;
        if (bitsPerPixel < 32 && (mask >> bitsPerPixel) != 0) Invalid();
        c.mask = mask;
        c.shift = std::countr_zero(mask);
        std::uint32_t m = mask >> c.shift;
        if ((m & (m + 1)) != 0) Invalid();  // the bits of a channel must be contiguous
        c.bits = std::popcount(m);
        return c;
    }
    std::uint8_t operator()(std::uint32_t pixel) const { return Widen((pixel & mask) >> shift, bits); }
};

struct Channels {
    Channel red, green, blue;
    Colour operator()(std::uint32_t pixel) const { return MakeColour(red(pixel), green(pixel), blue(pixel)); }
};

std::uint32_t Le32(Bytes b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}

}  // namespace

// Fills a TBitmap from file bytes. Every byte of the file is reached through a
// ByteReader or a span that one handed out after checking its length.
class BitmapDecoder {
public:
    BitmapDecoder(Bytes file, std::uint64_t maxPixels) : file_(file), maxPixels_(maxPixels) {}

    void Decode(TBitmap& out) {
        ReadHeaders();
        if (!IsRle()) CheckRowsPresent();
        out.width_ = static_cast<std::int32_t>(width_);
        out.height_ = static_cast<std::int32_t>(height_);
        out.format_ = format_;
        const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
        if (IsRle()) {
            // Pixels that the runs skip keep the colour of index 0.
            out.pixels_.assign(count, palette_[0]);
            DecodeRle(out.pixels_.data());
        } else {
            out.pixels_.resize(count);
            DecodeRows(out.pixels_.data());
        }
    }

private:
    bool IsRle() const {
        return format_.compression == BitmapCompression::Rle8 || format_.compression == BitmapCompression::Rle4;
    }

    // Row `fileRow` in storage order as an offset into the pixels (0 = top).
    std::size_t RowStart(std::uint64_t fileRow) const {
        std::uint64_t y = format_.topDown ? fileRow : height_ - 1 - fileRow;
        return static_cast<std::size_t>(y * width_);
    }

    void ReadHeaders() {
        ByteReader r(file_, msg::InvalidBitmap);
        const auto fh = r.read<FileHeader>();
        if (fh.type != kSignature) Invalid();
        const std::uint32_t headerSize = r.u32();
        r.seek(kFileHeaderSize);

        std::uint32_t compression = 0, clrUsed = 0;
        std::uint64_t headersEnd = kFileHeaderSize + std::uint64_t{headerSize};
        std::size_t entrySize = 4;  // RGBQUAD; RGBTRIPLE in core files
        if (headerSize == sizeof(CoreHeader)) {
            const auto h = r.read<CoreHeader>();
            width_ = h.width;
            height_ = h.height;
            format_.bitsPerPixel = h.bitCount;
            entrySize = 3;
        } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 ||
                   headerSize == 108 || headerSize == 124) {
            const auto h = r.read<InfoHeader>();
            r.seek(static_cast<std::size_t>(headersEnd));  // the whole header is in the file
            width_ = h.width;
            std::int64_t height = h.height;
            if (height < 0) {
                format_.topDown = true;
                height = -height;
            }
            height_ = height;
            format_.bitsPerPixel = h.bitCount;
            compression = h.compression;
            clrUsed = h.clrUsed;
            sizeImage_ = h.sizeImage;
            // The 64-byte OS/2 header gives 3 and 4 other meanings (Huffman, RLE24).
            if (headerSize == 64 && compression > 2) Invalid();
        } else {
            Invalid();
        }
        format_.headerSize = headerSize;

        if (width_ <= 0 || height_ <= 0 || height_ > INT32_MAX) Invalid();
        if (static_cast<std::uint64_t>(width_) * static_cast<std::uint64_t>(height_) > maxPixels_) Invalid();

        const std::uint16_t bpp = format_.bitsPerPixel;
        if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) Invalid();
        switch (compression) {
            case 0: break;
            case 1: if (bpp != 8) Invalid(); break;
            case 2: if (bpp != 4) Invalid(); break;
            case 3:
            case 6: if (bpp != 16 && bpp != 32) Invalid(); break;
            default: Invalid();  // embedded JPEG or PNG and unknown schemes
        }
        format_.compression = static_cast<BitmapCompression>(compression);

        if (bpp == 16 || bpp == 32) ReadMasks(r, headersEnd, fh.offBits);

        const std::uint64_t offBits = fh.offBits;
        if (offBits < headersEnd || offBits > file_.size()) Invalid();
        offBits_ = offBits;

        palette_.fill(0);  // indexes beyond a short colour table are black
        if (bpp <= 8) {
            std::uint64_t entries = std::uint64_t{1} << bpp;
            if (clrUsed != 0 && clrUsed < entries) entries = clrUsed;
            // A table may also be short without saying so: it ends where the pixels begin.
            entries = std::min<std::uint64_t>(entries, (offBits - headersEnd) / entrySize);
            r.seek(static_cast<std::size_t>(headersEnd));
            for (std::uint64_t i = 0; i < entries; ++i) {
                Bytes e = r.bytes(entrySize);
                palette_[i] = MakeColour(e[2], e[1], e[0]);
            }
            format_.colourTableSize = static_cast<std::uint32_t>(entries);
        }
    }

    void ReadMasks(ByteReader& r, std::uint64_t& headersEnd, std::uint64_t offBits) {
        const int bpp = format_.bitsPerPixel;
        std::uint32_t red = bpp == 16 ? 0x7C00 : 0xFF0000;
        std::uint32_t green = bpp == 16 ? 0x03E0 : 0x00FF00;
        std::uint32_t blue = bpp == 16 ? 0x001F : 0x0000FF;
        const bool fields = format_.compression == BitmapCompression::Bitfields ||
                            format_.compression == BitmapCompression::AlphaBitfields;
        // Some writers declare bit fields after a 40-byte header but start the
        // pixels right behind it; such files hold the standard layout.
        const bool masksLeftOut = format_.headerSize == 40 && offBits == headersEnd;
        if (fields && !masksLeftOut) {
            r.seek(kMaskOffset);
            red = r.u32();
            green = r.u32();
            blue = r.u32();
            // After a 40-byte header the masks are extra bytes before the pixels.
            if (format_.headerSize == 40)
                headersEnd += format_.compression == BitmapCompression::AlphaBitfields ? 16 : 12;
        }
        channels_ = {Channel::From(red, bpp), Channel::From(green, bpp), Channel::From(blue, bpp)};
        format_.redMask = red;
        format_.greenMask = green;
        format_.blueMask = blue;
    }

    std::uint64_t RowBytes() const { return (static_cast<std::uint64_t>(width_) * format_.bitsPerPixel + 7) / 8; }
    std::uint64_t Stride() const { return (static_cast<std::uint64_t>(width_) * format_.bitsPerPixel + 31) / 32 * 4; }

    // Before anything is allocated: every row but the last must be in the file
    // with its padding; the last one may end right after its pixels.
    void CheckRowsPresent() const {
        const std::uint64_t available = file_.size() - offBits_;
        const std::uint64_t rowsBefore = static_cast<std::uint64_t>(height_ - 1);
        if (rowsBefore > available / Stride()) Invalid();
        if (rowsBefore * Stride() + RowBytes() > available) Invalid();
    }

    void DecodeRows(Colour* pixels) {
        const std::uint32_t bpp = format_.bitsPerPixel;
        const std::uint64_t w = static_cast<std::uint64_t>(width_);
        const std::uint64_t rowBytes = RowBytes();
        const std::uint64_t stride = Stride();

        std::vector<Colour> table16;
        if (bpp == 16) {
            table16.resize(65536);
            for (std::uint32_t v = 0; v < 65536; ++v) table16[v] = channels_(v);
        }
        const bool plain32 = bpp == 32 && format_.redMask == 0xFF0000 && format_.greenMask == 0x00FF00 &&
                             format_.blueMask == 0x0000FF;

        ByteReader r(file_, msg::InvalidBitmap);
        for (std::uint64_t row = 0; row < static_cast<std::uint64_t>(height_); ++row) {
            r.seek(static_cast<std::size_t>(offBits_ + row * stride));
            const Bytes src = r.bytes(static_cast<std::size_t>(rowBytes));
            Colour* dst = pixels + RowStart(row);
            const std::size_t n = static_cast<std::size_t>(w);
            switch (bpp) {
                case 1:
                    for (std::size_t x = 0; x < n; ++x) dst[x] = palette_[(src[x >> 3] >> (7 - (x & 7))) & 1];
                    break;
                case 2:
                    for (std::size_t x = 0; x < n; ++x) dst[x] = palette_[(src[x >> 2] >> (6 - 2 * (x & 3))) & 3];
                    break;
                case 4:
                    for (std::size_t x = 0; x < n; ++x) dst[x] = palette_[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
                    break;
                case 8:
                    for (std::size_t x = 0; x < n; ++x) dst[x] = palette_[src[x]];
                    break;
                case 16:
                    for (std::size_t x = 0; x < n; ++x) dst[x] = table16[src[2 * x] | (src[2 * x + 1] << 8)];
                    break;
                case 24:
                    for (std::size_t x = 0; x < n; ++x)
                        dst[x] = MakeColour(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                    break;
                case 32:
                    if (plain32) {
                        for (std::size_t x = 0; x < n; ++x)
                            dst[x] = MakeColour(src[4 * x + 2], src[4 * x + 1], src[4 * x]);
                    } else {
                        for (std::size_t x = 0; x < n; ++x) dst[x] = channels_(Le32(src, 4 * x));
                    }
                    break;
            }
        }
    }

    // RLE8 and RLE4: runs of one index (or two alternating 4-bit indexes),
    // literal runs, end of line, end of picture and jumps. Pixels that fall
    // outside a row are dropped; rows beyond the picture end the decoding. The
    // runs end at the end-of-picture mark or where the data ends.
    void DecodeRle(Colour* pixels) {
        const bool rle4 = format_.compression == BitmapCompression::Rle4;
        std::uint64_t end = file_.size();
        if (sizeImage_ != 0 && fitsIn(offBits_, sizeImage_, file_.size())) end = offBits_ + sizeImage_;
        ByteReader r(file_.subspan(static_cast<std::size_t>(offBits_), static_cast<std::size_t>(end - offBits_)),
                     msg::InvalidBitmap);
        const std::uint32_t w = static_cast<std::uint32_t>(width_);
        const std::uint32_t h = static_cast<std::uint32_t>(height_);
        std::uint32_t x = 0, row = 0;
        while (row < h && r.remaining() >= 2) {
            const std::uint8_t n = r.u8();
            const std::uint8_t c = r.u8();
            Colour* line = pixels + RowStart(row);
            if (n > 0) {
                if (rle4) {
                    for (std::uint32_t i = 0; i < n && x < w; ++i, ++x) line[x] = palette_[(i & 1) ? c & 15 : c >> 4];
                } else {
                    const std::uint32_t count = std::min<std::uint32_t>(n, w - x);
                    std::fill_n(line + x, count, palette_[c]);
                    x += count;
                }
                continue;
            }
            switch (c) {
                case 0:  // end of line
                    x = 0;
                    ++row;
                    break;
                case 1:  // end of picture
                    return;
                case 2: {  // jump right and up
                    const std::uint8_t dx = r.u8();
                    const std::uint8_t dy = r.u8();
                    x = std::min<std::uint32_t>(x + dx, w);
                    row += dy;
                    break;
                }
                default: {  // c literal indexes, padded to a 16-bit boundary
                    const std::size_t size = rle4 ? (c + 1u) / 2 : c;
                    const Bytes run = r.bytes(size);
                    for (std::uint32_t i = 0; i < c && x < w; ++i, ++x) {
                        const std::uint8_t index = rle4 ? ((i & 1) ? run[i / 2] & 15 : run[i / 2] >> 4) : run[i];
                        line[x] = palette_[index];
                    }
                    if ((size & 1) && !r.atEnd()) r.skip(1);
                    break;
                }
            }
        }
    }

    Bytes file_;
    std::uint64_t maxPixels_;
    BitmapFormat format_;
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
    std::uint64_t offBits_ = 0;
    std::uint64_t sizeImage_ = 0;
    Palette palette_{};
    Channels channels_;
};

TBitmap TBitmap::FromBytes(std::vector<std::uint8_t> file, std::uint64_t maxPixels) {
    TBitmap bmp;
    try {
        BitmapDecoder(file, maxPixels).Decode(bmp);
    } catch (const EReadError&) {
        Invalid();  // the file ends inside a structure
    }
    bmp.file_ = std::move(file);
    return bmp;
}

TBitmap TBitmap::FromFile(const std::string& name) { return FromBytes(ReadWholeFile(name)); }

}  // namespace vs
