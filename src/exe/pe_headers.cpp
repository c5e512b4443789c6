#include "exe/pe_headers.h"

#include <algorithm>

#include "exe/exe_image.h"
#include "platform/ascii.h"
#include "platform/byte_reader.h"

namespace vs {

namespace {

[[noreturn]] void fail(const char* text) { throw EExeError(text); }

template <typename T>
T readAt(ByteReader& in, std::uint64_t offset) {
    in.seek(static_cast<std::size_t>(offset));
    return in.read<T>();
}

}  // namespace

PeHeaders ReadPeHeaders(std::span<const std::uint8_t> file) {
    ByteReader in(file);
    if (file.size() < 2 || file[0] != 'M' || file[1] != 'Z') fail(exe_msg::Unrecognized);
    if (file.size() < sizeof(pe::DosHeader)) fail(exe_msg::NotPE);
    const auto dos = in.read<pe::DosHeader>();

    PeHeaders h;
    h.ntOffset = dos.newHeaderOffset;
    if (!fitsIn(h.ntOffset, 4 + sizeof(pe::FileHeader), file.size())) fail(exe_msg::NotPE);
    if (readAt<std::uint32_t>(in, h.ntOffset) != pe::kNtSignature) fail(exe_msg::NotPE);
    h.file = in.read<pe::FileHeader>();
    h.optionalOffset = static_cast<std::uint32_t>(in.position());

    // The section table follows the optional header, whose size the file
    // header gives (224 bytes for 32-bit images, 240 for 64-bit ones).
    const std::uint64_t optionalSize = h.file.sizeOfOptionalHeader;
    const std::uint64_t tableAt = std::uint64_t{h.optionalOffset} + optionalSize;
    const std::uint64_t tableSize = std::uint64_t{h.file.numberOfSections} * sizeof(pe::SectionHeader);
    if (!fitsIn(tableAt, tableSize, file.size())) fail(exe_msg::NotPE);
    h.sectionTableOffset = static_cast<std::uint32_t>(tableAt);

    std::uint32_t directoryCount = 0;
    ByteReader optional(file.subspan(h.optionalOffset, static_cast<std::size_t>(optionalSize)));
    if (optional.remaining() >= 2) {
        const std::uint16_t magic = readAt<std::uint16_t>(optional, 0);
        optional.seek(0);
        if (magic == pe::kOptionalMagic32 && optional.remaining() >= sizeof(pe::OptionalHeader32)) {
            const auto o = optional.read<pe::OptionalHeader32>();
            directoryCount = o.numberOfRvaAndSizes;
            h.optional = o;
        } else if (magic == pe::kOptionalMagic64 && optional.remaining() >= sizeof(pe::OptionalHeader64)) {
            const auto o = optional.read<pe::OptionalHeader64>();
            directoryCount = o.numberOfRvaAndSizes;
            h.optional = o;
        }
    }
    if (h.HasOptionalHeader()) {
        h.directoriesOffset = h.optionalOffset + static_cast<std::uint32_t>(optional.position());
        const std::uint32_t wanted = std::min(directoryCount, pe::kMaxDataDirectories);
        if (std::uint64_t{wanted} * sizeof(pe::DataDirectory) > optional.remaining()) {
            h.directoriesCut = true;
        } else {
            for (std::uint32_t i = 0; i < wanted; ++i) h.directories.push_back(optional.read<pe::DataDirectory>());
        }
    }

    in.seek(h.sectionTableOffset);
    h.sections.reserve(h.file.numberOfSections);
    for (std::uint32_t i = 0; i < h.file.numberOfSections; ++i) h.sections.push_back(in.read<pe::SectionHeader>());
    return h;
}

bool SectionNamed(const pe::SectionHeader& section, std::string_view name) {
    if (name.size() > sizeof section.name) return false;
    for (std::size_t i = 0; i < sizeof section.name; ++i) {
        const char a = section.name[i];
        const char b = i < name.size() ? name[i] : '\0';
        if (AsciiLower(a) != AsciiLower(b)) return false;
        if (a == '\0') return true;
    }
    return true;
}

std::optional<std::size_t> FindSectionByName(const PeHeaders& headers, std::string_view name) {
    for (std::size_t i = 0; i < headers.sections.size(); ++i)
        if (SectionNamed(headers.sections[i], name)) return i;
    return std::nullopt;
}

}  // namespace vs
