// Arbitrary bytes as a version block: the reader must stay inside the block
// (the bytes are copied to a buffer of exactly their size, so that the address
// sanitizer sees any read past it), end (libFuzzer's timeout), and fail only
// with its own error. The first 788 bytes, taken as a version record, must
// come back from the block that the writer makes of them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "exe/version_info.h"
#include "platform/cp1252.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void readArbitrary(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> block(data, data + size);
    try {
        const vs::VersionBlockContents c = vs::ReadVersionBlock(block);
        // Every node takes at least 8 bytes and every translation 4.
        std::size_t strings = 0;
        for (const auto& t : c.stringTables) strings += t.strings.size();
        check(c.stringTables.size() <= size / 8 + 1 && strings <= size / 8 + 1);
        check(c.translations.size() <= size / 4);
    } catch (const vs::EExeError&) {
        check(size < 6 || (data[0] | data[1] << 8) < 6);
    }
}

void roundTrip(const std::uint8_t* data, std::size_t size) {
    if (size < sizeof(vs::TVersionInfoRec)) return;
    vs::TVersionInfoRec rec;
    std::memcpy(&rec, data, sizeof rec);
    for (auto layout : {vs::VersionBlockLayout::FixedSlots, vs::VersionBlockLayout::Compact}) {
        const std::vector<std::uint8_t> block = vs::BuildVersionBlock(rec, layout);
        if (layout == vs::VersionBlockLayout::FixedSlots) check(block.size() == vs::kFixedVersionBlockSize);
        const vs::VersionBlockContents c = vs::ReadVersionBlock(block);
        check(c.fixed && c.fixed->fileVersionMS == (std::uint32_t{rec.major} << 16 | rec.minor) &&
              c.fixed->fileVersionLS == (std::uint32_t{rec.release} << 16 | rec.build));
        check(c.stringTables.size() == 1 && c.stringTables[0].strings.size() == vs::kVersionStringCount);
        for (int i = 0; i < vs::kVersionStringCount; ++i) {
            const std::size_t n = std::min<std::size_t>(rec.strings[i].length, vs::kVersionStringMax);
            std::u16string value = vs::AnsiString::FromBytes(std::string_view(rec.strings[i].text, n)).ToUtf16();
            value.resize(std::min(value.size(), vs::VersionStringRoom(i)));
            value = value.substr(0, value.find(u'\0'));  // a text ends at its first zero
            const auto& [key, text] = c.stringTables[0].strings[static_cast<std::size_t>(i)];
            check(key == vs::VersionStringFields()[static_cast<std::size_t>(i)].key);
            check(text == vs::Utf16ToUtf8(value));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 17)) return 0;
    readArbitrary(data, size);
    roundTrip(data, size);
    return 0;
}
