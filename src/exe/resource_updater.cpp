#include "exe/resource_updater.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <new>

#include "exe/pe_headers.h"
#include "platform/ascii.h"
#include "platform/atomic_file.h"
#include "platform/byte_reader.h"
#include "platform/byte_writer.h"
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

EResourceUpdateError::EResourceUpdateError(std::string reason) : EExeError(reason), reason_(std::move(reason)) {}

EResourceUpdateError::EResourceUpdateError(const std::string& fileName, std::string reason)
    : EExeError("The resources of " + fileName + " cannot be rewritten safely: " + reason),
      reason_(std::move(reason)) {}

namespace {

[[noreturn]] void refuse(std::string why) { throw EResourceUpdateError(std::move(why)); }

constexpr std::uint32_t kSubdir = pe::kResourceHighBit;
constexpr std::uint64_t kLargestImage = 0xFFFFFFFFull;

bool isPowerOfTwo(std::uint32_t v) { return v && !(v & (v - 1)); }
std::uint64_t alignUp(std::uint64_t v, std::uint64_t a) { return (v + a - 1) / a * a; }
bool inRange(std::uint64_t rva, std::uint64_t start, std::uint64_t size) { return rva >= start && rva - start < size; }
// Where a section reaches in memory: its virtual size, or its raw size when that is 0.
std::uint64_t spanOf(const pe::SectionHeader& s) { return s.virtualSize ? s.virtualSize : s.sizeOfRawData; }

// A record at an offset of `bytes`, or the refusal `why` when it lies outside.
template <typename T>
T recordAt(Bytes bytes, std::uint64_t at, const char* why) {
    if (!fitsIn(at, sizeof(T), bytes.size())) refuse(why);
    return ByteReader(bytes.subspan(static_cast<std::size_t>(at), sizeof(T))).read<T>();
}

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
        for (const auto& typeEntry : Entries(0)) {
            if (!(typeEntry.offsetToData & kSubdir)) refuse("the resource tree is not laid out by type, name and language");
            TypeNode type{Id(typeEntry.name), {}};
            for (const auto& nameEntry : Entries(typeEntry.offsetToData & ~kSubdir)) {
                if (!(nameEntry.offsetToData & kSubdir)) refuse("the resource tree is not laid out by type, name and language");
                NameNode name{Id(nameEntry.name), {}};
                for (const auto& langEntry : Entries(nameEntry.offsetToData & ~kSubdir)) {
                    if (langEntry.offsetToData & kSubdir) refuse("the resource tree is deeper than type, name and language");
                    name.leaves.push_back(DataEntry(static_cast<std::uint16_t>(langEntry.name), langEntry.offsetToData));
                }
                type.names.push_back(std::move(name));
            }
            tree.push_back(std::move(type));
        }
        return tree;
    }

