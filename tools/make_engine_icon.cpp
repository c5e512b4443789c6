// Draws the stand-in engine's icon and writes it as a one-image icon file in
// the form the build writes over the engine's first icon image: 32 x 32,
// 256 colours, 2216 bytes of image.
//
//   make_engine_icon OUTPUT.ico
#include <cstdio>
#include <cstdlib>

#include "exe/icon.h"
#include "exe/jv_icon.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "platform/stream.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_engine_icon OUTPUT.ico\n");
        return 2;
    }
    // A blue tile with rounded corners and a white "V".
    vs::TIcon icon(32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const int cx = x < 4 ? 4 - x : (x > 27 ? x - 27 : 0);
            const int cy = y < 4 ? 4 - y : (y > 27 ? y - 27 : 0);
            if (cx * cx + cy * cy > 16) {
                icon.SetPixel(x, y, 0);
                icon.SetTransparent(x, y, true);
                continue;
            }
            const int shade = 0x66 + y * 3;
            icon.SetPixel(x, y, 0xFF000000u | 0x0033u << 8 | static_cast<std::uint32_t>(shade > 0xFF ? 0xFF : shade));
            const int left = 7 + (y - 7) / 2, right = 24 - (y - 7) / 2;
            if (y >= 7 && y <= 25 && (std::abs(x - left) <= 1 || std::abs(x - right) <= 1)) icon.SetPixel(x, y, 0xFFFFFFFFu);
        }
    try {
        vs::TMemoryStream out;
        vs::TjvIcon::WriteIconFile(out, icon);
        if (out.Size() != static_cast<std::int64_t>(vs::kIconFileImageOffset + 2216)) return 1;
        vs::WriteFileAtomic(argv[1], out.Memory(), static_cast<std::size_t>(out.Size()));
    } catch (const vs::VsError& e) {
        std::fprintf(stderr, "make_engine_icon: %s\n", e.what());
        return 1;
    }
    return 0;
}
