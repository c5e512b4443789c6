// The executable resource reader and the resource updater on arbitrary bytes.
// The reader must fail with its own errors and never read outside the file;
// the updater must either refuse with its own error or change nothing but the
// resource section, what moves behind it, and the header fields that describe
// them, and what it writes the reader must read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "exe/exe_image.h"
#include "exe/pe_headers.h"
#include "exe/resource_updater.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void check(bool ok) {
    if (!ok) std::abort();
}

void walkReader(const Bytes& input) {
    try {
        vs::TExeImage image(input, "fuzz");
        const std::uint8_t* begin = image.FileBytes().data();
        const std::uint8_t* end = begin + image.FileBytes().size();
        std::function<void(vs::TResourceList&, int)> walk = [&](vs::TResourceList& list, int depth) {
            check(depth < 8);
            for (int i = 0; i < list.Count(); ++i) {
                vs::TResourceItem& item = list.Items(i);
                (void)item.TypeId();
                try {
                    (void)item.Name();
                    if (item.HasChildren()) {
                        walk(item.Children(), depth + 1);
                        check(item.DataSize() == 0);
                    } else {
                        const std::uint8_t* p = item.DataPointer();
                        std::uint32_t size = item.DataSize();
                        if (p) {
                            check(p >= begin && size <= static_cast<std::size_t>(end - p));
                            check(item.DataFileOffset() == static_cast<std::size_t>(p - begin));
                        }
                    }
                    for (const vs::TResourceLanguage& l : item.Languages())
                        check(l.pointer >= begin && l.size <= static_cast<std::size_t>(end - l.pointer));
                } catch (const vs::EExeError&) {
                }
            }
        };
        walk(image.ResourceTree(), 0);
        if (image.IconImageType() && image.IconImageType()->HasChildren())
            walk(image.IconImageType()->Children(), 1);
    } catch (const vs::EExeError&) {
    } catch (const vs::VsError&) {
    }
}

// Header fields that a rewrite may change, as [offset, offset + size) ranges.
std::vector<std::pair<std::size_t, std::size_t>> changeableFields(const vs::PeHeaders& h) {
    using namespace vs::pe;
    std::vector<std::pair<std::size_t, std::size_t>> out;
    auto field = [&](std::size_t at, std::size_t size) { out.push_back({at, at + size}); };
    field(h.ntOffset + 4 + offsetof(FileHeader, pointerToSymbolTable), 4);
    // The same offsets in both forms of the optional header.
    field(h.optionalOffset + offsetof(OptionalHeader32, sizeOfInitializedData), 4);
    field(h.optionalOffset + offsetof(OptionalHeader32, sizeOfImage), 4);
    field(h.optionalOffset + offsetof(OptionalHeader32, checkSum), 4);
    field(h.directoriesOffset + sizeof(DataDirectory) * kDirResource, sizeof(DataDirectory));
    field(h.directoriesOffset + sizeof(DataDirectory) * kDirBaseReloc + offsetof(DataDirectory, virtualAddress), 4);
    for (std::size_t i = 0; i < h.sections.size(); ++i)
        field(h.sectionTableOffset + sizeof(SectionHeader) * i + offsetof(SectionHeader, virtualSize),
              offsetof(SectionHeader, pointerToRelocations) - offsetof(SectionHeader, virtualSize));
    return out;
}

void checkUpdater(const Bytes& input, const std::uint8_t* data, std::size_t size) {
    std::vector<vs::ResourceChange> changes;
    std::size_t grow = size ? (data[size - 1] * 97u) % 20000u : 0;
    changes.push_back({vs::ResourceId::Number(16), vs::ResourceId::Number(1), 1033, Bytes(grow, 0xAB)});
    if (size > 1 && (data[size - 2] & 1))
        changes.push_back({vs::ResourceId::Named(u"FUZZ"), vs::ResourceId::Number(3), 0, Bytes(7, 0xCD)});
    Bytes out;
    try {
        out = vs::RewriteResources(input, changes);
    } catch (const vs::EResourceUpdateError& e) {
        check(!e.Reason().empty());
        return;
    }
    // It succeeded, so the headers were sound: find the rewritten section again.
    const vs::PeHeaders before = vs::ReadPeHeaders(input);
    const vs::PeHeaders after = vs::ReadPeHeaders(out);
    check(before.sections.size() == after.sections.size());
    const std::uint32_t resRva = before.Directory(vs::pe::kDirResource).virtualAddress;
    std::size_t index = before.sections.size();
    for (std::size_t i = 0; i < before.sections.size() && index == before.sections.size(); ++i)
        if (before.sections[i].virtualAddress == resRva) index = i;
    check(index < before.sections.size());
    const std::uint32_t rawPtr = before.sections[index].pointerToRawData;
    const std::uint32_t rawSize = before.sections[index].sizeOfRawData;
    const std::uint32_t newRawSize = after.sections[index].sizeOfRawData;
    check(after.sections[index].pointerToRawData == rawPtr);
    check(newRawSize >= rawSize);
    check(out.size() == input.size() + (newRawSize - rawSize));
    // Behind the section: the same bytes, moved back.
    check(std::memcmp(input.data() + rawPtr + rawSize, out.data() + rawPtr + newRawSize,
                      input.size() - rawPtr - rawSize) == 0);
    // Before it: the same bytes but the allowed header fields.
    auto fields = changeableFields(before);
    for (std::size_t i = 0; i < rawPtr; ++i) {
        if (input[i] == out[i]) continue;
        bool allowed = false;
        for (auto [from, to] : fields) allowed = allowed || (i >= from && i < to);
        check(allowed);
    }
    // The reader finds the section the updater wrote, and the new version in it.
    vs::TExeImage image(out, "fuzz");
    vs::TResourceList& root = image.ResourceTree();
    check(image.ResourceSectionOffset() == rawPtr);
    bool version = false;
    for (int i = 0; i < root.Count(); ++i) {
        vs::TResourceItem& type = root.Items(i);
        if (type.IsNamed() || type.Id() != 16 || !type.HasChildren()) continue;
        vs::TResourceList& names = type.Children();
        for (int n = 0; n < names.Count(); ++n)
            if (!names.Items(n).IsNamed() && names.Items(n).Id() == 1)
                for (const vs::TResourceLanguage& l : names.Items(n).Languages())
                    version = version || (l.language == 1033 && l.size == grow);
    }
    check(version);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    Bytes input(data, data + size);
    walkReader(input);
    checkUpdater(input, data, size);
    return 0;
}