private:
    std::vector<pe::ResourceDirectoryEntry> Entries(std::uint32_t dir) {
        const std::uint32_t count = recordAt<pe::ResourceDirectory>(sec_, dir, kDamaged).entryCount();
        const std::uint64_t first = std::uint64_t{dir} + sizeof(pe::ResourceDirectory);
        if (!fitsIn(first, std::uint64_t{sizeof(pe::ResourceDirectoryEntry)} * count, sec_.size())) refuse(kDamaged);
        // A tree whose directories share entries or point back at each other
        // runs out of budget instead of growing without end.
        if (count > budget_) refuse(kDamaged);
        budget_ -= count;
        ByteReader in(sec_);
        in.seek(static_cast<std::size_t>(first));
        std::vector<pe::ResourceDirectoryEntry> out;
        out.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) out.push_back(in.read<pe::ResourceDirectoryEntry>());
        return out;
    }

    ResourceId Id(std::uint32_t field) {
        if (!(field & kSubdir)) {
            if (field > 0xFFFF) refuse(kDamaged);
            return ResourceId::Number(static_cast<std::uint16_t>(field));
        }
        const std::uint32_t at = field & ~kSubdir;
        const auto length = recordAt<std::uint16_t>(sec_, at, kDamaged);
        if (!fitsIn(std::uint64_t{at} + 2, 2ull * length, sec_.size())) refuse(kDamaged);
        ByteReader chars(sec_.subspan(at + 2, 2u * length));
        std::u16string name;
        for (std::uint32_t i = 0; i < length; ++i) name.push_back(static_cast<char16_t>(chars.u16()));
        return ResourceId::Named(std::move(name));
    }

    Leaf DataEntry(std::uint16_t language, std::uint32_t at) {
        const auto entry = recordAt<pe::ResourceDataEntry>(sec_, at, kDamaged);
        if (entry.offsetToData < rva_ || !fitsIn(entry.offsetToData - rva_, entry.size, sec_.size()))
            refuse("resource data lies outside the resource section");
        return {language, entry.codePage, sec_.subspan(entry.offsetToData - rva_, entry.size)};
    }

    static constexpr const char* kDamaged = "the resource tree is damaged";
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
    constexpr std::uint64_t kDir = sizeof(pe::ResourceDirectory), kEntry = sizeof(pe::ResourceDirectoryEntry);
    std::uint64_t dirBytes = kDir + kEntry * tree.size(), leaves = 0, dataBytes = 0;
    std::map<std::u16string, std::uint32_t> strings;
    for (const TypeNode& t : tree) {
        if (t.id.isName) strings.emplace(t.id.name, 0);
        dirBytes += kDir + kEntry * t.names.size();
        for (const NameNode& n : t.names) {
            if (n.id.isName) strings.emplace(n.id.name, 0);
            dirBytes += kDir + kEntry * n.leaves.size();
            leaves += n.leaves.size();
            for (const Leaf& l : n.leaves) dataBytes += alignUp(l.data.size(), 8);
        }
    }
    std::uint64_t pos = dirBytes + sizeof(pe::ResourceDataEntry) * leaves;
    for (auto& [s, at] : strings) {
        at = static_cast<std::uint32_t>(pos);
        pos += 2 + 2ull * s.size();
    }
    const std::uint64_t dataAt = alignUp(pos, 8);
    if (dataAt + dataBytes > limit) refuse("the resources would not fit in an executable");

    ByteWriter out;
    out.reserve(static_cast<std::size_t>(dataAt + dataBytes));
    out.zeros(static_cast<std::size_t>(dataAt));
    for (const auto& [s, at] : strings) {
        out.putU16(at, static_cast<std::uint16_t>(s.size()));
        for (std::size_t i = 0; i < s.size(); ++i) out.putU16(at + 2 + 2 * i, static_cast<std::uint16_t>(s[i]));
    }
    auto idField = [&](const ResourceId& id) { return id.isName ? (kSubdir | strings.at(id.name)) : std::uint32_t{id.id}; };
    auto directory = [&](std::uint32_t at, const auto& nodes) {
        pe::ResourceDirectory dir{};
        for (const auto& node : nodes) (node.id.isName ? dir.numberOfNamedEntries : dir.numberOfIdEntries)++;
        out.putRecord(at, dir);
    };
    auto entry = [&](std::uint64_t at, std::uint32_t name, std::uint32_t offsetToData) {
        out.putRecord(static_cast<std::size_t>(at), pe::ResourceDirectoryEntry{name, offsetToData});
    };

    auto nextDir = static_cast<std::uint32_t>(kDir + kEntry * tree.size());
    auto nextDataEntry = static_cast<std::uint32_t>(dirBytes);
    directory(0, tree);
    std::vector<std::uint32_t> typeDirs;
    for (std::size_t i = 0; i < tree.size(); ++i) {
        entry(kDir + kEntry * i, idField(tree[i].id), kSubdir | nextDir);
        typeDirs.push_back(nextDir);
        nextDir += static_cast<std::uint32_t>(kDir + kEntry * tree[i].names.size());
    }
    for (std::size_t t = 0; t < tree.size(); ++t) {
        const auto& names = tree[t].names;
        directory(typeDirs[t], names);
        for (std::size_t n = 0; n < names.size(); ++n) {
            const std::uint32_t langDir = nextDir;
            entry(typeDirs[t] + kDir + kEntry * n, idField(names[n].id), kSubdir | langDir);
            nextDir += static_cast<std::uint32_t>(kDir + kEntry * names[n].leaves.size());
            pe::ResourceDirectory languages{};
            languages.numberOfIdEntries = static_cast<std::uint16_t>(names[n].leaves.size());
            out.putRecord(langDir, languages);
            for (std::size_t l = 0; l < names[n].leaves.size(); ++l) {
                const Leaf& leaf = names[n].leaves[l];
                entry(langDir + kDir + kEntry * l, leaf.language, nextDataEntry);
                const std::size_t at = out.size();
                out.bytes(leaf.data);
                out.alignTo(8);
                out.putRecord(nextDataEntry, pe::ResourceDataEntry{static_cast<std::uint32_t>(rva + at),
                                                                   static_cast<std::uint32_t>(leaf.data.size()),
                                                                   leaf.codePage, 0});
                nextDataEntry += sizeof(pe::ResourceDataEntry);
            }
        }
    }
    return out.take();
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

