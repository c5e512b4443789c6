#include "exe/icon.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "exe/exe_image.h"
#include "exe/pe_format.h"
#include "exe/png_image.h"
#include "platform/ascii.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs {

namespace {

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

[[noreturn]] void invalidIcon() { throw EInvalidGraphic(msg::InvalidIcon); }

bool isPng(std::span<const std::uint8_t> image) {
    return image.size() >= kPngSignature.size() && std::memcmp(image.data(), kPngSignature.data(), kPngSignature.size()) == 0;
}

std::uint32_t bigEndian32(std::span<const std::uint8_t> b, std::size_t at) {
    return std::uint32_t{b[at]} << 24 | std::uint32_t{b[at + 1]} << 16 | std::uint32_t{b[at + 2]} << 8 | b[at + 3];
}

std::size_t rowBytes(int width, int bitCount) {
    return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount) + 31) / 32) * 4;
}

// A 5-bit channel widened to 8 bits, so that 31 becomes 255.
std::uint32_t widen5(std::uint32_t v) { return (v << 3) | (v >> 2); }

// The checked geometry of a DIB icon image.
struct DibLayout {
    int width = 0, height = 0, bitCount = 0;
    bool topDown = false;
    std::size_t paletteAt = 0, paletteCount = 0;
    std::size_t colorAt = 0, colorRow = 0;
    std::size_t maskAt = 0, maskRow = 0;
    bool hasMask = false;
};

std::optional<DibLayout> dibLayout(std::span<const std::uint8_t> image) {
    ByteReader r(image);
    if (r.remaining() < sizeof(pe::BitmapInfoHeader)) return std::nullopt;
    const auto h = r.read<pe::BitmapInfoHeader>();
    if (h.size < sizeof(pe::BitmapInfoHeader) || h.size > image.size() || h.compression != 0) return std::nullopt;
    if (h.bitCount != 1 && h.bitCount != 4 && h.bitCount != 8 && h.bitCount != 16 && h.bitCount != 24 &&
        h.bitCount != 32)
        return std::nullopt;
    if (h.width <= 0 || h.width > kMaxIconSide) return std::nullopt;
    // The height of both images; a negative one means rows stored top-down.
    if (h.height == 0 || h.height < -2 * kMaxIconSide || h.height > 2 * kMaxIconSide) return std::nullopt;
    DibLayout d;
    d.topDown = h.height < 0;
    const int both = d.topDown ? -h.height : h.height;
    if (both < 2) return std::nullopt;
    d.width = h.width;
    d.height = both / 2;
    d.bitCount = h.bitCount;
    d.paletteAt = h.size;
    if (h.bitCount <= 8) {
        const std::size_t full = std::size_t{1} << h.bitCount;
        d.paletteCount = (h.clrUsed == 0 || h.clrUsed > full) ? full : h.clrUsed;
    }
    d.colorAt = d.paletteAt + 4 * d.paletteCount;
    d.colorRow = rowBytes(d.width, d.bitCount);
    d.maskRow = rowBytes(d.width, 1);
    const std::size_t colorBytes = d.colorRow * static_cast<std::size_t>(d.height);
    if (!fitsIn(d.colorAt, colorBytes, image.size())) return std::nullopt;
    d.maskAt = d.colorAt + colorBytes;
    // Some writers leave the mask out; the image then counts as opaque.
    d.hasMask = fitsIn(d.maskAt, d.maskRow * static_cast<std::size_t>(d.height), image.size());
    return d;
}

std::optional<IconImageInfo> pngInfo(std::span<const std::uint8_t> image) {
    // Signature, then the IHDR chunk: length 13, "IHDR", width, height (big-endian).
    if (image.size() < 8 + 8 + 13 || std::memcmp(image.data() + 12, "IHDR", 4) != 0) return std::nullopt;
    const std::uint32_t w = bigEndian32(image, 16), h = bigEndian32(image, 20);
    if (w == 0 || h == 0 || w > kMaxIconSide || h > kMaxIconSide) return std::nullopt;
    return IconImageInfo{static_cast<int>(w), static_cast<int>(h), 32, true};
}

