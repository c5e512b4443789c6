// Arbitrary bytes as an icon file: the reader must fail with its message or
// give an icon that keeps the file, scales, converts to the 256-colour image,
// and, written as an icon file of its own, reads back to the same picture.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "exe/icon.h"
#include "exe/jv_icon.h"
#include "platform/errors.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> bytes(data, size);
    try {
        vs::TIcon icon = vs::ReadIconFile(bytes);
        if (!icon.HasColorImage() || icon.Width() > vs::kMaxIconSide || icon.Height() > vs::kMaxIconSide) __builtin_trap();
        if (vs::IconFileBytes(icon) != std::vector<std::uint8_t>(data, data + size)) __builtin_trap();
        const vs::TIcon scaled = vs::ScaleIcon(icon, 32, 32);
        vs::TMemoryStream out;
        vs::TjvIcon::WriteIconFile(out, scaled);
        if (out.Size() != static_cast<std::int64_t>(vs::kIconFileImageOffset + vs::IconImageSize(32, 32))) __builtin_trap();
        // A picture whose every alpha is 0 reads back opaque: 32-bit images
        // without any alpha are taken as plain colour.
        bool anyAlpha = false;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) anyAlpha = anyAlpha || (scaled.Pixel(x, y) >> 24) != 0;
        if (anyAlpha && scaled.FileBytes().empty() && !(vs::ReadIconFile(vs::IconFileBytes(scaled)) == scaled))
            __builtin_trap();
    } catch (const vs::EInvalidGraphic&) {
    }
    // The same bytes as one image inside an executable.
    try {
        (void)vs::ReadIconImageInfo(bytes);
        (void)vs::DecodeIconImage(bytes);
    } catch (const vs::EInvalidGraphic&) {
    }
    return 0;
}
