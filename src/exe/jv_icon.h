#pragma once
// Writing an icon as a one-image icon file with 256 colours: the form in
// which the build stores the projector's icon over the engine's first icon
// image.
#include <array>
#include <cstdint>
#include <vector>

#include "exe/icon.h"
#include "platform/stream.h"

namespace vs {

// The fixed colour table of the written images: the 16 standard colours, a
// 6 x 6 x 6 colour cube and 24 greys. Entries are 0x00RRGGBB; entry 0 is black.
const std::array<std::uint32_t, 256>& IconColorTable();
// Index of the table entry nearest to a colour (0x..RRGGBB), the first of equals.
std::uint8_t NearestIconColor(std::uint32_t rgb);

// Bytes of the 256-colour icon image of a w x h icon: 40 + 1024 + colour rows + mask rows.
std::size_t IconImageSize(int width, int height);

class TjvIcon {
public:
    // Appends a one-image icon file: the 6-byte header, one 16-byte directory
    // entry and the image (header with the height doubled, colour table,
    // colour rows and mask rows, bottom-up). Fails with "Bitmap image is not
    // valid" (EInvalidGraphic) when the icon has no colour image.
    static void WriteIconFile(TStream& stream, const TIcon& icon);
};

// Offset of the image inside what WriteIconFile writes.
inline constexpr std::size_t kIconFileImageOffset = 22;

}  // namespace vs