TIcon decodeDib(std::span<const std::uint8_t> image, const DibLayout& d) {
    TIcon icon(d.width, d.height);
    // Indexes past a short colour table are opaque black, like every other
    // pixel of a palette image opaque.
    std::array<std::uint32_t, 256> palette;
    palette.fill(0xFF000000u);
    for (std::size_t i = 0; i < d.paletteCount; ++i) {
        const std::uint8_t* q = image.data() + d.paletteAt + 4 * i;
        palette[i] = 0xFF000000u | std::uint32_t{q[2]} << 16 | std::uint32_t{q[1]} << 8 | q[0];
    }
    bool anyAlpha = false;
    for (int y = 0; y < d.height; ++y) {
        const int stored = d.topDown ? y : d.height - 1 - y;
        const std::uint8_t* row = image.data() + d.colorAt + d.colorRow * static_cast<std::size_t>(stored);
        for (int x = 0; x < d.width; ++x) {
            std::uint32_t c = 0;
            switch (d.bitCount) {
                case 1: c = palette[(row[x / 8] >> (7 - x % 8)) & 1]; break;
                case 4: c = palette[(row[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F]; break;
                case 8: c = palette[row[x]]; break;
                case 16: {  // 5-5-5, the top bit unused
                    const std::uint32_t v = row[2 * x] | std::uint32_t{row[2 * x + 1]} << 8;
                    c = 0xFF000000u | widen5((v >> 10) & 31) << 16 | widen5((v >> 5) & 31) << 8 | widen5(v & 31);
                    break;
                }
                case 24: {
                    const std::uint8_t* p = row + 3 * x;
                    c = 0xFF000000u | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
                    break;
                }
                case 32: {
                    const std::uint8_t* p = row + 4 * x;
                    c = std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
                    anyAlpha = anyAlpha || p[3] != 0;
                    break;
                }
            }
            icon.SetPixel(x, y, c);
            if (d.hasMask) {
                const std::uint8_t* mask = image.data() + d.maskAt + d.maskRow * static_cast<std::size_t>(stored);
                icon.SetTransparent(x, y, (mask[x / 8] >> (7 - x % 8)) & 1);
            }
        }
    }
    if (d.bitCount == 32) {
        // A 32-bit image without any alpha is opaque colour; one with alpha is
        // transparent where the alpha says so, whatever its mask holds.
        for (int y = 0; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x) {
                std::uint32_t c = icon.Pixel(x, y);
                if (!anyAlpha) icon.SetPixel(x, y, c | 0xFF000000u);
                else if ((c >> 24) < 128) icon.SetTransparent(x, y, true);
            }
    }
    return icon;
}

TIcon decodePng(std::span<const std::uint8_t> image) {
    if (!pngInfo(image)) invalidIcon();
    const std::optional<PngPixels> png = DecodePng(image, kMaxIconSide);
    if (!png) invalidIcon();
    const int w = png->width, h = png->height;
    TIcon icon(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = png->bgra.data() + (static_cast<std::size_t>(y) * w + x) * 4;
            icon.SetPixel(x, y, std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]);
            icon.SetTransparent(x, y, p[3] < 128);
        }
    return icon;
}

// Picks and decodes one image of a list of candidates.
TIcon decodeChosen(const std::vector<std::span<const std::uint8_t>>& images) {
    std::vector<std::optional<IconImageInfo>> infos;
    infos.reserve(images.size());
    for (auto image : images) infos.push_back(ReadIconImageInfo(image));
    const int chosen = ChooseIconImage(infos);
    if (chosen < 0) invalidIcon();
    return DecodeIconImage(images[static_cast<std::size_t>(chosen)]);
}

bool endsWithIco(const std::string& name) { return EndsWithText(name, ".ICO"); }

}  // namespace

TIcon::TIcon(int width, int height)
    : width_(width),
      height_(height),
      pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0xFF000000u),
      mask_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0) {}

std::optional<IconImageInfo> ReadIconImageInfo(std::span<const std::uint8_t> image) {
    if (isPng(image)) return pngInfo(image);
    auto d = dibLayout(image);
    if (!d) return std::nullopt;
    return IconImageInfo{d->width, d->height, d->bitCount, false};
}

TIcon DecodeIconImage(std::span<const std::uint8_t> image) {
    if (isPng(image)) return decodePng(image);
    auto d = dibLayout(image);
    if (!d) invalidIcon();
    return decodeDib(image, *d);
}

int ChooseIconImage(std::span<const std::optional<IconImageInfo>> images) {
    int best = -1;
    int bestDistance = 0, bestBits = 0;
    for (std::size_t i = 0; i < images.size(); ++i) {
        if (!images[i]) continue;
        const int distance = std::abs(images[i]->width - 32) + std::abs(images[i]->height - 32);
        const int bits = images[i]->bitCount > 32 ? 0 : images[i]->bitCount;
        if (best < 0 || distance < bestDistance || (distance == bestDistance && bits > bestBits)) {
            best = static_cast<int>(i);
            bestDistance = distance;
            bestBits = bits;
        }
    }
    return best;
}

TIcon ReadIconFile(std::span<const std::uint8_t> file) {
    ByteReader r(file);
    if (r.remaining() < sizeof(pe::IconDirHeader)) invalidIcon();
    const auto header = r.read<pe::IconDirHeader>();
    // Some writers leave the type 0; 2 is a cursor file.
    if (header.type > 1 || header.count == 0 || r.remaining() < std::size_t{header.count} * sizeof(pe::IconFileEntry))
        invalidIcon();
    std::vector<std::span<const std::uint8_t>> images;
    for (int i = 0; i < header.count; ++i) {
        // Size and depth in the entry are not used: the image's own header counts.
        const auto entry = r.read<pe::IconFileEntry>();
        images.push_back(r.at(entry.imageOffset, entry.bytesInRes).value_or(std::span<const std::uint8_t>{}));
    }
    TIcon icon = decodeChosen(images);
    icon.file_.assign(file.begin(), file.end());
    return icon;
}