// ------------------------------------------------------------ the steps of a rewrite

// The headers, and the optional header's fields that the rewrite uses (the
// same in both forms).
struct Image {
    PeHeaders h;
    std::uint32_t entryPoint = 0, initializedData = 0;
    std::uint32_t sectionAlign = 0, fileAlign = 0;
    std::uint32_t imageSize = 0, headersSize = 0, checksum = 0;
};
static_assert(offsetof(pe::OptionalHeader32, sectionAlignment) == offsetof(pe::OptionalHeader64, sectionAlignment) &&
              offsetof(pe::OptionalHeader32, checkSum) == offsetof(pe::OptionalHeader64, checkSum));

// Step 1: the headers, refused unless every field the rewrite relies on is sound.
Image readHeaders(Bytes f) {
    Image img;
    try {
        img.h = ReadPeHeaders(f);
    } catch (const EExeError& e) {
        refuse(e.what());
    }
    if (!img.h.HasOptionalHeader()) refuse("unknown optional header");
    if (img.h.directoriesCut) refuse("the headers are damaged");
    img.h.VisitOptional([&](const auto& o) {
        img.entryPoint = o.addressOfEntryPoint;
        img.initializedData = o.sizeOfInitializedData;
        img.sectionAlign = o.sectionAlignment;
        img.fileAlign = o.fileAlignment;
        img.imageSize = o.sizeOfImage;
        img.headersSize = o.sizeOfHeaders;
        img.checksum = o.checkSum;
    });
    if (!isPowerOfTwo(img.fileAlign) || !isPowerOfTwo(img.sectionAlign) || img.fileAlign > 0x10000 ||
        img.sectionAlign < img.fileAlign)
        refuse("the section alignments are not valid");
    for (const pe::SectionHeader& s : img.h.sections)
        if (s.sizeOfRawData && !fitsIn(s.pointerToRawData, s.sizeOfRawData, f.size()))
            refuse("a section lies past the end of the file");
    return img;
}

// The resource section and where its room ends.
struct ResourcePlace {
    std::size_t index = 0;
    pe::SectionHeader section{};
    std::uint64_t endInFile = 0;
    bool lastInMemory = true;  // no section follows it in memory
    std::uint64_t oldSpan = 0;  // its room in memory, up to the next section
};

