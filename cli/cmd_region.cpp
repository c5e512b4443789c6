#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "shape/bitmap.h"
#include "shape/region_from_bitmap.h"

namespace vs::cli {

namespace {

struct RegionOptions {
    std::string image;
    std::string transparent;
    std::string svg;
    bool json = false;
};

std::string Hex(Colour c) {
    std::ostringstream s;
    s << std::uppercase << std::hex << std::setw(6) << std::setfill('0') << c;
    return s.str();
}

std::string Percent(std::uint64_t part, std::uint64_t whole) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(1) << (whole ? 100.0 * double(part) / double(whole) : 0.0) << '%';
    return s.str();
}

std::string RectList(const Rect& r) {
    return "[" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + "]";
}

void PrintText(const TBitmap& bmp, Colour transparent, bool fromCorner, const Region& region) {
    const std::uint64_t total = std::uint64_t(bmp.Width()) * std::uint64_t(bmp.Height());
    std::cout << "Bitmap: " << bmp.Width() << " x " << bmp.Height() << " pixels, " << bmp.Format().bitsPerPixel
              << " bits per pixel\n";
    std::cout << "Transparent colour: " << Hex(transparent) << (fromCorner ? " (top-left pixel)" : "") << "\n";
    std::cout << "Rectangles: " << region.rectCount() << "\n";
    if (region.empty()) {
        std::cout << "Bounds: none\n";
    } else {
        const Rect b = region.bounds();
        std::cout << "Bounds: " << b.left << ", " << b.top << ", " << b.right << ", " << b.bottom << "\n";
    }
    std::cout << "Visible: " << region.area() << " of " << total << " pixels (" << Percent(region.area(), total)
              << ")\n";
}

void PrintJson(const TBitmap& bmp, Colour transparent, const Region& region) {
    const std::uint64_t total = std::uint64_t(bmp.Width()) * std::uint64_t(bmp.Height());
    std::ostringstream out;
    out << "{\n";
    out << "  \"width\": " << bmp.Width() << ",\n";
    out << "  \"height\": " << bmp.Height() << ",\n";
    out << "  \"transparent\": \"" << Hex(transparent) << "\",\n";
    out << "  \"rectangleCount\": " << region.rectCount() << ",\n";
    out << "  \"bounds\": " << (region.empty() ? std::string("null") : RectList(region.bounds())) << ",\n";
    out << "  \"visiblePixels\": " << region.area() << ",\n";
    out << "  \"totalPixels\": " << total << ",\n";
    out << "  \"rectangles\": [";
    const auto rects = region.rects();
    for (std::size_t i = 0; i < rects.size(); ++i) out << (i ? ",\n    " : "\n    ") << RectList(rects[i]);
    out << (rects.empty() ? "]\n" : "\n  ]\n");
    out << "}\n";
    std::cout << out.str();
}

// The shape in the picture's size: the visible part filled, the transparent
// part as a chequered background.
std::string Svg(const TBitmap& bmp, const Region& region) {
    const std::string w = std::to_string(bmp.Width()), h = std::to_string(bmp.Height());
    std::ostringstream s;
    s << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << w << "\" height=\"" << h << "\" viewBox=\"0 0 " << w
      << ' ' << h << "\" shape-rendering=\"crispEdges\">\n"
      << "<defs><pattern id=\"transparent\" width=\"16\" height=\"16\" patternUnits=\"userSpaceOnUse\">"
      << "<rect width=\"16\" height=\"16\" fill=\"#ffffff\"/><rect width=\"8\" height=\"8\" fill=\"#d8d8d8\"/>"
      << "<rect x=\"8\" y=\"8\" width=\"8\" height=\"8\" fill=\"#d8d8d8\"/></pattern></defs>\n"
      << "<rect width=\"" << w << "\" height=\"" << h << "\" fill=\"url(#transparent)\"/>\n"
      << "<path fill=\"#1f5fbf\" d=\"";
    bool first = true;
    for (const Rect& r : region.rects()) {
        s << (first ? "" : " ") << 'M' << r.left << ' ' << r.top << 'h' << (r.right - r.left) << 'v'
          << (r.bottom - r.top) << 'h' << (r.left - r.right) << 'z';
        first = false;
    }
    s << "\"/>\n</svg>\n";
    return s.str();
}

int RunRegion(const RegionOptions& o) {
    std::optional<Colour> chosen;
    if (!o.transparent.empty()) {
        chosen = ParseColour(o.transparent);
        if (!chosen) {
            std::cerr << "vexelscreen: --transparent wants a colour as six hexadecimal digits, RRGGBB\n";
            return 2;
        }
    }
    if (!o.svg.empty() && SameFile(o.svg, o.image))
        throw VsError("\"" + o.svg + "\" is both the bitmap and the SVG file to write; nothing was written");
    const TBitmap bmp = TBitmap::FromFile(o.image);
    // As in the shape window, the top-left pixel gives the transparent colour
    // until another is chosen.
    const Colour transparent = chosen ? *chosen : bmp.Pixel(0, 0);
    const Region region = BitmapToRegion(bmp, transparent);
    if (!o.svg.empty()) {
        const std::string svg = Svg(bmp, region);
        WriteFileAtomic(o.svg, svg.data(), svg.size());
    }
    if (o.json) PrintJson(bmp, transparent, region);
    else PrintText(bmp, transparent, !chosen, region);
    return 0;
}

}  // namespace

void addRegionCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("region", "Compute the window shape that a bitmap gives");
    auto o = std::make_shared<RegionOptions>();
    cmd->add_option("IMAGE", o->image, "A Windows bitmap (.bmp)")->required();
    cmd->add_option("--transparent", o->transparent,
                    "The transparent colour as RRGGBB (default: the colour of the top-left pixel)");
    cmd->add_flag("--json", o->json, "Print the rectangles of the region as JSON");
    cmd->add_option("--svg", o->svg, "Draw the shape into this SVG file");
    cmd->callback([o] { runWithReasons([&] { return RunRegion(*o); }); });
}

}  // namespace vs::cli
