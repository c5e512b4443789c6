#include "support/pe_builder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>

namespace vs::test {

namespace {

constexpr std::uint32_t kImageBase = 0x400000;
constexpr std::uint32_t kNtOffset = 0x80;

std::uint32_t alignUp(std::uint32_t v, std::uint32_t a) { return (v + a - 1) / a * a; }

void put16(PeBytes& b, std::uint16_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(PeBytes& b, std::uint32_t v) {
    put16(b, static_cast<std::uint16_t>(v));
    put16(b, static_cast<std::uint16_t>(v >> 16));
}
void padTo(PeBytes& b, std::size_t alignment) {
    while (b.size() % alignment) b.push_back(0);
}
void putU16String(PeBytes& b, const std::u16string& s) {
    for (char16_t c : s) put16(b, static_cast<std::uint16_t>(c));
}

// Orders resource identifiers the way a directory stores them: names first
// (by code unit), then numbers ascending.
bool idLess(const ResourceId& a, const ResourceId& b) {
    if (a.isName != b.isName) return a.isName;
    if (a.isName) return a.name < b.name;
    return a.id < b.id;
}
struct IdLess {
    bool operator()(const ResourceId& a, const ResourceId& b) const { return idLess(a, b); }
};

// A node of a version block: length, value length, type, key, value, children.
PeBytes versionNode(const std::u16string& key, const PeBytes& value, std::uint16_t valueLength,
                    std::uint16_t type, const std::vector<PeBytes>& children) {
    PeBytes out;
    put16(out, 0);
    put16(out, valueLength);
    put16(out, type);
    putU16String(out, key);
    put16(out, 0);
    padTo(out, 4);
    out.insert(out.end(), value.begin(), value.end());
    for (const PeBytes& child : children) {
        padTo(out, 4);
        out.insert(out.end(), child.begin(), child.end());
    }
    PutLe16(out, 0, static_cast<std::uint16_t>(out.size()));
    return out;
}

// Resource section bytes for resources at relative virtual address `rva`.
PeBytes layoutResources(const std::vector<PeResource>& resources, std::uint32_t rva,
                        std::vector<std::uint32_t>& dataOffsets) {
    using Langs = std::map<std::uint16_t, std::size_t>;  // language -> index in resources
    using Names = std::map<ResourceId, Langs, IdLess>;
    std::map<ResourceId, Names, IdLess> tree;
    for (std::size_t i = 0; i < resources.size(); ++i)
        tree[resources[i].type][resources[i].name][resources[i].language] = i;

    // Sizes of the regions, so every offset is known before writing.
    std::uint32_t dirBytes = 16 + 8 * static_cast<std::uint32_t>(tree.size());
    std::uint32_t dataEntries = 0;
    std::vector<std::u16string> strings;
    for (auto& [type, names] : tree) {
        if (type.isName) strings.push_back(type.name);
        dirBytes += 16 + 8 * static_cast<std::uint32_t>(names.size());
        for (auto& [name, langs] : names) {
            if (name.isName) strings.push_back(name.name);
            dirBytes += 16 + 8 * static_cast<std::uint32_t>(langs.size());
            dataEntries += static_cast<std::uint32_t>(langs.size());
        }
    }
    std::uint32_t entriesAt = dirBytes;
    std::uint32_t stringsAt = entriesAt + 16 * dataEntries;
    std::map<std::u16string, std::uint32_t> stringOffset;
    std::uint32_t pos = stringsAt;
    for (const auto& s : strings) {
        if (stringOffset.count(s)) continue;
        stringOffset[s] = pos;
        pos += 2 + 2 * static_cast<std::uint32_t>(s.size());
    }
    std::uint32_t dataAt = alignUp(pos, 8);

    PeBytes out(dataAt, 0);
    dataOffsets.assign(resources.size(), 0);
    std::uint32_t nextDir = 0, nextEntry = entriesAt, nextData = dataAt;
    auto writeDirHeader = [&](std::uint32_t at, std::uint16_t named, std::uint16_t numbered) {
        PutLe16(out, at + 12, named);
        PutLe16(out, at + 14, numbered);
    };
    auto idField = [&](const ResourceId& id) -> std::uint32_t {
        return id.isName ? (0x80000000u | stringOffset.at(id.name)) : id.id;
    };
    auto counts = [](const auto& map) {
        std::uint16_t named = 0, numbered = 0;
        for (const auto& kv : map) (kv.first.isName ? named : numbered)++;
        return std::pair{named, numbered};
    };

    std::uint32_t root = nextDir;
    auto [rootNamed, rootNumbered] = counts(tree);
    writeDirHeader(root, rootNamed, rootNumbered);
    nextDir += 16 + 8 * static_cast<std::uint32_t>(tree.size());
    std::uint32_t slot = root + 16;
    // Type directories come right after the root, then the name directories.
    std::vector<std::pair<std::uint32_t, const Names*>> typeDirs;
    for (auto& [type, names] : tree) {
        PutLe32(out, slot, idField(type));
        PutLe32(out, slot + 4, 0x80000000u | nextDir);
        typeDirs.push_back({nextDir, &names});
        nextDir += 16 + 8 * static_cast<std::uint32_t>(names.size());
        slot += 8;
    }
    for (auto& [typeDir, names] : typeDirs) {
        auto [named, numbered] = counts(*names);
        writeDirHeader(typeDir, named, numbered);
        std::uint32_t nameSlot = typeDir + 16;
        for (auto& [name, langs] : *names) {
            PutLe32(out, nameSlot, idField(name));
            PutLe32(out, nameSlot + 4, 0x80000000u | nextDir);
            std::uint32_t langDir = nextDir;
            nextDir += 16 + 8 * static_cast<std::uint32_t>(langs.size());
            writeDirHeader(langDir, 0, static_cast<std::uint16_t>(langs.size()));
            std::uint32_t langSlot = langDir + 16;
            for (auto& [lang, index] : langs) {
                PutLe32(out, langSlot, lang);
                PutLe32(out, langSlot + 4, nextEntry);
                const PeBytes& data = resources[index].data;
                PutLe32(out, nextEntry, rva + nextData);
                PutLe32(out, nextEntry + 4, static_cast<std::uint32_t>(data.size()));
                dataOffsets[index] = nextData;
                out.resize(nextData);
                out.insert(out.end(), data.begin(), data.end());
                nextData = alignUp(static_cast<std::uint32_t>(out.size()), 8);
                nextEntry += 16;
                langSlot += 8;
            }
            nameSlot += 8;
        }
    }
    for (const auto& [s, at] : stringOffset) {
        PutLe16(out, at, static_cast<std::uint16_t>(s.size()));
        for (std::size_t i = 0; i < s.size(); ++i) PutLe16(out, at + 2 + 2 * i, static_cast<std::uint16_t>(s[i]));
    }
    return out;
}

}  // namespace

std::uint16_t Le16(const PeBytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}
std::uint32_t Le32(const PeBytes& b, std::size_t at) {
    return Le16(b, at) | (static_cast<std::uint32_t>(Le16(b, at + 2)) << 16);
}
void PutLe16(PeBytes& b, std::size_t at, std::uint16_t v) {
    b.at(at) = static_cast<std::uint8_t>(v);
    b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}
void PutLe32(PeBytes& b, std::size_t at, std::uint32_t v) {
    PutLe16(b, at, static_cast<std::uint16_t>(v));
    PutLe16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::uint32_t PeChecksum(const PeBytes& image, std::uint32_t checksumOffset) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        if (i >= checksumOffset && i < checksumOffset + 4) continue;
        std::uint32_t word = image[i] | (i + 1 < image.size() ? image[i + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum) + static_cast<std::uint32_t>(image.size());
}

PeBytes MakeIconImage(int width, int height, int bitCount, std::uint8_t seed) {
    PeBytes out;
    std::uint32_t colourRow = ((width * bitCount + 31) / 32) * 4;
    std::uint32_t maskRow = ((width + 31) / 32) * 4;
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(width));
    put32(out, static_cast<std::uint32_t>(height * 2));
    put16(out, 1);
    put16(out, static_cast<std::uint16_t>(bitCount));
    put32(out, 0);
    put32(out, colourRow * height);
    for (int i = 0; i < 4; ++i) put32(out, 0);
    if (bitCount <= 8) {
        for (int i = 0; i < (1 << bitCount); ++i) {
            out.push_back(static_cast<std::uint8_t>(i * 37 + seed));
            out.push_back(static_cast<std::uint8_t>(i * 11 + seed));
            out.push_back(static_cast<std::uint8_t>(i * 5 + seed));
            out.push_back(0);
        }
    }
    for (std::uint32_t i = 0; i < colourRow * height; ++i) out.push_back(static_cast<std::uint8_t>(seed + i * 7));
    for (std::uint32_t i = 0; i < maskRow * height; ++i) out.push_back(static_cast<std::uint8_t>(i & 1 ? 0xF0 : 0x0F));
    return out;
}

PeBytes MakeVersionBlock(const VersionSpec& spec) {
    PeBytes fixed;
    put32(fixed, 0xFEEF04BD);
    put32(fixed, 0x00010000);
    put32(fixed, (static_cast<std::uint32_t>(spec.fileVersion[0]) << 16) | spec.fileVersion[1]);
    put32(fixed, (static_cast<std::uint32_t>(spec.fileVersion[2]) << 16) | spec.fileVersion[3]);
    put32(fixed, (static_cast<std::uint32_t>(spec.productVersion[0]) << 16) | spec.productVersion[1]);
    put32(fixed, (static_cast<std::uint32_t>(spec.productVersion[2]) << 16) | spec.productVersion[3]);
    put32(fixed, 0x3F);
    put32(fixed, 0);
    put32(fixed, 0x40004);
    put32(fixed, 1);
    put32(fixed, 0);
    put32(fixed, 0);
    put32(fixed, 0);

    std::vector<PeBytes> strings;
    for (const auto& [key, value] : spec.strings) {
        PeBytes text;
        putU16String(text, U16(value));
        put16(text, 0);
        strings.push_back(versionNode(U16(key), text, static_cast<std::uint16_t>(value.size() + 1), 1, {}));
    }
    char table[9];
    std::snprintf(table, sizeof table, "%04X%04X", spec.language, spec.codePage);
    PeBytes stringTable = versionNode(U16(table), {}, 0, 1, strings);
    PeBytes stringInfo = versionNode(u"StringFileInfo", {}, 0, 1, {stringTable});
    PeBytes translation;
    put16(translation, spec.language);
    put16(translation, spec.codePage);
    PeBytes var = versionNode(u"Translation", translation, 4, 0, {});
    PeBytes varInfo = versionNode(u"VarFileInfo", {}, 0, 1, {var});
    return versionNode(u"VS_VERSION_INFO", fixed, 52, 0, {stringInfo, varInfo});
}

PeBuilder& PeBuilder::Resource(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                               PeBytes data) {
    resources_.push_back({type, name, language, std::move(data)});
    return *this;
}
PeBuilder& PeBuilder::Resource(std::uint16_t type, std::uint16_t name, std::uint16_t language, PeBytes data) {
    return Resource(ResourceId::Number(type), ResourceId::Number(name), language, std::move(data));
}
PeBuilder& PeBuilder::IconImage(std::uint16_t id, PeBytes image, std::uint16_t language) {
    return Resource(3, id, language, std::move(image));
}

namespace {
// Icon group data naming the given images, filled from their headers.
PeBytes iconGroupData(const std::vector<PeResource>& resources, const std::vector<std::uint16_t>& imageIds) {
    PeBytes group;
    put16(group, 0);
    put16(group, 1);
    put16(group, static_cast<std::uint16_t>(imageIds.size()));
    for (std::uint16_t id : imageIds) {
        const PeResource* image = nullptr;
        for (const PeResource& r : resources)
            if (!r.type.isName && r.type.id == 3 && !r.name.isName && r.name.id == id) image = &r;
        std::uint32_t width = 0, height = 0, bits = 0, size = 0;
        if (image && image->data.size() >= 40) {
            width = Le32(image->data, 4);
            height = Le32(image->data, 8) / 2;
            bits = Le16(image->data, 14);
            size = static_cast<std::uint32_t>(image->data.size());
        }
        group.push_back(static_cast<std::uint8_t>(width));
        group.push_back(static_cast<std::uint8_t>(height));
        group.push_back(static_cast<std::uint8_t>(bits < 8 ? 1u << bits : 0));
        group.push_back(0);
        put16(group, 1);
        put16(group, static_cast<std::uint16_t>(bits));
        put32(group, size);
        put16(group, id);
    }
    return group;
}
}  // namespace

PeBuilder& PeBuilder::IconGroup(std::uint16_t name, const std::vector<std::uint16_t>& imageIds,
                                std::uint16_t language) {
    return Resource(ResourceId::Number(14), ResourceId::Number(name), language, iconGroupData(resources_, imageIds));
}

PeBuilder& PeBuilder::IconGroup(const std::u16string& name, const std::vector<std::uint16_t>& imageIds,
                                std::uint16_t language) {
    return Resource(ResourceId::Number(14), ResourceId::Named(name), language, iconGroupData(resources_, imageIds));
}

PeBuilder& PeBuilder::Version(const VersionSpec& spec) {
    return Resource(16, 1, spec.language, MakeVersionBlock(spec));
}

PeBuilder& PeBuilder::NoResourceSection() { withResources_ = false; return *this; }
PeBuilder& PeBuilder::ResourceSectionName(std::string name) { rsrcName_ = std::move(name); return *this; }
PeBuilder& PeBuilder::RelocAfterResources(bool on) { reloc_ = on; return *this; }
PeBuilder& PeBuilder::ExtraRawSlack(std::uint32_t bytes) { slack_ = bytes; return *this; }
PeBuilder& PeBuilder::OptionalHeaderPadding(std::uint16_t bytes) { optPadding_ = bytes; return *this; }
PeBuilder& PeBuilder::CoffSymbols(std::uint32_t count) { symbols_ = count; return *this; }
PeBuilder& PeBuilder::Certificate(PeBytes blob) { certificate_ = std::move(blob); return *this; }
PeBuilder& PeBuilder::Append(PeBytes tail) { tail_ = std::move(tail); return *this; }
PeBuilder& PeBuilder::Alignments(std::uint32_t file, std::uint32_t section) {
    fileAlign_ = file;
    sectionAlign_ = section;
    return *this;
}
PeBuilder& PeBuilder::Checksum(bool on) { checksum_ = on; return *this; }
PeBuilder& PeBuilder::Pe32Plus(bool on) { pe32plus_ = on; return *this; }
PeBuilder& PeBuilder::Machine(std::uint16_t machine) { machine_ = machine; return *this; }

PeBytes PeBuilder::Build(PeLayout* layoutOut) const {
    PeLayout layout;
    struct Section {
        std::string name;
        PeBytes raw;
        std::uint32_t virtualSize = 0, rva = 0, rawAt = 0, rawSize = 0, flags = 0;
    };
    std::vector<Section> sections;

    // The optional header's fixed part is 96 bytes (PE32) or 112 (PE32+), then
    // 16 data directories.
    const std::uint32_t optFixed = pe32plus_ ? 112 : 96;
    const std::uint16_t optSize = static_cast<std::uint16_t>(optFixed + 128 + optPadding_);
    const std::uint32_t sectionCount = 1 + (withResources_ ? 1 : 0) + (reloc_ ? 1 : 0);
    layout.ntHeaders = kNtOffset;
    layout.sectionTable = kNtOffset + 24 + optSize;
    const std::uint32_t headersSize = alignUp(layout.sectionTable + 40 * sectionCount, fileAlign_);

    std::uint32_t rva = alignUp(headersSize, sectionAlign_);
    std::uint32_t fileAt = headersSize;
    auto place = [&](Section s) {
        s.rva = rva;
        s.virtualSize = static_cast<std::uint32_t>(s.raw.size());
        s.rawSize = alignUp(s.virtualSize, fileAlign_);
        s.rawAt = s.rawSize ? fileAt : 0;
        s.raw.resize(s.rawSize, 0);
        rva += alignUp(std::max<std::uint32_t>(s.virtualSize, 1), sectionAlign_);
        fileAt += s.rawSize;
        sections.push_back(std::move(s));
    };

    Section text{".text", PeBytes(16, 0x90)};
    text.raw[0] = 0xC3;
    PutLe32(text.raw, 4, kImageBase + rva);  // an absolute address, fixed up by .reloc (64 bits wide in PE32+)
    text.flags = 0x60000020;
    place(std::move(text));

    std::vector<std::uint32_t> dataOffsets;
    if (withResources_) {
        Section rsrc{rsrcName_, layoutResources(resources_, rva, dataOffsets)};
        rsrc.raw.resize(rsrc.raw.size() + slack_, 0);
        rsrc.flags = 0x40000040;
        place(std::move(rsrc));
        const Section& s = sections.back();
        layout.rsrcHeader = layout.sectionTable + 40 * 1;
        layout.rsrcRaw = s.rawAt;
        layout.rsrcRawSize = s.rawSize;
        layout.rsrcRva = s.rva;
        layout.rsrcVirtualSize = s.virtualSize;
        for (std::uint32_t off : dataOffsets) {
            std::size_t i = layout.dataAt.size();
            layout.dataAt.push_back({s.rawAt + off, static_cast<std::uint32_t>(resources_[i].data.size())});
        }
    }
    if (reloc_) {
        PeBytes block;
        put32(block, sections[0].rva);
        put32(block, 12);
        put16(block, pe32plus_ ? 0xA004 : 0x3004);  // DIR64 or HIGHLOW at offset 4 of the code section
        put16(block, 0);
        Section reloc{".reloc", block};
        reloc.flags = 0x42000040;
        place(std::move(reloc));
        layout.relocRaw = sections.back().rawAt;
        layout.relocRva = sections.back().rva;
    }
    const std::uint32_t imageSize = rva;
    layout.imageEnd = fileAt;

    PeBytes out(headersSize, 0);
    out[0] = 'M';
    out[1] = 'Z';
    PutLe32(out, 60, kNtOffset);
    const std::uint32_t nt = kNtOffset;
    out[nt] = 'P';
    out[nt + 1] = 'E';
    const std::uint32_t fh = nt + 4;
    PutLe16(out, fh + 0, machine_.value_or(pe32plus_ ? 0x8664 : 0x014C));
    PutLe16(out, fh + 2, static_cast<std::uint16_t>(sectionCount));
    PutLe16(out, fh + 16, optSize);
    PutLe16(out, fh + 18, pe32plus_ ? 0x0022 : 0x0102);  // executable; large-address-aware or 32-bit machine
    const std::uint32_t opt = nt + 24;
    PutLe16(out, opt + 0, pe32plus_ ? 0x20B : 0x10B);
    PutLe32(out, opt + 4, sections[0].rawSize);
    std::uint32_t initialized = 0;
    for (std::size_t i = 1; i < sections.size(); ++i) initialized += sections[i].rawSize;
    PutLe32(out, opt + 8, initialized);
    PutLe32(out, opt + 16, sections[0].rva);
    PutLe32(out, opt + 20, sections[0].rva);
    // PE32+ has no base of data; its image base and the four stack and heap
    // sizes are 64 bits wide, which moves what follows them.
    PutLe32(out, opt + (pe32plus_ ? 24 : 28), kImageBase);
    PutLe32(out, opt + 32, sectionAlign_);
    PutLe32(out, opt + 36, fileAlign_);
    PutLe16(out, opt + 40, 4);
    PutLe16(out, opt + 48, 4);
    PutLe32(out, opt + 56, imageSize);
    PutLe32(out, opt + 60, headersSize);
    PutLe16(out, opt + 68, 2);
    const std::uint32_t sizeWidth = pe32plus_ ? 8 : 4;
    PutLe32(out, opt + 72, 0x100000);
    PutLe32(out, opt + 72 + sizeWidth, 0x1000);
    PutLe32(out, opt + 72 + 2 * sizeWidth, 0x100000);
    PutLe32(out, opt + 72 + 3 * sizeWidth, 0x1000);
    PutLe32(out, opt + optFixed - 4, 16);
    const std::uint32_t directories = opt + optFixed;
    for (const Section& s : sections) {
        if (s.name == rsrcName_ && withResources_) {
            PutLe32(out, directories + 8 * 2, s.rva);
            PutLe32(out, directories + 8 * 2 + 4, s.virtualSize);
        }
        if (s.name == ".reloc") {
            PutLe32(out, directories + 8 * 5, s.rva);
            PutLe32(out, directories + 8 * 5 + 4, s.virtualSize);
        }
    }
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Section& s = sections[i];
        std::uint32_t at = layout.sectionTable + 40 * static_cast<std::uint32_t>(i);
        for (std::size_t c = 0; c < s.name.size() && c < 8; ++c) out[at + c] = static_cast<std::uint8_t>(s.name[c]);
        PutLe32(out, at + 8, s.virtualSize);
        PutLe32(out, at + 12, s.rva);
        PutLe32(out, at + 16, s.rawSize);
        PutLe32(out, at + 20, s.rawAt);
        PutLe32(out, at + 36, s.flags);
    }
    for (const Section& s : sections) out.insert(out.end(), s.raw.begin(), s.raw.end());

