#include "package/describe.h"

#include <sstream>

#include "package/vexel_projector.h"

namespace vs {

namespace {

const char* modeName(std::uint8_t mode) {
    switch (mode) {
        case 1: return "stored";
        case 2: return "fastest";
        case 4: return "best";
        default: return "default";
    }
}

std::string scalarText(const s_TVexelProjector& s, const PropInfo& p) {
    switch (p.kind) {
        case PropKind::Integer: return std::to_string(p.getOrd(s));
        case PropKind::Enumeration: return p.enumType->idents.at(static_cast<std::size_t>(p.getOrd(s)));
        case PropKind::String: return "'" + p.getStr(s) + "'";
        case PropKind::Method: {
            TMethodRef m = p.getMethod(s);
            return m.empty() ? "(none)" : m.name;
        }
        default: return "";
    }
}

std::string scalarJson(const s_TVexelProjector& s, const PropInfo& p) {
    switch (p.kind) {
        case PropKind::Integer: return std::to_string(p.getOrd(s));
        case PropKind::Enumeration:
            if (p.enumType == &BooleanType()) return p.getOrd(s) ? "true" : "false";
            return JsonQuote(p.enumType->idents.at(static_cast<std::size_t>(p.getOrd(s))));
        case PropKind::String: return JsonQuote(p.getStr(s));
        case PropKind::Method: {
            TMethodRef m = p.getMethod(s);
            return m.empty() ? "null" : JsonQuote(m.name);
        }
        default: return "null";
    }
}

void packedText(std::ostringstream& o, const std::string& label, const TPackedFile& f) {
    o << label << ": ";
    if (f.Filename().empty() && f.IsEmpty()) {
        o << "(none)\n";
        return;
    }
    o << "'" << f.Filename() << "', " << f.Filesize << " bytes, mode " << int(f.CompressMode) << " ("
      << modeName(f.CompressMode) << "), " << f.FileDataSize() << " bytes stored";
    if (f.IsEmpty()) o << " (no data)";
    o << "\n";
}

std::string packedJson(const TPackedFile& f) {
    std::ostringstream o;
    o << "{\"Filename\": " << JsonQuote(f.Filename()) << ", \"Filesize\": " << f.Filesize
      << ", \"CompressMode\": " << int(f.CompressMode) << ", \"DataSize\": " << f.FileDataSize() << "}";
    return o.str();
}

std::vector<Rect> shapeRects(const TStoreWinRegion& shape) {
    const Region* r = shape.RegionHolder().Handle();
    return r ? r->rects() : std::vector<Rect>{};
}

}  // namespace

std::string JsonQuote(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    return out + "\"";
}

std::string DescribeSettings(const s_TVexelProjector& s) {
    std::ostringstream o;
    for (const PropInfo& p : s_TVexelProjector::StaticClassInfo().props)
        if (p.kind != PropKind::Object) o << p.name << " = " << scalarText(s, p) << "\n";
    packedText(o, "MainFile", s.MainFile());
    packedText(o, "DLLFile", s.DLLFile());
    o << "Files: " << s.Files().Count() << "\n";
    for (int i = 0; i < s.Files().Count(); ++i) packedText(o, "  [" + std::to_string(i) + "]", s.Files().Items(i));
    const TStoreWinRegion& shape = s.Shape();
    o << "Shape: " << shape.Width << " x " << shape.Height;
    if (shape.Empty()) {
        o << ", no region (rectangular window)\n";
    } else {
        std::vector<Rect> rects = shapeRects(shape);
        o << ", " << rects.size() << " rectangles";
        if (!shape.RegionHolder().Handle()) o << " (region bytes not valid)";
        o << "\n";
    }
    return o.str();
}

std::string DescribeSettingsJson(const s_TVexelProjector& s) {
    std::ostringstream o;
    o << "{";
    bool first = true;
    auto key = [&](const std::string& k) {
        o << (first ? "\n  " : ",\n  ") << JsonQuote(k) << ": ";
        first = false;
    };
    for (const PropInfo& p : s_TVexelProjector::StaticClassInfo().props) {
        key(p.name);
        if (p.name == "MainFile") o << packedJson(s.MainFile());
        else if (p.name == "DLLFile") o << packedJson(s.DLLFile());
        else if (p.name == "Files") {
            o << "[";
            for (int i = 0; i < s.Files().Count(); ++i) o << (i ? ", " : "") << packedJson(s.Files().Items(i));
            o << "]";
        } else if (p.name == "Shape") {
            o << "{\"Width\": " << s.Shape().Width << ", \"Height\": " << s.Shape().Height << ", \"Rects\": [";
            std::vector<Rect> rects = shapeRects(s.Shape());
            if (s.Shape().Empty()) rects.clear();
            for (std::size_t i = 0; i < rects.size(); ++i)
                o << (i ? ", " : "") << "[" << rects[i].left << ", " << rects[i].top << ", " << rects[i].right << ", "
                  << rects[i].bottom << "]";
            o << "]}";
        } else {
            o << scalarJson(s, p);
        }
    }
    o << "\n}\n";
    return o.str();
}

}  // namespace vs
