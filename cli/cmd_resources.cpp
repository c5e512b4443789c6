#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>

#include "exe/exe_image.h"
#include "exe/version_info.h"
#include "cli/commands.h"
#include "package/describe.h"
#include "platform/byte_reader.h"
#include "platform/cp1252.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs::cli {

namespace {

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

// The version information of one language, or why it could not be read.
struct VersionInfo {
    std::uint16_t language = 0;
    VersionBlockContents contents;
    std::string error;
};

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

std::string idText(const ResourceId& id) { return id.isName ? Utf16ToUtf8(id.name) : std::to_string(id.id); }
std::string idJson(const ResourceId& id) { return id.isName ? JsonQuote(Utf16ToUtf8(id.name)) : std::to_string(id.id); }

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
        if (!v.error.empty()) std::cout << "  " << v.error << "\n";
        if (const auto& f = v.contents.fixed) {
            std::cout << "  File version:    " << versionText(f->fileVersionMS, f->fileVersionLS) << "\n";
            std::cout << "  Product version: " << versionText(f->productVersionMS, f->productVersionLS) << "\n";
        }
        for (const auto& t : v.contents.stringTables) {
            std::cout << "  String table " << t.key << ":\n";
            for (const auto& [key, value] : t.strings) std::cout << "    " << key << " = " << value << "\n";
        }
        for (const VersionTranslation& t : v.contents.translations)
            std::cout << "  Translation: language " << t.language << ", code page " << t.codePage << "\n";
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
        const auto& tables = v.contents.stringTables;
        const auto& translations = v.contents.translations;
        o << (i ? ",\n    " : "\n    ") << "{\"language\": " << v.language;
        if (!v.error.empty()) o << ", \"error\": " << JsonQuote(v.error);
        if (const auto& f = v.contents.fixed)
            o << ", \"fileVersion\": \"" << versionText(f->fileVersionMS, f->fileVersionLS) << "\", \"productVersion\": \""
              << versionText(f->productVersionMS, f->productVersionLS) << "\", \"fileFlags\": " << f->fileFlags
              << ", \"fileOS\": " << f->fileOS << ", \"fileType\": " << f->fileType;
        o << ", \"stringTables\": [";
        for (std::size_t t = 0; t < tables.size(); ++t) {
            o << (t ? ", " : "") << "{\"key\": " << JsonQuote(tables[t].key) << ", \"strings\": {";
            for (std::size_t s = 0; s < tables[t].strings.size(); ++s)
                o << (s ? ", " : "") << JsonQuote(tables[t].strings[s].first) << ": " << JsonQuote(tables[t].strings[s].second);
            o << "}}";
        }
        o << "], \"translations\": [";
        for (std::size_t t = 0; t < translations.size(); ++t)
            o << (t ? ", " : "") << "{\"language\": " << translations[t].language
              << ", \"codePage\": " << translations[t].codePage << "}";
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
        runWithReasons([&] {
            // Only a regular file: a named pipe would keep the reader waiting.
            if (!FileExists(*file)) throw EExeError(exe_msg::CouldntOpen + *file);
            TExeImage image(*file);
            std::vector<Row> rows = listResources(image);
            std::vector<VersionInfo> versions;
            for (const Row& r : rows) {
                if (r.type.isName || r.type.id != RT_VERSION_ID) continue;
                VersionInfo v{r.language, {}, {}};
                try {
                    v.contents = ReadVersionBlock(r.data);
                } catch (const EExeError& e) {
                    v.error = e.what();
                }
                versions.push_back(std::move(v));
            }
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
