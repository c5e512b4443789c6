#include "exe/resource_updater.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>

#include "platform/ascii.h"
#include "platform/atomic_file.h"
#include "platform/byte_reader.h"
#include "platform/errors.h"
#include "platform/stream.h"

// The rewrite keeps everything of the file except the resource section, which
// is laid out again from the parsed tree with the changes applied. When the new
// section needs more room than the old one had:
//  - in the file, everything behind it moves back by whole file-alignment units
//    (section data, and a COFF symbol table, whose pointer is fixed);
//  - in memory, the sections behind it move up by whole section-alignment units,
//    which is only done for sections that nothing addresses directly: the base
//    relocations and discardable sections.
// Anything else that would have to move (appended data such as a package whose
// offsets count from the start of the file, a certificate, code or data) makes
// the rewrite refuse, and the file stays as it was.

namespace vs {

namespace {

struct Refusal {
    std::string why;
};
[[noreturn]] void refuse(std::string why) { throw Refusal{std::move(why)}; }

constexpr std::uint32_t kSubdir = 0x80000000u;
constexpr std::uint32_t kScnInitializedData = 0x00000040u;
constexpr std::uint32_t kScnDiscardable = 0x02000000u;
constexpr int kDirSecurity = 4, kDirResource = 2, kDirBaseReloc = 5, kDirDebug = 6;

std::uint16_t rd16(Bytes b, std::uint64_t at) {
    if (!fitsIn(at, 2, b.size())) refuse("the file is damaged");
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::uint32_t rd32(Bytes b, std::uint64_t at) {
    if (!fitsIn(at, 4, b.size())) refuse("the file is damaged");
    return rd16(b, at) | (static_cast<std::uint32_t>(rd16(b, at + 2)) << 16);
}
void wr16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void wr32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    wr16(b, at, static_cast<std::uint16_t>(v));
    wr16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

bool isPowerOfTwo(std::uint32_t v) { return v && !(v & (v - 1)); }
std::uint64_t alignUp(std::uint64_t v, std::uint64_t a) { return (v + a - 1) / a * a; }

// Identifiers match as the platform's lookup does: numbers exactly, names
// without regard to case.
bool sameId(const ResourceId& a, const ResourceId& b) {
    if (a.isName != b.isName) return false;
    if (!a.isName) return a.id == b.id;
    return SameText(std::u16string_view(a.name), std::u16string_view(b.name));
}
// Directory order: names first (by code unit), then numbers ascending.
bool idLess(const ResourceId& a, const ResourceId& b) {
    if (a.isName != b.isName) return a.isName;
    if (a.isName) return a.name < b.name;
    return a.id < b.id;
}

// ------------------------------------------------------------ the tree

struct Leaf {
    std::uint16_t language = 0;
    std::uint32_t codePage = 0;
    Bytes data;  // into the old file or into a change
};
struct NameNode {
    ResourceId id;
    std::vector<Leaf> leaves;
};
struct TypeNode {
    ResourceId id;
    std::vector<NameNode> names;
};
using Tree = std::vector<TypeNode>;

class TreeReader {
public:
    TreeReader(Bytes section, std::uint32_t sectionRva) : sec_(section), rva_(sectionRva), budget_(section.size() / 8 + 1) {}

    Tree Read() {
        Tree tree;
        for (auto [typeField, typeData] : Entries(0)) {
            if (!(typeData & kSubdir)) refuse("the resource tree is not laid out by type, name and language");
            TypeNode type{Id(typeField), {}};
            for (auto [nameField, nameData] : Entries(typeData & ~kSubdir)) {
                if (!(nameData & kSubdir)) refuse("the resource tree is not laid out by type, name and language");
                NameNode name{Id(nameField), {}};
                for (auto [langField, langData] : Entries(nameData & ~kSubdir)) {
                    if (langData & kSubdir) refuse("the resource tree is deeper than type, name and language");
                    name.leaves.push_back(DataEntry(static_cast<std::uint16_t>(langField), langData));
                }
                type.names.push_back(std::move(name));
            }
            tree.push_back(std::move(type));
        }
        return tree;
    }

private:
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Entries(std::uint32_t dir) {
        std::uint32_t count = rd16(sec_, std::uint64_t{dir} + 12) + rd16(sec_, std::uint64_t{dir} + 14);
        if (!fitsIn(std::uint64_t{dir} + 16, 8ull * count, sec_.size())) refuse("the resource tree is damaged");
        // A tree whose directories share entries or point back at each other
        // runs out of budget instead of growing without end.
        if (count > budget_) refuse("the resource tree is damaged");
        budget_ -= count;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
        for (std::uint32_t i = 0; i < count; ++i)
            out.push_back({rd32(sec_, std::uint64_t{dir} + 16 + 8 * i), rd32(sec_, std::uint64_t{dir} + 20 + 8 * i)});
        return out;
    }

    ResourceId Id(std::uint32_t field) {
        if (!(field & kSubdir)) {
            if (field > 0xFFFF) refuse("the resource tree is damaged");
            return ResourceId::Number(static_cast<std::uint16_t>(field));
        }
        std::uint32_t at = field & ~kSubdir;
        std::uint16_t length = rd16(sec_, at);
        if (!fitsIn(std::uint64_t{at} + 2, 2ull * length, sec_.size())) refuse("the resource tree is damaged");
        std::u16string name;
        for (std::uint32_t i = 0; i < length; ++i) name.push_back(static_cast<char16_t>(rd16(sec_, std::uint64_t{at} + 2 + 2 * i)));
        return ResourceId::Named(std::move(name));
    }

    Leaf DataEntry(std::uint16_t language, std::uint32_t at) {
        std::uint32_t rva = rd32(sec_, at), size = rd32(sec_, std::uint64_t{at} + 4), codePage = rd32(sec_, std::uint64_t{at} + 8);
        if (rva < rva_ || !fitsIn(rva - rva_, size, sec_.size()))
            refuse("resource data lies outside the resource section");
        return {language, codePage, sec_.subspan(rva - rva_, size)};
    }

    Bytes sec_;
    std::uint32_t rva_;
    std::size_t budget_;
};

void applyChange(Tree& tree, const ResourceChange& change) {
    auto type = std::find_if(tree.begin(), tree.end(), [&](const TypeNode& t) { return sameId(t.id, change.type); });
    if (type == tree.end()) type = tree.insert(tree.end(), TypeNode{change.type, {}});
    auto name = std::find_if(type->names.begin(), type->names.end(),
                             [&](const NameNode& n) { return sameId(n.id, change.name); });
    if (name == type->names.end()) name = type->names.insert(type->names.end(), NameNode{change.name, {}});
    auto leaf = std::find_if(name->leaves.begin(), name->leaves.end(),
                             [&](const Leaf& l) { return l.language == change.language; });
    if (leaf == name->leaves.end()) leaf = name->leaves.insert(name->leaves.end(), Leaf{change.language, 0, {}});
    leaf->data = change.data;
}

void sortTree(Tree& tree) {
    std::stable_sort(tree.begin(), tree.end(), [](const TypeNode& a, const TypeNode& b) { return idLess(a.id, b.id); });
    for (TypeNode& t : tree) {
        std::stable_sort(t.names.begin(), t.names.end(), [](const NameNode& a, const NameNode& b) { return idLess(a.id, b.id); });
        for (NameNode& n : t.names)
            std::stable_sort(n.leaves.begin(), n.leaves.end(),
                             [](const Leaf& a, const Leaf& b) { return a.language < b.language; });
    }
}

// Lays the tree out as a resource section at `rva`: the directory tables
// (root, types, names), the data entries, the name strings, then the data,
// each piece on an 8-byte boundary.
std::vector<std::uint8_t> layoutSection(const Tree& tree, std::uint32_t rva, std::uint64_t limit) {
    std::uint64_t dirBytes = 16 + 8ull * tree.size(), leaves = 0, dataBytes = 0;
    std::map<std::u16string, std::uint32_t> strings;
    for (const TypeNode& t : tree) {
        if (t.id.isName) strings.emplace(t.id.name, 0);
        dirBytes += 16 + 8ull * t.names.size();
        for (const NameNode& n : t.names) {
            if (n.id.isName) strings.emplace(n.id.name, 0);
            dirBytes += 16 + 8ull * n.leaves.size();
            leaves += n.leaves.size();
            for (const Leaf& l : n.leaves) dataBytes += alignUp(l.data.size(), 8);
        }
    }
    std::uint64_t pos = dirBytes + 16 * leaves;
    for (auto& [s, at] : strings) {
        at = static_cast<std::uint32_t>(pos);
        pos += 2 + 2ull * s.size();
    }
    std::uint64_t dataAt = alignUp(pos, 8);
    if (dataAt + dataBytes > limit) refuse("the resources would not fit in an executable");

    std::vector<std::uint8_t> out(static_cast<std::size_t>(dataAt), 0);
    for (const auto& [s, at] : strings) {
        wr16(out, at, static_cast<std::uint16_t>(s.size()));
        for (std::size_t i = 0; i < s.size(); ++i) wr16(out, at + 2 + 2 * i, static_cast<std::uint16_t>(s[i]));
    }
    auto idField = [&](const ResourceId& id) { return id.isName ? (kSubdir | strings.at(id.name)) : std::uint32_t{id.id}; };
    auto header = [&](std::uint32_t at, std::uint16_t named, std::uint16_t numbered) {
        wr16(out, at + 12, named);
        wr16(out, at + 14, numbered);
    };
    auto counts = [](const auto& nodes) {
        std::uint16_t named = 0, numbered = 0;
        for (const auto& node : nodes) (node.id.isName ? named : numbered)++;
        return std::pair{named, numbered};
    };

    std::uint32_t nextDir = static_cast<std::uint32_t>(16 + 8 * tree.size());
    std::uint32_t nextEntry = static_cast<std::uint32_t>(dirBytes);
    auto [rootNamed, rootNumbered] = counts(tree);
    header(0, rootNamed, rootNumbered);
    std::vector<std::uint32_t> typeDirs;
    for (std::size_t i = 0; i < tree.size(); ++i) {
        wr32(out, 16 + 8 * i, idField(tree[i].id));
        wr32(out, 20 + 8 * i, kSubdir | nextDir);
        typeDirs.push_back(nextDir);
        nextDir += static_cast<std::uint32_t>(16 + 8 * tree[i].names.size());
    }
    for (std::size_t t = 0; t < tree.size(); ++t) {
        const auto& names = tree[t].names;
        auto [named, numbered] = counts(names);
        header(typeDirs[t], named, numbered);
        for (std::size_t n = 0; n < names.size(); ++n) {
            std::uint32_t slot = static_cast<std::uint32_t>(typeDirs[t] + 16 + 8 * n);
            wr32(out, slot, idField(names[n].id));
            wr32(out, slot + 4, kSubdir | nextDir);
            std::uint32_t langDir = nextDir;
            nextDir += static_cast<std::uint32_t>(16 + 8 * names[n].leaves.size());
            header(langDir, 0, static_cast<std::uint16_t>(names[n].leaves.size()));
            for (std::size_t l = 0; l < names[n].leaves.size(); ++l) {
                const Leaf& leaf = names[n].leaves[l];
                wr32(out, langDir + 16 + 8 * l, leaf.language);
                wr32(out, langDir + 20 + 8 * l, nextEntry);
                std::size_t at = out.size();
                out.insert(out.end(), leaf.data.begin(), leaf.data.end());
                out.resize(static_cast<std::size_t>(alignUp(out.size(), 8)), 0);
                wr32(out, nextEntry, static_cast<std::uint32_t>(rva + at));
                wr32(out, nextEntry + 4, static_cast<std::uint32_t>(leaf.data.size()));
                wr32(out, nextEntry + 8, leaf.codePage);
                nextEntry += 16;
            }
        }
    }
    return out;
}

bool sameTree(const Tree& a, const Tree& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t t = 0; t < a.size(); ++t) {
        if (!(a[t].id == b[t].id) || a[t].names.size() != b[t].names.size()) return false;
        for (std::size_t n = 0; n < a[t].names.size(); ++n) {
            const auto& x = a[t].names[n];
            const auto& y = b[t].names[n];
            if (!(x.id == y.id) || x.leaves.size() != y.leaves.size()) return false;
            for (std::size_t l = 0; l < x.leaves.size(); ++l) {
                if (x.leaves[l].language != y.leaves[l].language || x.leaves[l].codePage != y.leaves[l].codePage ||
                    !std::equal(x.leaves[l].data.begin(), x.leaves[l].data.end(), y.leaves[l].data.begin(),
                                y.leaves[l].data.end()))
                    return false;
            }
        }
    }
    return true;
}

// ------------------------------------------------------------ the headers

struct Section {
    std::uint32_t header = 0;  // file offset of the 40-byte section header
    std::uint8_t name[8] = {};
    std::uint32_t virtualSize = 0, rva = 0, rawSize = 0, rawPtr = 0, flags = 0;
    std::uint64_t span() const { return virtualSize ? virtualSize : rawSize; }
    bool named(const char* wanted) const {
        for (std::size_t i = 0; i < 8; ++i) {
            char a = static_cast<char>(name[i]), b = wanted[i];
            a = AsciiLower(a);
            if (a != b) return false;
            if (!b) return true;
        }
        return true;
    }
};

struct Headers {
    std::uint32_t nt = 0, opt = 0, dirBase = 0, numDirs = 0;
    std::uint32_t fileAlign = 0, sectionAlign = 0;
    std::vector<Section> sections;