// Step 2: the section that the data directory names, which must be the one the
// resource reader finds by name, and which nothing else may live in.
ResourcePlace findResourceSection(const Image& img) {
    const PeHeaders& h = img.h;
    const std::uint32_t resRva = h.Directory(pe::kDirResource).virtualAddress;
    if (resRva == 0) refuse("the file has no resource section");
    auto rs = std::find_if(h.sections.begin(), h.sections.end(),
                           [&](const pe::SectionHeader& s) { return s.virtualAddress == resRva; });
    if (rs == h.sections.end() || rs->sizeOfRawData == 0) refuse("the resources do not start a section of their own");
    ResourcePlace place;
    place.index = static_cast<std::size_t>(rs - h.sections.begin());
    place.section = *rs;
    // The reader finds the resources by the section's name: both must agree,
    // or the file read back would not be the file written.
    if (FindSectionByName(h, ".rsrc") != place.index)
        refuse("the resource directory does not name the section called .rsrc");
    if (h.Directory(pe::kDirSecurity).virtualAddress != 0)
        refuse("the file is signed, and changing it would break its signature");
    // The headers that are fixed afterwards must lie before the section that is rewritten.
    const std::uint64_t headersEnd = std::max<std::uint64_t>(
        std::uint64_t{h.sectionTableOffset} + sizeof(pe::SectionHeader) * h.sections.size(), img.headersSize);
    const pe::SectionHeader& res = place.section;
    if (res.pointerToRawData < headersEnd) refuse("the resource section overlaps the headers");

    // Where the resource section ends in memory: the next section, or its own size.
    place.endInFile = std::uint64_t{res.pointerToRawData} + res.sizeOfRawData;
    std::uint64_t nextRva = 0;
    for (std::size_t i = 0; i < h.sections.size(); ++i) {
        const pe::SectionHeader& s = h.sections[i];
        if (i == place.index) continue;
        if (s.sizeOfRawData && s.pointerToRawData < place.endInFile &&
            s.pointerToRawData + std::uint64_t{s.sizeOfRawData} > res.pointerToRawData)
            refuse("sections overlap in the file");
        if (s.virtualAddress > res.virtualAddress && (place.lastInMemory || s.virtualAddress < nextRva)) {
            nextRva = s.virtualAddress;
            place.lastInMemory = false;
        }
        if (s.virtualAddress <= res.virtualAddress && s.virtualAddress + spanOf(s) > res.virtualAddress)
            refuse("sections overlap in memory");
    }
    place.oldSpan = place.lastInMemory ? alignUp(spanOf(res), img.sectionAlign) : nextRva - res.virtualAddress;
    if (!place.lastInMemory && spanOf(res) > place.oldSpan) refuse("sections overlap in memory");
    for (std::size_t d = 0; d < h.directories.size(); ++d) {
        if (d == pe::kDirResource || d == pe::kDirSecurity) continue;
        if (h.directories[d].virtualAddress && inRange(h.directories[d].virtualAddress, res.virtualAddress, place.oldSpan))
            refuse("the resource section holds other data");
    }
    if (img.entryPoint && inRange(img.entryPoint, res.virtualAddress, place.oldSpan))
        refuse("the resource section holds code");
    return place;
}

// Step 3: the tree of the old section with the changes applied, laid out again.
std::vector<std::uint8_t> layOutNewSection(Bytes f, const ResourcePlace& place,
                                           const std::vector<ResourceChange>& changes, Tree& tree) {
    const pe::SectionHeader& res = place.section;
    tree = TreeReader(f.subspan(res.pointerToRawData, res.sizeOfRawData), res.virtualAddress).Read();
    std::uint64_t added = 0;
    for (const ResourceChange& c : changes) {
        applyChange(tree, c);
        added += c.data.size() + 64;
    }
    sortTree(tree);
    // Data shared between entries is written once per entry; a tree that
    // shares a lot would grow without bound, so it is refused.
    const std::uint64_t limit = std::min<std::uint64_t>(2ull * res.sizeOfRawData + added + 0x10000, 0x7FFF0000ull);
    return layoutSection(tree, res.virtualAddress, limit);
}

// What moves: the new section's sizes and how far what follows it moves in
// memory (dMem) and in the file (dFile).
struct Moves {
    std::uint64_t contentSize = 0, newSpan = 0, newRaw = 0, newVirtualSize = 0;
    std::uint64_t dMem = 0, dFile = 0;
};