std::vector<std::uint8_t> IconFileBytes(const TIcon& icon) {
    if (!icon.FileBytes().empty()) return icon.FileBytes();
    if (!icon.HasColorImage()) throw EInvalidGraphic(msg::InvalidBitmap);
    const int w = icon.Width(), h = icon.Height();
    const std::size_t colorBytes = rowBytes(w, 32) * static_cast<std::size_t>(h);
    const std::size_t maskRow = rowBytes(w, 1);
    const std::size_t imageSize = sizeof(pe::BitmapInfoHeader) + colorBytes + maskRow * static_cast<std::size_t>(h);
    constexpr std::uint32_t imageOffset = sizeof(pe::IconDirHeader) + sizeof(pe::IconFileEntry);

    ByteWriter out;
    out.reserve(imageOffset + imageSize);
    out.record(pe::IconDirHeader{0, 1, 1});
    out.record(pe::IconFileEntry{static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(h), 0, 0, 1, 32,
                                 static_cast<std::uint32_t>(imageSize), imageOffset});
    out.record(pe::BitmapInfoHeader{sizeof(pe::BitmapInfoHeader), w, 2 * h, 1, 32, 0,
                                    static_cast<std::uint32_t>(colorBytes), 0, 0, 0, 0});
    // Rows bottom-up: the colours (blue, green, red, alpha), then the mask.
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) out.u32(icon.Pixel(x, y));
    for (int y = h - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(maskRow, 0);
        for (int x = 0; x < w; ++x)
            if (icon.Transparent(x, y)) row[static_cast<std::size_t>(x) / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        out.bytes(row);
    }
    return out.take();
}

TIcon LoadIconFile(const std::string& fileName) {
    std::vector<std::uint8_t> bytes = ReadWholeFile(fileName);
    return ReadIconFile(bytes);
}

std::optional<TIcon> ExeLargeIcon(const std::string& fileName) {
    TExeImage image(fileName);
    TResourceList* root = nullptr;
    try {
        root = &image.ResourceTree();
    } catch (const EExeError&) {
        return std::nullopt;  // no resource section: no icon
    }
    for (int i = 0; i < root->Count(); ++i) {
        TResourceItem& type = root->Items(i);
        if (type.IsNamed() || type.Id() != RT_GROUP_ICON_ID || !type.HasChildren()) continue;
        TResourceList& groups = type.Children();
        if (groups.Count() == 0) return std::nullopt;
        TResourceList& members = groups.Items(0).Children();
        std::vector<std::span<const std::uint8_t>> images;
        for (int k = 0; k < members.Count(); ++k) images.push_back(members.Items(k).RawData());
        if (images.empty()) return std::nullopt;
        return decodeChosen(images);
    }
    return std::nullopt;
}

std::optional<TIcon> IconOfFile(const std::string& fileName) {
    if (endsWithIco(fileName)) return LoadIconFile(fileName);
    try {
        return ExeLargeIcon(fileName);
    } catch (const EExeError&) {
        return std::nullopt;  // not an executable: it has no icon of its own
    }
}

TIcon ScaleIcon(const TIcon& icon, int width, int height) {
    if (!icon.HasColorImage() || width <= 0 || height <= 0) return TIcon();
    if (width == icon.Width() && height == icon.Height()) return icon;
    constexpr int kSamples = 4;  // per axis and target pixel
    TIcon out(width, height);
    const std::int64_t sw = icon.Width(), sh = icon.Height();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint64_t sum[4] = {}, sumAll[4] = {};
            int opaque = 0;
            for (int j = 0; j < kSamples; ++j)
                for (int i = 0; i < kSamples; ++i) {
                    // Centre of sub-sample (i, j) mapped onto the source.
                    const auto sx = static_cast<int>(((x * kSamples + i) * 2 + 1) * sw / (2 * kSamples * width));
                    const auto sy = static_cast<int>(((y * kSamples + j) * 2 + 1) * sh / (2 * kSamples * height));
                    const std::uint32_t c = icon.Pixel(sx, sy);
                    const bool clear = icon.Transparent(sx, sy);
                    for (int k = 0; k < 4; ++k) {
                        const std::uint32_t channel = (c >> (8 * k)) & 0xFF;
                        sumAll[k] += channel;
                        if (!clear) sum[k] += channel;
                    }
                    if (!clear) ++opaque;
                }
            const int total = kSamples * kSamples;
            const bool clear = opaque * 2 < total;
            std::uint32_t c = 0;
            for (int k = 0; k < 4; ++k) {
                const std::uint64_t v = opaque > 0 ? sum[k] / static_cast<unsigned>(opaque) : sumAll[k] / total;
                c |= static_cast<std::uint32_t>(v) << (8 * k);
            }
            // A pixel that became transparent loses its colour's alpha, so that
            // it is written as a see-through pixel, not as an inverting one.
            out.SetPixel(x, y, clear ? (c & 0x00FFFFFFu) : c);
            out.SetTransparent(x, y, clear);
        }
    return out;
}

}  // namespace vs