    std::uint32_t dirRva(int i, Bytes f) const { return i < static_cast<int>(numDirs) ? rd32(f, dirBase + 8 * i) : 0; }
    std::uint32_t dirSize(int i, Bytes f) const { return i < static_cast<int>(numDirs) ? rd32(f, dirBase + 8 * i + 4) : 0; }
};

Headers readHeaders(Bytes f) {
    Headers h;
    if (f.size() < 64 || f[0] != 'M' || f[1] != 'Z') refuse("not an executable");
    h.nt = rd32(f, 60);
    if (!fitsIn(h.nt, 24, f.size()) || std::memcmp(f.data() + h.nt, "PE\0\0", 4) != 0)
        refuse("not a PE (WIN32 Executable) file");
    std::uint32_t count = rd16(f, h.nt + 6);
    std::uint32_t optSize = rd16(f, h.nt + 20);
    h.opt = h.nt + 24;
    if (!fitsIn(h.opt, optSize, f.size())) refuse("the headers are damaged");
    std::uint16_t magic = rd16(f, h.opt);
    if (magic != 0x10B && magic != 0x20B) refuse("unknown optional header");
    bool plus = magic == 0x20B;
    h.dirBase = h.opt + (plus ? 112 : 96);
    h.numDirs = std::min<std::uint32_t>(rd32(f, h.opt + (plus ? 108 : 92)), 16);
    if (h.dirBase + 8ull * h.numDirs > std::uint64_t{h.opt} + optSize) refuse("the headers are damaged");
    h.sectionAlign = rd32(f, h.opt + 32);
    h.fileAlign = rd32(f, h.opt + 36);
    if (!isPowerOfTwo(h.fileAlign) || !isPowerOfTwo(h.sectionAlign) || h.fileAlign > 0x10000 ||
        h.sectionAlign < h.fileAlign)
        refuse("the section alignments are not valid");
    std::uint64_t table = std::uint64_t{h.opt} + optSize;
    if (!fitsIn(table, 40ull * count, f.size())) refuse("the section table is damaged");
    for (std::uint32_t i = 0; i < count; ++i) {
        Section s;
        s.header = static_cast<std::uint32_t>(table + 40 * i);
        std::memcpy(s.name, f.data() + s.header, 8);
        s.virtualSize = rd32(f, s.header + 8);
        s.rva = rd32(f, s.header + 12);
        s.rawSize = rd32(f, s.header + 16);
        s.rawPtr = rd32(f, s.header + 20);
        s.flags = rd32(f, s.header + 36);
        if (s.rawSize && !fitsIn(s.rawPtr, s.rawSize, f.size())) refuse("a section lies past the end of the file");
        h.sections.push_back(s);
    }
    return h;
}

bool inRange(std::uint64_t rva, std::uint64_t start, std::uint64_t size) { return rva >= start && rva - start < size; }

std::uint32_t peChecksum(const std::vector<std::uint8_t>& image, std::size_t checksumAt) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        if (i >= checksumAt && i < checksumAt + 4) continue;
        sum += image[i] | (i + 1 < image.size() ? image[i + 1] << 8 : 0);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + image.size());
}