// Step 4: the plan, from the size of the new section.
Moves planMoves(const Image& img, const ResourcePlace& place, std::uint64_t contentSize) {
    const pe::SectionHeader& res = place.section;
    Moves m;
    m.contentSize = contentSize;
    m.newSpan = alignUp(contentSize, img.sectionAlign);
    m.newRaw = std::max<std::uint64_t>(res.sizeOfRawData, alignUp(contentSize, img.fileAlign));
    m.dMem = (!place.lastInMemory && m.newSpan > place.oldSpan) ? m.newSpan - place.oldSpan : 0;
    m.dFile = m.newRaw - res.sizeOfRawData;
    m.newVirtualSize = (place.lastInMemory || m.dMem) ? contentSize : std::max<std::uint64_t>(contentSize, spanOf(res));
    return m;
}

// Step 5a: sections behind the resources in memory move only when nothing
// points into them, and no relocation patches a place that moves.
void checkFollowingSections(Bytes f, const Image& img, const ResourcePlace& place, const Moves& m) {
    if (!m.dMem) return;
    const PeHeaders& h = img.h;
    const pe::SectionHeader& res = place.section;
    for (const pe::SectionHeader& s : h.sections) {
        if (s.virtualAddress <= res.virtualAddress) continue;
        if (!SectionNamed(s, ".reloc") && !(s.characteristics & pe::kScnDiscardable))
            refuse("the resource section must grow, and the section behind it cannot move");
        for (std::size_t d = 0; d < h.directories.size(); ++d) {
            if (d == pe::kDirBaseReloc || d == pe::kDirSecurity) continue;
            if (h.directories[d].virtualAddress && inRange(h.directories[d].virtualAddress, s.virtualAddress, spanOf(s)))
                refuse("the resource section must grow, and the section behind it cannot move");
        }
        if (img.entryPoint && inRange(img.entryPoint, s.virtualAddress, spanOf(s)))
            refuse("the section behind the resources holds code");
    }
    const pe::DataDirectory relocs = h.Directory(pe::kDirBaseReloc);
    if (!relocs.virtualAddress) return;
    auto holder = std::find_if(h.sections.begin(), h.sections.end(), [&](const pe::SectionHeader& s) {
        return inRange(relocs.virtualAddress, s.virtualAddress, std::max<std::uint64_t>(spanOf(s), 1)) && s.sizeOfRawData;
    });
    if (holder == h.sections.end()) refuse("the base relocations cannot be read");
    std::uint64_t at = std::uint64_t{holder->pointerToRawData} + (relocs.virtualAddress - holder->virtualAddress);
    const std::uint64_t end = std::min<std::uint64_t>(at + relocs.size,
                                                      std::uint64_t{holder->pointerToRawData} + holder->sizeOfRawData);
    while (at + sizeof(pe::BaseRelocationBlock) <= end) {
        const auto block = recordAt<pe::BaseRelocationBlock>(f, at, "the base relocations cannot be read");
        if (block.blockSize < sizeof(pe::BaseRelocationBlock)) break;
        if (block.pageAddress >= res.virtualAddress) refuse("relocations patch places that would move");
        at += block.blockSize;
    }
}

