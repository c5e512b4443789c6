#include "exe/executable_kind.h"

#include <algorithm>
#include <variant>
#include <vector>

#include "exe/pe_format.h"
#include "exe/pe_headers.h"
#include "platform/byte_reader.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs {

std::string_view ExecutableKindText(ExecutableKind kind) {
    return kind == ExecutableKind::Bits64 ? "64-bit" : "32-bit";
}

ExecutableKind ExecutableKindOf(std::span<const std::uint8_t> file) {
    try {
        const PeHeaders h = ReadPeHeaders(file);
        const bool pe32plus = std::holds_alternative<pe::OptionalHeader64>(h.optional);
        return h.file.machine == pe::kMachineAmd64 && pe32plus ? ExecutableKind::Bits64 : ExecutableKind::Bits32;
    } catch (const VsError&) {
        return ExecutableKind::Bits32;
    }
}

ExecutableKind ExecutableKindOf(TStream& file) {
    // How far the headers reach is learnt step by step: the DOS header says
    // where the NT headers are, their file header how long the optional
    // header and the section table are. The bytes read grow to that end (never
    // past the stream's), and ReadPeHeaders then judges them as it would the
    // whole file.
    try {
        const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(file.Size(), 0));
        std::vector<std::uint8_t> head;
        auto readTo = [&](std::uint64_t end) {
            end = std::min(end, size);
            if (end <= head.size()) return;
            const std::size_t have = head.size();
            head.resize(static_cast<std::size_t>(end));
            file.SetPosition(static_cast<std::int64_t>(have));
            file.ReadBuffer(head.data() + have, head.size() - have);
        };

        readTo(sizeof(pe::DosHeader));
        if (head.size() < sizeof(pe::DosHeader)) return ExecutableKind::Bits32;
        const auto dos = ByteReader(head).read<pe::DosHeader>();
        if (dos.magic != pe::kDosMagic) return ExecutableKind::Bits32;

        const std::uint64_t fileHeaderAt = std::uint64_t{dos.newHeaderOffset} + 4;
        readTo(fileHeaderAt + sizeof(pe::FileHeader));
        if (!fitsIn(fileHeaderAt, sizeof(pe::FileHeader), head.size())) return ExecutableKind::Bits32;
        ByteReader in(head);
        in.seek(static_cast<std::size_t>(fileHeaderAt));
        const auto fileHeader = in.read<pe::FileHeader>();
        // Only an AMD64 image can be 64-bit; any other needs no more bytes.
        if (fileHeader.machine != pe::kMachineAmd64) return ExecutableKind::Bits32;
        readTo(fileHeaderAt + sizeof(pe::FileHeader) + fileHeader.sizeOfOptionalHeader +
               std::uint64_t{fileHeader.numberOfSections} * sizeof(pe::SectionHeader));
        return ExecutableKindOf(std::span<const std::uint8_t>(head));
    } catch (const VsError&) {
        return ExecutableKind::Bits32;
    }
}

ExecutableKind ExecutableKindOfFile(const std::string& path) {
    try {
        TFileStream file(path, FileMode::OpenRead);
        return ExecutableKindOf(file);
    } catch (const VsError&) {
        return ExecutableKind::Bits32;
    }
}

}  // namespace vs
