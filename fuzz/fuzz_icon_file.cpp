// Arbitrary bytes as an icon file: the reader must fail with its message or
// give an icon that scales and converts to the 256-colour image.
#include <cstddef>
#include <cstdint>
#include <span>

#include "exe/icon.h"
#include "exe/jv_icon.h"
#include "platform/errors.h"
#include "platform/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> bytes(data, size);
    try {
        vs::TIcon icon = vs::ReadIconFile(bytes);
        if (!icon.HasColorImage() || icon.Width() > vs::kMaxIconSide || icon.Height() > vs::kMaxIconSide) __builtin_trap();
        vs::TMemoryStream out;
        vs::TjvIcon::WriteIconFile(out, vs::ScaleIcon(icon, 32, 32));
        if (out.Size() != static_cast<std::int64_t>(vs::kIconFileImageOffset + vs::IconImageSize(32, 32))) __builtin_trap();
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