// Step 5b: what lies behind the resources in the file moves back by dFile;
// only a COFF symbol table may stand behind the image (its one pointer is
// fixed), and no debug data may lie behind the section.
void checkWhatFollowsInFile(Bytes f, const Image& img, const ResourcePlace& place, const Moves& m) {
    const PeHeaders& h = img.h;
    const std::uint32_t symbols = h.file.pointerToSymbolTable;
    if (symbols && symbols >= place.section.pointerToRawData && symbols < place.endInFile)
        refuse("the symbol table lies in the resource section");
    if (m.dFile) {
        std::uint64_t imageEnd = 0;
        for (const pe::SectionHeader& s : h.sections)
            if (s.sizeOfRawData) imageEnd = std::max<std::uint64_t>(imageEnd, std::uint64_t{s.pointerToRawData} + s.sizeOfRawData);
        if (imageEnd < f.size()) {
            bool onlySymbols = false;
            if (symbols == imageEnd) {
                const std::uint64_t stringsAt = std::uint64_t{symbols} + pe::kCoffSymbolSize * h.file.numberOfSymbols;
                if (fitsIn(stringsAt, 4, f.size()) &&
                    stringsAt + recordAt<std::uint32_t>(f, stringsAt, "the symbol table is damaged") == f.size())
                    onlySymbols = true;
            }
            if (!onlySymbols)
                refuse("data is appended behind the image, and the resource section would have to grow over it");
        }
        if (const pe::DataDirectory debug = h.Directory(pe::kDirDebug); debug.virtualAddress) {
            auto holder = std::find_if(h.sections.begin(), h.sections.end(), [&](const pe::SectionHeader& s) {
                return s.sizeOfRawData && inRange(debug.virtualAddress, s.virtualAddress, s.sizeOfRawData);
            });
            if (holder == h.sections.end()) refuse("the debug directory cannot be read");
            const std::uint64_t at = std::uint64_t{holder->pointerToRawData} + (debug.virtualAddress - holder->virtualAddress);
            for (std::uint32_t i = 0; i < debug.size / sizeof(pe::DebugDirectory); ++i) {
                const auto entry =
                    recordAt<pe::DebugDirectory>(f, at + sizeof(pe::DebugDirectory) * i, "the debug directory cannot be read");
                if (entry.pointerToRawData >= place.endInFile) refuse("debug data behind the resources would move");
            }
        }
    }
    const pe::SectionHeader& res = place.section;
    if (m.newVirtualSize > kLargestImage || res.virtualAddress + m.newSpan + m.dMem > kLargestImage ||
        f.size() + m.dFile > kLargestImage)
        refuse("the resources would not fit in an executable");
}

// Step 6: everything before the section, the new section, everything behind it.
ByteWriter assemble(Bytes f, const ResourcePlace& place, const Moves& m, const std::vector<std::uint8_t>& content) {
    const pe::SectionHeader& res = place.section;
    ByteWriter out;
    out.reserve(static_cast<std::size_t>(f.size() + m.dFile));
    out.bytes(f.first(res.pointerToRawData));
    out.bytes(content);
    out.zeros(static_cast<std::size_t>(m.newRaw - content.size()));
    out.bytes(f.subspan(static_cast<std::size_t>(place.endInFile)));
    return out;
}

// Step 7: the section table, the data directories, the image size, the size
// of initialised data, the symbol pointer and the checksum.
void fixHeaders(ByteWriter& out, Image& img, const ResourcePlace& place, const Moves& m) {
    PeHeaders& h = img.h;
    const pe::SectionHeader& res = place.section;
    const pe::DataDirectory relocs = h.Directory(pe::kDirBaseReloc);
    std::uint64_t imageSize = alignUp(img.imageSize, img.sectionAlign);
    for (std::size_t i = 0; i < h.sections.size(); ++i) {
        pe::SectionHeader s = h.sections[i];
        if (i == place.index) {
            s.virtualSize = static_cast<std::uint32_t>(m.newVirtualSize);
            s.sizeOfRawData = static_cast<std::uint32_t>(m.newRaw);
        } else {
            if (s.pointerToRawData >= place.endInFile) s.pointerToRawData = static_cast<std::uint32_t>(s.pointerToRawData + m.dFile);
            if (s.virtualAddress > res.virtualAddress) {
                if (relocs.virtualAddress && inRange(relocs.virtualAddress, s.virtualAddress, spanOf(s)))
                    h.directories[pe::kDirBaseReloc].virtualAddress = static_cast<std::uint32_t>(relocs.virtualAddress + m.dMem);
                s.virtualAddress = static_cast<std::uint32_t>(s.virtualAddress + m.dMem);
            }
        }
        out.putRecord(h.sectionTableOffset + sizeof(pe::SectionHeader) * i, s);
        imageSize = std::max(imageSize, alignUp(std::uint64_t{s.virtualAddress} + spanOf(s), img.sectionAlign));
    }
    if (imageSize > kLargestImage) refuse("the resources would not fit in an executable");
    h.directories[pe::kDirResource] = {res.virtualAddress, static_cast<std::uint32_t>(m.contentSize)};
    for (std::size_t d = 0; d < h.directories.size(); ++d)
        out.putRecord(h.directoriesOffset + sizeof(pe::DataDirectory) * d, h.directories[d]);
    if (h.file.pointerToSymbolTable >= place.endInFile) {
        h.file.pointerToSymbolTable = static_cast<std::uint32_t>(h.file.pointerToSymbolTable + m.dFile);
        out.putRecord(h.ntOffset + 4, h.file);
    }
    const std::size_t checksumAt = h.optionalOffset + offsetof(pe::OptionalHeader32, checkSum);
    h.VisitOptional([&](auto& o) {
        o.sizeOfImage = static_cast<std::uint32_t>(imageSize);
        if (res.characteristics & pe::kScnInitializedData)
            o.sizeOfInitializedData = static_cast<std::uint32_t>(o.sizeOfInitializedData + m.dFile);
        out.putRecord(h.optionalOffset, o);
    });
    // Last: the checksum covers every other byte.
    if (img.checksum != 0) out.putU32(checksumAt, peChecksum(out.bytes(), checksumAt));
}

