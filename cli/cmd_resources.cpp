#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>

#include "exe/exe_image.h"
#include "cli/commands.h"
#include "package/describe.h"
#include "platform/byte_reader.h"

namespace vs::cli {

namespace {

std::string utf8(const std::u16string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

const char* typeName(int id) {
    switch (id) {
        case 1: return "cursor";
        case 2: return "bitmap";
        case 3: return "icon";
        case 4: return "menu";
        case 5: return "dialog";
        case 6: return "string";
        case 7: return "fontdir";
        case 8: return "font";
        case 9: return "accelerator";
        case 10: return "rcdata";
        case 11: return "messagetable";
        case 12: return "group_cursor";
        case 14: return "group_icon";
        case 16: return "version";
        case 17: return "dlginclude";
        case 19: return "plugplay";
        case 20: return "vxd";
        case 21: return "anicursor";
        case 22: return "aniicon";
        case 23: return "html";
        case 24: return "manifest";
        default: return nullptr;
    }
}

std::string hex(std::uint32_t v, int width = 8) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", width, v);
    return buf;
}

// ------------------------------------------------------------ version blocks

// A node of a version block: length, value length, type, key, value, children.
struct VersionNode {
    std::u16string key;
    std::uint16_t type = 0;
    Bytes value;
    std::vector<VersionNode> children;
};

std::size_t align4(std::size_t v) { return (v + 3) & ~std::size_t{3}; }

// Reads the node at `start`, which must end by `limit`. Lengths that overrun
// their parent are cut to it; a node too short to hold its header ends the list.
std::optional<VersionNode> readNode(Bytes block, std::size_t start, std::size_t limit, int depth,
                                    std::size_t& length) {
    if (depth > 4 || !fitsIn(start, 6, limit)) return std::nullopt;
    ByteReader r(block.first(limit));
    r.seek(start);
    length = r.u16();
    std::uint16_t valueLength = r.u16();
    VersionNode node;
    node.type = r.u16();
    if (length < 6) return std::nullopt;
    std::size_t end = std::min(limit, start + length);
    while (r.position() + 2 <= end) {
        char16_t c = static_cast<char16_t>(r.u16());
        if (c == 0) break;
        node.key.push_back(c);
    }
    std::size_t valueAt = std::min(align4(r.position()), end);
    std::size_t valueBytes = std::min<std::size_t>(node.type == 1 ? 2u * valueLength : valueLength, end - valueAt);
    node.value = block.subspan(valueAt, valueBytes);
    std::size_t at = align4(valueAt + valueBytes);
    while (at + 6 <= end) {
        std::size_t childLength = 0;
        auto child = readNode(block, at, end, depth + 1, childLength);
        if (!child) break;
        node.children.push_back(std::move(*child));
        at = align4(at + childLength);
    }
    return node;
}

std::u16string text(Bytes value) {
    std::u16string s;
    for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
        char16_t c = static_cast<char16_t>(value[i] | (value[i + 1] << 8));
        if (c == 0) break;
        s.push_back(c);
    }
    return s;
}

struct VersionInfo {
    std::uint16_t language = 0;
    bool hasFixed = false;
    std::uint32_t fileMS = 0, fileLS = 0, productMS = 0, productLS = 0, flags = 0, os = 0, fileType = 0;
    struct Table {
        std::string key;
        std::vector<std::pair<std::string, std::string>> strings;
    };
    std::vector<Table> tables;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;
};

std::optional<VersionInfo> parseVersion(std::uint16_t language, Bytes block) {
    std::size_t length = 0;
    auto root = readNode(block, 0, block.size(), 0, length);
    if (!root) return std::nullopt;
    VersionInfo info;
    info.language = language;
    if (root->value.size() >= 52) {
        ByteReader f(root->value);
        if (f.u32() == 0xFEEF04BD) {
            info.hasFixed = true;
            f.u32();
            info.fileMS = f.u32();
            info.fileLS = f.u32();
            info.productMS = f.u32();
            info.productLS = f.u32();
            f.u32();
            info.flags = f.u32();
            info.os = f.u32();
            info.fileType = f.u32();
        }
    }
    for (const VersionNode& part : root->children) {
        if (part.key == u"StringFileInfo") {
            for (const VersionNode& table : part.children) {
                VersionInfo::Table t{utf8(table.key), {}};
                for (const VersionNode& s : table.children) t.strings.push_back({utf8(s.key), utf8(text(s.value))});
                info.tables.push_back(std::move(t));
            }
        } else if (part.key == u"VarFileInfo") {
            for (const VersionNode& var : part.children) {
                if (var.key != u"Translation") continue;
                for (std::size_t i = 0; i + 4 <= var.value.size(); i += 4)
                    info.translations.push_back({static_cast<std::uint16_t>(var.value[i] | (var.value[i + 1] << 8)),
                                                 static_cast<std::uint16_t>(var.value[i + 2] | (var.value[i + 3] << 8))});
            }
        }
    }
    return info;
}

std::string versionText(std::uint32_t ms, std::uint32_t ls) {
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
           std::to_string(ls & 0xFFFF);
}

// ------------------------------------------------------------ the listing

struct Row {
    ResourceId type, name;
    std::uint16_t language;
    std::uint32_t offset, size;
    Bytes data;
};

std::string idText(const ResourceId& id) { return id.isName ? utf8(id.name) : std::to_string(id.id); }
std::string idJson(const ResourceId& id) { return id.isName ? JsonQuote(utf8(id.name)) : std::to_string(id.id); }

std::vector<Row> listResources(TExeImage& image) {
    TResourceList& root = image.ResourceTree();
    // The image types are taken aside from the root list; put them back in
    // directory order (names first, then numbers ascending).
    std::vector<TResourceItem*> types;
    for (int i = 0; i < root.Count(); ++i) types.push_back(&root.Items(i));
    for (TResourceItem* aside : {image.CursorImageType(), image.IconImageType()}) {
        if (!aside) continue;
        auto at = std::find_if(types.begin(), types.end(),
                               [&](TResourceItem* t) { return !t->IsNamed() && t->Id() > aside->Id(); });
        types.insert(at, aside);
    }
    std::vector<Row> rows;
    for (TResourceItem* type : types) {
        if (!type->HasChildren()) continue;
        TResourceList& names = type->Children();
        for (int n = 0; n < names.Count(); ++n) {
            TResourceItem& name = names.Items(n);
            for (const TResourceLanguage& l : name.Languages())
                rows.push_back({type->Ident(), name.Ident(), l.language, l.fileOffset, l.size, Bytes(l.pointer, l.size)});
        }
    }
    return rows;
}

// The first icon image, depth first through the tree: root list, icon group
// type, group, the images it names.
TResourceItem* firstIconImage(TResourceList& list) {
    for (int i = 0; i < list.Count(); ++i) {
        TResourceItem& item = list.Items(i);
        if (item.TypeId() == RT_ICON_ID) return &item;
        if (item.HasChildren())
            if (TResourceItem* found = firstIconImage(item.Children())) return found;
    }
    return nullptr;
}

void printText(const std::string& file, const std::vector<Row>& rows, const std::vector<VersionInfo>& versions,
               TResourceItem* icon) {
    std::cout << "Resources of " << file << "\n";
    char line[160];
    std::snprintf(line, sizeof line, "  %-22s %-16s %8s  %-10s  %s\n", "TYPE", "NAME", "LANGUAGE", "OFFSET", "SIZE");
    std::cout << line;
    for (const Row& r : rows) {
        std::string type = idText(r.type);
        if (!r.type.isName && typeName(r.type.id)) type += std::string(" (") + typeName(r.type.id) + ")";
        std::snprintf(line, sizeof line, "  %-22s %-16s %8u  %-10s  %u\n", type.c_str(), idText(r.name).c_str(),
                      static_cast<unsigned>(r.language), hex(r.offset).c_str(), r.size);
        std::cout << line;
    }
    for (const VersionInfo& v : versions) {
        std::cout << "Version information (language " << v.language << "):\n";
        if (v.hasFixed) {
            std::cout << "  File version:    " << versionText(v.fileMS, v.fileLS) << "\n";
            std::cout << "  Product version: " << versionText(v.productMS, v.productLS) << "\n";
        }
        for (const auto& t : v.tables) {
            std::cout << "  String table " << t.key << ":\n";
            for (const auto& [key, value] : t.strings) std::cout << "    " << key << " = " << value << "\n";
        }
        for (const auto& [language, codePage] : v.translations)
            std::cout << "  Translation: language " << language << ", code page " << codePage << "\n";
    }
    if (icon)
        std::cout << "First icon image: offset " << hex(icon->DataFileOffset()) << " (" << icon->DataFileOffset()
                  << "), size " << icon->DataSize() << "\n";
    else
        std::cout << "First icon image: none\n";
}

void printJson(const std::string& file, const std::vector<Row>& rows, const std::vector<VersionInfo>& versions,
               TResourceItem* icon) {
    std::ostringstream o;
    o << "{\n  \"file\": " << JsonQuote(file) << ",\n  \"resources\": [";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& r = rows[i];
        o << (i ? ",\n    " : "\n    ") << "{\"type\": " << idJson(r.type);
        if (!r.type.isName && typeName(r.type.id)) o << ", \"typeName\": \"" << typeName(r.type.id) << "\"";
        o << ", \"name\": " << idJson(r.name) << ", \"language\": " << r.language << ", \"offset\": " << r.offset
          << ", \"size\": " << r.size << "}";
    }
    o << (rows.empty() ? "]" : "\n  ]") << ",\n  \"versions\": [";
    for (std::size_t i = 0; i < versions.size(); ++i) {
        const VersionInfo& v = versions[i];
        o << (i ? ",\n    " : "\n    ") << "{\"language\": " << v.language;
        if (v.hasFixed)
            o << ", \"fileVersion\": \"" << versionText(v.fileMS, v.fileLS) << "\", \"productVersion\": \""
              << versionText(v.productMS, v.productLS) << "\", \"fileFlags\": " << v.flags
              << ", \"fileOS\": " << v.os << ", \"fileType\": " << v.fileType;
        o << ", \"stringTables\": [";
        for (std::size_t t = 0; t < v.tables.size(); ++t) {
            o << (t ? ", " : "") << "{\"key\": " << JsonQuote(v.tables[t].key) << ", \"strings\": {";
            for (std::size_t s = 0; s < v.tables[t].strings.size(); ++s)
                o << (s ? ", " : "") << JsonQuote(v.tables[t].strings[s].first) << ": "
                  << JsonQuote(v.tables[t].strings[s].second);
            o << "}}";
        }
        o << "], \"translations\": [";
        for (std::size_t t = 0; t < v.translations.size(); ++t)
            o << (t ? ", " : "") << "{\"language\": " << v.translations[t].first
              << ", \"codePage\": " << v.translations[t].second << "}";
        o << "]}";
    }
    o << (versions.empty() ? "]" : "\n  ]") << ",\n  \"firstIconImage\": ";
    if (icon)
        o << "{\"offset\": " << icon->DataFileOffset() << ", \"size\": " << icon->DataSize() << "}";
    else
        o << "null";
    o << "\n}\n";
    std::cout << o.str();
}

}  // namespace

void addResourcesCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("resources", "List the resources, version information and first icon image of an executable");
    auto file = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    cmd->add_option("FILE", *file, "A 32-bit Windows executable")->required();
    cmd->add_flag("--json", *json, "Print JSON");
    cmd->callback([file, json] {
        runReporting([&] {
            TExeImage image(*file);
            std::vector<Row> rows = listResources(image);
            std::vector<VersionInfo> versions;
            for (const Row& r : rows)
                if (!r.type.isName && r.type.id == RT_VERSION_ID)
                    if (auto v = parseVersion(r.language, r.data)) versions.push_back(std::move(*v));
            TResourceItem* icon = firstIconImage(image.ResourceTree());
            if (*json)
                printJson(*file, rows, versions, icon);
            else
                printText(*file, rows, versions, icon);
            return 0;
        });
    });
}

}  // namespace vs::cli
