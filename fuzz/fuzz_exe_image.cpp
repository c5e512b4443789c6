// The executable resource reader and the resource updater on arbitrary bytes.
// The reader must fail with its own errors and never read outside the file;
// the updater must either refuse or change nothing but the resource section,
// what moves behind it, and the header fields that describe them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "exe/exe_image.h"
#include "exe/resource_updater.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void check(bool ok) {
    if (!ok) std::abort();
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t le16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); }

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
std::vector<std::pair<std::size_t, std::size_t>> changeableFields(const Bytes& f) {
    std::vector<std::pair<std::size_t, std::size_t>> out;
    std::uint32_t nt = le32(f, 60);
    std::uint32_t opt = nt + 24;
    bool plus = le16(f, opt) == 0x20B;
    std::uint32_t dirs = opt + (plus ? 112 : 96);
    out.push_back({nt + 12, nt + 16});    // symbol table pointer
    out.push_back({opt + 8, opt + 12});   // size of initialized data
    out.push_back({opt + 56, opt + 60});  // size of image
    out.push_back({opt + 64, opt + 68});  // checksum
    out.push_back({dirs + 16, dirs + 24});  // resource directory
    out.push_back({dirs + 40, dirs + 44});  // base relocation address
    std::uint32_t table = opt + le16(f, nt + 20);
    for (std::uint32_t i = 0; i < le16(f, nt + 6); ++i) out.push_back({table + 40 * i + 8, table + 40 * i + 24});
    return out;
}

void checkUpdater(const Bytes& input, const std::uint8_t* data, std::size_t size) {
    std::vector<vs::ResourceChange> changes;
    std::size_t grow = size ? (data[size - 1] * 97u) % 20000u : 0;
    changes.push_back({vs::ResourceId::Number(16), vs::ResourceId::Number(1), 1033, Bytes(grow, 0xAB)});
    if (size > 1 && (data[size - 2] & 1))
        changes.push_back({vs::ResourceId::Named(u"FUZZ"), vs::ResourceId::Number(3), 0, Bytes(7, 0xCD)});
    Bytes out;
    std::string why;
    if (!vs::RewriteResources(input, changes, out, &why)) {
        check(!why.empty());
        return;
    }
    // It succeeded, so the headers were sound: find the rewritten section again.
    std::uint32_t nt = le32(input, 60);
    std::uint32_t opt = nt + 24;
    bool plus = le16(input, opt) == 0x20B;
    std::uint32_t resRva = le32(input, opt + (plus ? 112 : 96) + 16);
    std::uint32_t table = opt + le16(input, nt + 20);
    std::uint32_t rawPtr = 0, rawSize = 0, newRawSize = 0;
    bool found = false;
    for (std::uint32_t i = 0; i < le16(input, nt + 6) && !found; ++i) {
        std::uint32_t at = table + 40 * i;
        if (le32(input, at + 12) != resRva) continue;
        found = true;
        rawSize = le32(input, at + 16);
        rawPtr = le32(input, at + 20);
        newRawSize = le32(out, at + 16);
        check(le32(out, at + 20) == rawPtr);
    }
    check(found && newRawSize >= rawSize);
    check(out.size() == input.size() + (newRawSize - rawSize));
    // Behind the section: the same bytes, moved back.
    check(std::memcmp(input.data() + rawPtr + rawSize, out.data() + rawPtr + newRawSize,
                      input.size() - rawPtr - rawSize) == 0);
    // Before it: the same bytes but the allowed header fields.
    auto fields = changeableFields(input);
    for (std::size_t i = 0; i < rawPtr; ++i) {
        if (input[i] == out[i]) continue;
        bool allowed = false;
        for (auto [from, to] : fields) allowed = allowed || (i >= from && i < to);
        check(allowed);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 20)) return 0;
    Bytes input(data, data + size);
    walkReader(input);
    checkUpdater(input, data, size);
    return 0;
}