std::vector<std::uint8_t> rewrite(Bytes f, const std::vector<ResourceChange>& changes) {
    Headers h = readHeaders(f);
    std::uint32_t resRva = h.dirRva(kDirResource, f);
    if (resRva == 0) refuse("the file has no resource section");
    auto rs = std::find_if(h.sections.begin(), h.sections.end(), [&](const Section& s) { return s.rva == resRva; });
    if (rs == h.sections.end() || rs->rawSize == 0) refuse("the resources do not start a section of their own");
    const Section res = *rs;
    const std::size_t resIndex = static_cast<std::size_t>(rs - h.sections.begin());
    if (h.dirRva(kDirSecurity, f) != 0) refuse("the file is signed, and changing it would break its signature");
    // The headers that are fixed afterwards must lie before the section that is rewritten.
    std::uint64_t headersEnd = std::max<std::uint64_t>(h.sections.empty() ? 0 : h.sections.back().header + 40ull,
                                                       rd32(f, h.opt + 60));
    if (res.rawPtr < headersEnd) refuse("the resource section overlaps the headers");

    // Where the resource section ends in memory: the next section, or its own size.
    const std::uint64_t resEndFile = std::uint64_t{res.rawPtr} + res.rawSize;
    std::uint64_t nextRva = 0;
    bool lastInMemory = true;
    for (std::size_t i = 0; i < h.sections.size(); ++i) {
        const Section& s = h.sections[i];
        if (i == resIndex) continue;
        if (s.rawSize && s.rawPtr < resEndFile && s.rawPtr + std::uint64_t{s.rawSize} > res.rawPtr)
            refuse("sections overlap in the file");
        if (s.rva > res.rva && (lastInMemory || s.rva < nextRva)) {
            nextRva = s.rva;
            lastInMemory = false;
        }
        if (s.rva <= res.rva && s.rva + s.span() > res.rva) refuse("sections overlap in memory");
    }
    const std::uint64_t oldSpan = lastInMemory ? alignUp(res.span(), h.sectionAlign) : nextRva - res.rva;
    if (!lastInMemory && res.span() > oldSpan) refuse("sections overlap in memory");
    for (int d = 0; d < static_cast<int>(h.numDirs); ++d) {
        if (d == kDirResource || d == kDirSecurity) continue;
        if (h.dirRva(d, f) && inRange(h.dirRva(d, f), res.rva, oldSpan)) refuse("the resource section holds other data");
    }
    std::uint32_t entry = rd32(f, h.opt + 16);
    if (entry && inRange(entry, res.rva, oldSpan)) refuse("the resource section holds code");

    // The tree, changed and laid out again.
    Bytes oldSection = f.subspan(res.rawPtr, res.rawSize);
    Tree tree = TreeReader(oldSection, res.rva).Read();
    std::uint64_t added = 0;
    for (const ResourceChange& c : changes) {
        applyChange(tree, c);
        added += c.data.size() + 64;
    }
    sortTree(tree);
    // Data shared between entries is written once per entry; a tree that
    // shares a lot would grow without bound, so it is refused.
    std::uint64_t limit = std::min<std::uint64_t>(2ull * res.rawSize + added + 0x10000, 0x7FFF0000ull);
    std::vector<std::uint8_t> content = layoutSection(tree, res.rva, limit);
    const std::uint64_t n = content.size();

    const std::uint64_t newSpan = alignUp(n, h.sectionAlign);
    const std::uint64_t newRaw = std::max<std::uint64_t>(res.rawSize, alignUp(n, h.fileAlign));
    const std::uint64_t dMem = (!lastInMemory && newSpan > oldSpan) ? newSpan - oldSpan : 0;
    const std::uint64_t dFile = newRaw - res.rawSize;
    const std::uint64_t newVirtualSize = (lastInMemory || dMem) ? n : std::max<std::uint64_t>(n, res.span());

    // Sections behind the resources in memory move only when nothing points into them.
    std::uint32_t relocRva = h.dirRva(kDirBaseReloc, f);
    if (dMem) {
        for (const Section& s : h.sections) {
            if (s.rva <= res.rva) continue;
            if (!s.named(".reloc") && !(s.flags & kScnDiscardable))
                refuse("the resource section must grow, and the section behind it cannot move");
            for (int d = 0; d < static_cast<int>(h.numDirs); ++d) {
                if (d == kDirBaseReloc || d == kDirSecurity) continue;
                if (h.dirRva(d, f) && inRange(h.dirRva(d, f), s.rva, s.span()))
                    refuse("the resource section must grow, and the section behind it cannot move");
            }
            if (entry && inRange(entry, s.rva, s.span())) refuse("the section behind the resources holds code");
        }
        // No relocation may patch a place that moves.
        if (relocRva) {
            auto holder = std::find_if(h.sections.begin(), h.sections.end(), [&](const Section& s) {
                return inRange(relocRva, s.rva, std::max<std::uint64_t>(s.span(), 1)) && s.rawSize;
            });
            if (holder == h.sections.end()) refuse("the base relocations cannot be read");
            std::uint64_t at = std::uint64_t{holder->rawPtr} + (relocRva - holder->rva);
            std::uint64_t end = std::min<std::uint64_t>(at + h.dirSize(kDirBaseReloc, f), std::uint64_t{holder->rawPtr} + holder->rawSize);
            while (at + 8 <= end) {
                std::uint32_t page = rd32(f, at), blockSize = rd32(f, at + 4);
                if (blockSize < 8) break;
                if (page >= res.rva) refuse("relocations patch places that would move");
                at += blockSize;
            }
        }
    }

    // What lies behind the resources in the file moves back by dFile.
    std::uint64_t imageEnd = 0;
    for (const Section& s : h.sections)
        if (s.rawSize) imageEnd = std::max<std::uint64_t>(imageEnd, std::uint64_t{s.rawPtr} + s.rawSize);
    std::uint32_t symbols = rd32(f, h.nt + 12);
    if (symbols && symbols >= res.rawPtr && symbols < resEndFile) refuse("the symbol table lies in the resource section");
    if (dFile) {
        if (imageEnd < f.size()) {
            // Only a COFF symbol table may stand there: its one pointer is fixed.
            bool onlySymbols = false;
            if (symbols == imageEnd) {
                std::uint64_t stringsAt = std::uint64_t{symbols} + 18ull * rd32(f, h.nt + 16);
                if (fitsIn(stringsAt, 4, f.size()) && stringsAt + rd32(f, stringsAt) == f.size()) onlySymbols = true;
            }
            if (!onlySymbols)
                refuse("data is appended behind the image, and the resource section would have to grow over it");
        }
        if (std::uint32_t debugRva = h.dirRva(kDirDebug, f)) {
            auto holder = std::find_if(h.sections.begin(), h.sections.end(), [&](const Section& s) {
                return s.rawSize && inRange(debugRva, s.rva, s.rawSize);
            });
            if (holder == h.sections.end()) refuse("the debug directory cannot be read");
            std::uint64_t at = std::uint64_t{holder->rawPtr} + (debugRva - holder->rva);
            for (std::uint32_t i = 0; i < h.dirSize(kDirDebug, f) / 28; ++i)
                if (rd32(f, at + 28 * i + 24) >= resEndFile) refuse("debug data behind the resources would move");
        }
    }
    if (newVirtualSize > 0xFFFFFFFFull || res.rva + newSpan + dMem > 0xFFFFFFFFull || f.size() + dFile > 0xFFFFFFFFull)
        refuse("the resources would not fit in an executable");

    // The new file: everything before the section, the section, everything behind it.
    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(f.size() + dFile));
    out.insert(out.end(), f.begin(), f.begin() + res.rawPtr);
    out.insert(out.end(), content.begin(), content.end());
    out.resize(static_cast<std::size_t>(res.rawPtr + newRaw), 0);
    out.insert(out.end(), f.begin() + static_cast<std::ptrdiff_t>(resEndFile), f.end());

    std::uint64_t imageSize = alignUp(rd32(f, h.opt + 60), h.sectionAlign);
    for (std::size_t i = 0; i < h.sections.size(); ++i) {
        Section s = h.sections[i];
        if (i == resIndex) {
            s.virtualSize = static_cast<std::uint32_t>(newVirtualSize);
            s.rawSize = static_cast<std::uint32_t>(newRaw);
        } else {
            if (s.rawPtr >= resEndFile) s.rawPtr = static_cast<std::uint32_t>(s.rawPtr + dFile);
            if (s.rva > res.rva) {
                if (relocRva && inRange(relocRva, s.rva, s.span()))
                    wr32(out, h.dirBase + 8 * kDirBaseReloc, static_cast<std::uint32_t>(relocRva + dMem));
                s.rva = static_cast<std::uint32_t>(s.rva + dMem);
            }
        }
        wr32(out, s.header + 8, s.virtualSize);
        wr32(out, s.header + 12, s.rva);
        wr32(out, s.header + 16, s.rawSize);
        wr32(out, s.header + 20, s.rawPtr);
        imageSize = std::max(imageSize, alignUp(std::uint64_t{s.rva} + s.span(), h.sectionAlign));
    }
    if (imageSize > 0xFFFFFFFFull) refuse("the resources would not fit in an executable");
    wr32(out, h.dirBase + 8 * kDirResource, res.rva);
    wr32(out, h.dirBase + 8 * kDirResource + 4, static_cast<std::uint32_t>(n));
    wr32(out, h.opt + 56, static_cast<std::uint32_t>(imageSize));
    if (res.flags & kScnInitializedData)
        wr32(out, h.opt + 8, static_cast<std::uint32_t>(rd32(f, h.opt + 8) + dFile));
    if (symbols >= resEndFile) wr32(out, h.nt + 12, static_cast<std::uint32_t>(symbols + dFile));
    if (rd32(f, h.opt + 64) != 0) wr32(out, h.opt + 64, peChecksum(out, h.opt + 64));

    // Read the result back: it must hold exactly the intended tree.
    Bytes written(out);
    Headers check = readHeaders(written);
    const Section& nres = check.sections[resIndex];
    Tree reread = TreeReader(written.subspan(nres.rawPtr, nres.rawSize), nres.rva).Read();
    if (!sameTree(tree, reread)) refuse("the rewritten resources did not read back");
    return out;
}

}  // namespace

