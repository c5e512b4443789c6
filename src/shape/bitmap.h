#pragma once
// A Windows bitmap (.bmp) decoded into memory: the exact colour of every pixel,
// top row first, beside the original file bytes, which a project file stores
// again as they came.
//
// Decoded formats: 1, 2, 4 and 8 bits per pixel through a colour table
// (possibly shorter than 2^bits entries), 16 and 32 bits per pixel with the
// standard masks (5-5-5, 8-8-8) or with bit-field masks, 24 bits per pixel,
// RLE8 and RLE4; rows stored bottom-up or top-down; the 12-byte core header,
// the 40-byte header and its later forms (52, 56, 108, 124 bytes) and the
// 64-byte OS/2 header with the compressions it shares with Windows.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vs {

// A 24-bit colour as 0x00RRGGBB.
using Colour = std::uint32_t;

constexpr Colour MakeColour(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return (Colour{r} << 16) | (Colour{g} << 8) | Colour{b};
}
constexpr std::uint8_t RedOf(Colour c) { return static_cast<std::uint8_t>(c >> 16); }
constexpr std::uint8_t GreenOf(Colour c) { return static_cast<std::uint8_t>(c >> 8); }
constexpr std::uint8_t BlueOf(Colour c) { return static_cast<std::uint8_t>(c); }

// What TBitmap::Pixel answers outside the picture; no 24-bit colour equals it.
inline constexpr Colour kNoColour = 0xFFFFFFFFu;

enum class BitmapCompression : std::uint32_t {
    Rgb = 0,
    Rle8 = 1,
    Rle4 = 2,
    Bitfields = 3,
    AlphaBitfields = 6,
};

// How the pixels were stored in the file.
struct BitmapFormat {
    std::uint32_t headerSize = 0;  // 12 for the core header, 40 and more otherwise
    std::uint16_t bitsPerPixel = 0;
    BitmapCompression compression = BitmapCompression::Rgb;
    bool topDown = false;
    std::uint32_t colourTableSize = 0;  // entries read from the file (indexed formats)
    // Channel masks for 16 and 32 bits per pixel (the standard ones when the
    // file gives none).
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;
};

namespace detail {
// Leaves new elements uninitialised: decoding writes every pixel anyway, and
// clearing a large picture first would cost as much as a second pass.
template <typename T>
struct UninitialisedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitialisedAllocator<U>;
    };
    UninitialisedAllocator() = default;
    template <typename U>
    UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
}  // namespace detail

class TBitmap {
public:
    // Larger pictures are refused as not valid: 2^27 pixels take 512 MiB
    // decoded, far more than any window shape needs.
    static constexpr std::uint64_t kDefaultMaxPixels = std::uint64_t{1} << 27;

    TBitmap() = default;  // no picture: 0 x 0, no file bytes

    // Decodes a complete BMP file, starting with its "BM" file header. Fails
    // with EInvalidGraphic "Bitmap image is not valid" when the bytes are not
    // a bitmap this class can decode, are cut short, or describe more than
    // maxPixels pixels.
    static TBitmap FromBytes(std::vector<std::uint8_t> file, std::uint64_t maxPixels = kDefaultMaxPixels);
    // Reads and decodes a file; "Cannot open file %s" when it cannot be read.
    static TBitmap FromFile(const std::string& name);

    bool Empty() const { return width_ == 0; }
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    const BitmapFormat& Format() const { return format_; }

    // The colour of pixel (x, y), (0, 0) being the top-left corner; kNoColour
    // outside the picture.
    Colour Pixel(std::int32_t x, std::int32_t y) const {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return kNoColour;
        return pixels_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
    }
    // Row y (0 = top), Width() colours; empty outside the picture.
    std::span<const Colour> Row(std::int32_t y) const {
        if (y < 0 || y >= height_) return {};
        return std::span<const Colour>(pixels_).subspan(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_),
                                                        static_cast<std::size_t>(width_));
    }
    std::span<const Colour> Pixels() const { return pixels_; }

    // The file exactly as it was decoded.
    const std::vector<std::uint8_t>& FileBytes() const { return file_; }

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    BitmapFormat format_;
    std::vector<Colour, detail::UninitialisedAllocator<Colour>> pixels_;
    std::vector<std::uint8_t> file_;

    friend class BitmapDecoder;
};

}  // namespace vs
