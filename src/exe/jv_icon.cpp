#include "exe/jv_icon.h"

#include "exe/pe_format.h"
#include "platform/byte_writer.h"
#include "platform/errors.h"

namespace vs {

namespace {

std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> t{};
    constexpr std::uint32_t standard[16] = {
        0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
        0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
    };
    std::size_t n = 0;
    for (std::uint32_t c : standard) t[n++] = c;
    constexpr std::uint32_t level[6] = {0x00, 0x33, 0x66, 0x99, 0xCC, 0xFF};
    for (std::uint32_t r : level)
        for (std::uint32_t g : level)
            for (std::uint32_t b : level) t[n++] = r << 16 | g << 8 | b;
    for (std::uint32_t i = 0; i < 24; ++i) {
        const std::uint32_t v = 8 + 10 * i;
        t[n++] = v << 16 | v << 8 | v;
    }
    return t;
}

std::size_t colorRowBytes(int w) { return ((8 * static_cast<std::size_t>(w) + 31) / 32) * 4; }
std::size_t maskRowBytes(int w) { return ((static_cast<std::size_t>(w) + 31) / 32) * 4; }

}  // namespace

const std::array<std::uint32_t, 256>& IconColorTable() {
    static const std::array<std::uint32_t, 256> table = makeTable();
    return table;
}

std::uint8_t NearestIconColor(std::uint32_t rgb) {
    const auto& t = IconColorTable();
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        const int dr = r - static_cast<int>((t[i] >> 16) & 0xFF);
        const int dg = g - static_cast<int>((t[i] >> 8) & 0xFF);
        const int db = b - static_cast<int>(t[i] & 0xFF);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
            if (d == 0) break;
        }
    }
    return static_cast<std::uint8_t>(best);
}

std::size_t IconImageSize(int width, int height) {
    return 40 + 1024 + (colorRowBytes(width) + maskRowBytes(width)) * static_cast<std::size_t>(height);
}

void TjvIcon::WriteIconFile(TStream& stream, const TIcon& icon) {
    if (!icon.HasColorImage()) throw EInvalidGraphic(msg::InvalidBitmap);
    const int w = icon.Width(), h = icon.Height();
    const std::size_t colorRow = colorRowBytes(w), maskRow = maskRowBytes(w);
    const std::size_t colorBytes = colorRow * static_cast<std::size_t>(h);
    const std::size_t maskBytes = maskRow * static_cast<std::size_t>(h);

    ByteWriter out;
    out.reserve(kIconFileImageOffset + IconImageSize(w, h));
    // File header and the one directory entry.
    out.record(pe::IconDirHeader{0, 1, 1});
    out.record(pe::IconFileEntry{static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(h),
                                 8,  // planes x bits per pixel of the colour image
                                 0, 0, 0, static_cast<std::uint32_t>(1064 + colorBytes + maskBytes),
                                 static_cast<std::uint32_t>(kIconFileImageOffset)});
    // The image header: the height counts colour and mask rows.
    out.record(pe::BitmapInfoHeader{sizeof(pe::BitmapInfoHeader), w, 2 * h, 1, 8, 0,
                                    static_cast<std::uint32_t>(colorBytes), 0, 0, 0, 0});
    for (std::uint32_t c : IconColorTable()) out.u32(c);  // blue, green, red, 0

    std::vector<std::uint8_t> colors(colorBytes, 0), mask(maskBytes, 0);
    for (int y = 0; y < h; ++y) {
        const std::size_t row = static_cast<std::size_t>(h - 1 - y);  // bottom-up
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = icon.Pixel(x, y);
            const bool clear = icon.Transparent(x, y);
            // A transparent pixel whose alpha says so is black, so that the
            // screen shows through; other masked pixels keep their colour
            // (they invert the screen, as in the original icon).
            const bool seeThrough = clear && (c >> 24) < 128;
            colors[row * colorRow + static_cast<std::size_t>(x)] = seeThrough ? 0 : NearestIconColor(c & 0xFFFFFF);
            if (clear) mask[row * maskRow + static_cast<std::size_t>(x) / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    out.bytes(colors);
    out.bytes(mask);
    stream.WriteBuffer(out.bytes());
}

}  // namespace vs