bool RewriteResources(std::span<const std::uint8_t> file, const std::vector<ResourceChange>& changes,
                      std::vector<std::uint8_t>& out, std::string* why) {
    try {
        out = rewrite(file, changes);
        return true;
    } catch (const Refusal& r) {
        if (why) *why = r.why;
    } catch (const std::bad_alloc&) {
        if (why) *why = "out of memory";
    }
    return false;
}

ResourceUpdater::ResourceUpdater(std::string fileName) : fileName_(std::move(fileName)) {}
ResourceUpdater::~ResourceUpdater() = default;

void ResourceUpdater::Update(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                             std::span<const std::uint8_t> data) {
    changes_.push_back({type, name, language, std::vector<std::uint8_t>(data.begin(), data.end())});
}

bool ResourceUpdater::Commit() {
    error_.clear();
    std::vector<ResourceChange> changes;
    for (const Change& c : changes_) changes.push_back({c.type, c.name, c.language, c.data});
    try {
        std::vector<std::uint8_t> old = ReadWholeFile(fileName_);
        std::vector<std::uint8_t> updated;
        if (!RewriteResources(old, changes, updated, &error_)) return false;
        WriteFileAtomic(fileName_, updated.data(), updated.size());
    } catch (const VsError& e) {
        error_ = e.what();
        return false;
    } catch (const std::bad_alloc&) {
        error_ = "out of memory";
        return false;
    }
    changes_.clear();
    return true;
}

bool UpdateResource(const std::string& fileName, const ResourceId& type, const ResourceId& name,
                    std::uint16_t language, std::span<const std::uint8_t> data) {
    ResourceUpdater updater(fileName);
    updater.Update(type, name, language, data);
    return updater.Commit();
}

}  // namespace vs