    if (symbols_) {
        PutLe32(out, fh + 8, static_cast<std::uint32_t>(out.size()));
        PutLe32(out, fh + 12, symbols_);
        for (std::uint32_t i = 0; i < symbols_; ++i) {
            char name[9];
            std::snprintf(name, sizeof name, "sym%04u", i % 10000);
            for (int c = 0; c < 8; ++c) out.push_back(static_cast<std::uint8_t>(name[c]));
            put32(out, 4 * i);  // value
            put16(out, 1);      // section number
            put16(out, 0);      // type
            out.push_back(2);   // external
            out.push_back(0);   // no auxiliary records
        }
        put32(out, 4);  // empty string table
    }
    if (!certificate_.empty()) {
        padTo(out, 8);
        std::uint32_t at = static_cast<std::uint32_t>(out.size());
        PeBytes cert;
        put32(cert, static_cast<std::uint32_t>(8 + certificate_.size()));
        put16(cert, 0x0200);
        put16(cert, 0x0002);
        cert.insert(cert.end(), certificate_.begin(), certificate_.end());
        padTo(cert, 8);
        out.insert(out.end(), cert.begin(), cert.end());
        PutLe32(out, directories + 8 * 4, at);
        PutLe32(out, directories + 8 * 4 + 4, static_cast<std::uint32_t>(cert.size()));
    }
    out.insert(out.end(), tail_.begin(), tail_.end());
    if (checksum_) PutLe32(out, opt + 64, PeChecksum(out, opt + 64));
    if (layoutOut) *layoutOut = layout;
    return out;
}

void PeBuilder::Write(const std::string& path, PeLayout* layout) const {
    PeBytes bytes = Build(layout);
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

}  // namespace vs::test
