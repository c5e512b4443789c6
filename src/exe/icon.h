#pragma once
// Icons as the generator handles them: a colour image and a 1-bit mask of the
// same size, taken from an icon file (.ico) or from the first icon group of an
// executable or DLL, the way the platform's icon loader picks an image. An
// icon read from a file keeps that file's bytes, which a project file stores.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vs {

class TIcon {
public:
    TIcon() = default;
    TIcon(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    // An icon without a colour image (nothing loaded) cannot be converted.
    bool HasColorImage() const { return width_ > 0 && height_ > 0; }

    // Colours as 0xAARRGGBB, rows top-down; the alpha is kept as read.
    std::uint32_t Pixel(int x, int y) const { return pixels_[Index(x, y)]; }
    void SetPixel(int x, int y, std::uint32_t argb) { pixels_[Index(x, y)] = argb; }
    // Whether the mask makes the pixel transparent.
    bool Transparent(int x, int y) const { return mask_[Index(x, y)] != 0; }
    void SetTransparent(int x, int y, bool on) { mask_[Index(x, y)] = on ? 1 : 0; }

    // The icon file exactly as it was read; empty for an icon taken from an
    // executable or made in memory.
    const std::vector<std::uint8_t>& FileBytes() const { return file_; }

    // Icons are equal when they show the same picture, wherever they came from.
    bool operator==(const TIcon& other) const {
        return width_ == other.width_ && height_ == other.height_ && pixels_ == other.pixels_ && mask_ == other.mask_;
    }

private:
    friend TIcon ReadIconFile(std::span<const std::uint8_t> file);
    std::size_t Index(int x, int y) const { return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x); }

    int width_ = 0, height_ = 0;
    std::vector<std::uint32_t> pixels_;
    std::vector<std::uint8_t> mask_;
    std::vector<std::uint8_t> file_;
};

// The largest side of an image the readers accept.
inline constexpr int kMaxIconSide = 1024;

// Size and colour depth of one icon image, read from its own header.
struct IconImageInfo {
    int width = 0, height = 0, bitCount = 0;
    bool png = false;
};
// The header of an icon image (a DIB with the mask or a PNG), or nothing when
// it is not one that can be decoded.
std::optional<IconImageInfo> ReadIconImageInfo(std::span<const std::uint8_t> image);
// Decodes one icon image; fails with "Icon image is not valid".
TIcon DecodeIconImage(std::span<const std::uint8_t> image);

// Picks, like the platform's loader, the image closest to 32 x 32, then the
// one with the most colours (up to 32 bits); the first of equals. Returns the
// index into `images`, or -1 when none of them is usable.
int ChooseIconImage(std::span<const std::optional<IconImageInfo>> images);

// An icon file: header (reserved, type, count) and 16-byte directory entries,
// the images decoded as DIBs of 1, 4, 8, 16 (5-5-5), 24 or 32 bits or as PNG.
// The icon keeps the file's bytes. Fails with "Icon image is not valid" for a
// type above 1 (type 0 counts as an icon) or a damaged file.
TIcon ReadIconFile(std::span<const std::uint8_t> file);
// The same from disk; "Cannot open file %s" when it cannot be read.
TIcon LoadIconFile(const std::string& fileName);

// The large icon of an executable or DLL: the image chosen from its own first
// icon group. Nothing when the file has no icon group; the resource reader's
// errors when it is not an executable.
std::optional<TIcon> ExeLargeIcon(const std::string& fileName);

// The icon of a file as the generator takes it: a name ending in ".ico" (any
// case) is read as an icon file, any other file gives its executable icon.
std::optional<TIcon> IconOfFile(const std::string& fileName);

// The icon as a complete icon file: the bytes it was read from when it has
// them, otherwise a one-image icon file of 32 bits per pixel with its mask,
// which ReadIconFile reads back to the same picture. Fails with "Bitmap image
// is not valid" (EInvalidGraphic) for an icon without a colour image.
std::vector<std::uint8_t> IconFileBytes(const TIcon& icon);

// The icon resampled to another size (averaging over each target pixel; a
// target pixel is transparent when most of what it covers is).
TIcon ScaleIcon(const TIcon& icon, int width, int height);

}  // namespace vs