// Step 8: the result must hold exactly the intended tree.
void readBack(Bytes written, std::size_t resourceIndex, const Tree& tree) {
    const Image check = readHeaders(written);
    const pe::SectionHeader& res = check.h.sections[resourceIndex];
    const Tree reread =
        TreeReader(written.subspan(res.pointerToRawData, res.sizeOfRawData), res.virtualAddress).Read();
    if (!sameTree(tree, reread)) refuse("the rewritten resources did not read back");
}

std::vector<std::uint8_t> rewrite(Bytes f, const std::vector<ResourceChange>& changes) {
    Image img = readHeaders(f);
    const ResourcePlace place = findResourceSection(img);
    Tree tree;
    const std::vector<std::uint8_t> content = layOutNewSection(f, place, changes, tree);
    const Moves moves = planMoves(img, place, content.size());
    checkFollowingSections(f, img, place, moves);
    checkWhatFollowsInFile(f, img, place, moves);
    ByteWriter out = assemble(f, place, moves, content);
    fixHeaders(out, img, place, moves);
    readBack(out.bytes(), place.index, tree);
    return out.take();
}

}  // namespace

std::vector<std::uint8_t> RewriteResources(std::span<const std::uint8_t> file,
                                           const std::vector<ResourceChange>& changes) {
    try {
        return rewrite(file, changes);
    } catch (const std::bad_alloc&) {
        refuse("out of memory");
    }
}

ResourceUpdater::ResourceUpdater(std::string fileName) : fileName_(std::move(fileName)) {}
ResourceUpdater::~ResourceUpdater() = default;

void ResourceUpdater::Update(const ResourceId& type, const ResourceId& name, std::uint16_t language,
                             std::span<const std::uint8_t> data) {
    changes_.push_back({type, name, language, std::vector<std::uint8_t>(data.begin(), data.end())});
}

void ResourceUpdater::Commit() {
    const std::vector<std::uint8_t> old = ReadWholeFile(fileName_);
    std::vector<std::uint8_t> updated;
    try {
        updated = RewriteResources(old, changes_);
    } catch (const EResourceUpdateError& e) {
        throw EResourceUpdateError(fileName_, e.Reason());
    }
    WriteFileAtomic(fileName_, updated.data(), updated.size());
    changes_.clear();
}

void UpdateResource(const std::string& fileName, const ResourceId& type, const ResourceId& name,
                    std::uint16_t language, std::span<const std::uint8_t> data) {
    ResourceUpdater updater(fileName);
    updater.Update(type, name, language, data);
    updater.Commit();
}

}  // namespace vs
