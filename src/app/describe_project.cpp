#include "app/describe_project.h"

#include <sstream>

#include "exe/icon.h"
#include "package/describe.h"
#include "platform/errors.h"
#include "shape/bitmap.h"

namespace vs {

namespace {

struct PictureFacts {
    std::string graphic;  // "TBitmap", "TIcon" or "" for none
    int width = 0, height = 0, bits = 0;
    std::size_t bytes = 0;
    bool valid = false;
};

PictureFacts FactsOf(const TImage* image) {
    PictureFacts f;
    if (!image || !image->Picture().HasGraphic()) return f;
    const TPicture& p = image->Picture();
    f.graphic = p.graphicClass;
    f.bytes = p.graphicFile.size();
    try {
        if (f.graphic == kBitmapGraphic) {
            const TBitmap bmp = TBitmap::FromBytes(p.graphicFile);
            f.width = bmp.Width();
            f.height = bmp.Height();
            f.bits = bmp.Format().bitsPerPixel;
        } else {
            const TIcon icon = ReadIconFile(p.graphicFile);
            f.width = icon.Width();
            f.height = icon.Height();
        }
        f.valid = true;
    } catch (const VsError&) {
        f.valid = false;
    }
    return f;
}

std::string PictureText(const PictureFacts& f) {
    if (f.graphic.empty()) return "no picture";
    std::ostringstream o;
    o << f.graphic << ", " << f.bytes << " bytes";
    if (!f.valid) return o.str() + ", not a valid picture";
    o << ", " << f.width << " x " << f.height;
    if (f.bits) o << ", " << f.bits << " bits per pixel";
    return o.str();
}

std::string PictureJson(const PictureFacts& f) {
    if (f.graphic.empty()) return "null";
    std::ostringstream o;
    o << "{\"graphic\": " << JsonQuote(f.graphic) << ", \"bytes\": " << f.bytes << ", \"valid\": "
      << (f.valid ? "true" : "false") << ", \"width\": " << f.width << ", \"height\": " << f.height;
    if (f.bits) o << ", \"bitsPerPixel\": " << f.bits;
    return o.str() + "}";
}

std::string VersionText(const TVersionInfoRec& rec) {
    return std::to_string(rec.major) + "." + std::to_string(rec.minor) + "." + std::to_string(rec.release) + "." +
           std::to_string(rec.build);
}

}  // namespace

std::string DescribeProject(const ProjectContents& p) {
    std::ostringstream o;
    o << "Settings:\n" << DescribeSettings(*p.settings);
    o << "Shape picture: ";
    if (p.shapeImage)
        o << PictureText(FactsOf(p.shapeImage.get())) << "\n";
    else
        o << "none (no shape)\n";
    const VersionInfoValues v = GetVersionInfoRec(p.version);
    o << "Version " << VersionText(p.version) << ":\n";
    for (int i = 0; i < kVersionStringCount; ++i)
        if (!v.strings[static_cast<std::size_t>(i)].empty())
            o << "  " << VersionStringFields()[static_cast<std::size_t>(i)].label << " = '"
              << v.strings[static_cast<std::size_t>(i)] << "'\n";
    o << "Icon: " << PictureText(FactsOf(p.iconImage.get())) << "\n";
    o << "File record: output file '" << p.record.outputName << "', icon file: '" << p.record.iconName
      << "', compression " << int(p.record.compression) << "\n";
    return o.str();
}

std::string DescribeProjectJson(const ProjectContents& p) {
    std::ostringstream o;
    std::string settings = DescribeSettingsJson(*p.settings);
    while (!settings.empty() && settings.back() == '\n') settings.pop_back();
    o << "{\n\"settings\": " << settings << ",\n\"shapeImage\": "
      << (p.shapeImage ? PictureJson(FactsOf(p.shapeImage.get())) : "null") << ",\n\"version\": {\"numbers\": \""
      << VersionText(p.version) << "\", \"strings\": {";
    const VersionInfoValues v = GetVersionInfoRec(p.version);
    for (int i = 0; i < kVersionStringCount; ++i)
        o << (i ? ", " : "") << JsonQuote(VersionStringFields()[static_cast<std::size_t>(i)].key) << ": "
          << JsonQuote(v.strings[static_cast<std::size_t>(i)]);
    o << "}},\n\"icon\": " << PictureJson(FactsOf(p.iconImage.get())) << ",\n\"fileRecord\": {\"outputName\": "
      << JsonQuote(p.record.outputName) << ", \"iconName\": " << JsonQuote(p.record.iconName)
      << ", \"compression\": " << int(p.record.compression) << "}\n}\n";
    return o.str();
}

}  // namespace vs
