#include "package/package_file.h"

#include <array>
#include <cstring>
#include <string>
#include <filesystem>

#include "exe/pe_format.h"
#include "package/filer.h"
#include "package/persistent.h"
#include "package/vexel_projector.h"
#include "platform/errors.h"
#include "platform/file_system.h"

namespace vs {

namespace fs = std::filesystem;

namespace {

// The entry of `dir` whose name equals `name` without regard to case.
std::string findNoCase(const fs::path& dir, std::string_view name) {
    std::error_code ec;
    if (fs::exists(dir / PathOf(name), ec)) return std::string(name);
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = Utf8Of(it->path().filename());
        if (SameText(entry, name)) return entry;
    }
    return std::string(name);
}

}  // namespace

std::string ToolsFile(const std::string& generatorDir, std::string_view name) {
    const fs::path dir = PathOf(generatorDir);
    const fs::path folder = dir / PathOf(findNoCase(dir, tools::Folder));
    return Utf8Of(folder / PathOf(findNoCase(folder, name)));
}

std::int64_t AppendPackage(TStream& out, s_TVexelProjector& settings) {
    std::int64_t offset = out.Seek(0, SeekOrigin::End);
    if (offset > UINT32_MAX) throw EWriteError(msg::StreamWrite);
    WriteComponentToStream(out, settings);
    auto e = static_cast<std::uint32_t>(offset);
    out.WriteBuffer(&e, 4);
    return offset;
}

namespace {

template <class T>
std::optional<T> ReadAt(TStream& file, std::int64_t at) {
    if (at < 0 || at > file.Size() - static_cast<std::int64_t>(sizeof(T))) return std::nullopt;
    T value;
    file.SetPosition(at);
    file.ReadBuffer(&value, sizeof value);
    return value;
}

// One entry of a certificate table (WIN_CERTIFICATE), before its data.
struct CertificateEntry {
    std::uint32_t length;  // with this header
    std::uint16_t revision;
    std::uint16_t type;
};
static_assert(sizeof(CertificateEntry) == 8);

[[noreturn]] void BadTable(const std::string& what) {
    throw ECertificateTableError("The file's signature is damaged: its certificate table " + what);
}

// The stream's offset when the 4 bytes at `at` point at a "TPF0" stream that
// ends where they begin.
std::optional<std::uint32_t> PackageWordAt(TStream& file, std::int64_t at) {
    const std::optional<std::uint32_t> offset = ReadAt<std::uint32_t>(file, at);
    if (!offset || static_cast<std::int64_t>(*offset) + 4 > at) return std::nullopt;
    const std::optional<std::array<char, 4>> sig = ReadAt<std::array<char, 4>>(file, *offset);
    if (!sig || std::memcmp(sig->data(), kFilerSignature, 4) != 0) return std::nullopt;
    return offset;
}

}  // namespace

std::optional<CertificateTable> FindCertificateTable(TStream& file) {
    const std::int64_t size = file.Size();
    const auto dos = ReadAt<pe::DosHeader>(file, 0);
    if (!dos || dos->magic != pe::kDosMagic) return std::nullopt;
    const std::int64_t nt = dos->newHeaderOffset;
    const auto signature = ReadAt<std::uint32_t>(file, nt);
    if (!signature || *signature != pe::kNtSignature) return std::nullopt;
    const std::int64_t optional = nt + 4 + static_cast<std::int64_t>(sizeof(pe::FileHeader));
    const auto magic = ReadAt<std::uint16_t>(file, optional);
    if (!magic) return std::nullopt;
    std::int64_t directories = 0;
    std::uint32_t count = 0;
    if (*magic == pe::kOptionalMagic32) {
        const auto header = ReadAt<pe::OptionalHeader32>(file, optional);
        if (!header) return std::nullopt;
        directories = optional + static_cast<std::int64_t>(sizeof(pe::OptionalHeader32));
        count = header->numberOfRvaAndSizes;
    } else if (*magic == pe::kOptionalMagic64) {
        const auto header = ReadAt<pe::OptionalHeader64>(file, optional);
        if (!header) return std::nullopt;
        directories = optional + static_cast<std::int64_t>(sizeof(pe::OptionalHeader64));
        count = header->numberOfRvaAndSizes;
    } else {
        return std::nullopt;
    }
    if (count <= pe::kDirSecurity) return std::nullopt;
    const auto security = ReadAt<pe::DataDirectory>(
        file, directories + static_cast<std::int64_t>(pe::kDirSecurity * sizeof(pe::DataDirectory)));
    if (!security || security->size == 0) return std::nullopt;

    // The directory gives a file offset, not an address.
    const std::uint64_t offset = security->virtualAddress, length = security->size;
    if (offset > static_cast<std::uint64_t>(size) || length > static_cast<std::uint64_t>(size) - offset)
        BadTable("lies outside the file (" + std::to_string(length) + " bytes at offset " + std::to_string(offset) +
                 ", in a file of " + std::to_string(size) + ")");
    if (offset + length != static_cast<std::uint64_t>(size))
        BadTable("does not end the file: it ends at offset " + std::to_string(offset + length) + " of " +
                 std::to_string(size));
    for (std::uint64_t at = offset; at < offset + length;) {
        const auto entry = ReadAt<CertificateEntry>(file, static_cast<std::int64_t>(at));
        if (!entry || entry->length < sizeof(CertificateEntry) || entry->length > offset + length - at)
            BadTable("holds an entry of a length that does not fit it, at offset " + std::to_string(at));
        // Entries start on 8-byte boundaries.
        at += (std::uint64_t{entry->length} + 7) / 8 * 8;
        if (at > offset + length && at - (offset + length) >= 8) BadTable("is not filled by its entries");
    }
    return CertificateTable{offset, length};
}

LocatedSettings LocateSettings(TStream& file) {
    const std::int64_t size = file.Size();
    if (const auto sig = ReadAt<std::array<char, 4>>(file, 0); sig && std::memcmp(sig->data(), kFilerSignature, 4) == 0)
        return {SettingsSource::Project, 0};
    if (const std::optional<CertificateTable> table = FindCertificateTable(file)) {
        // A signer pads the file with zero bytes to a multiple of 8 before it
        // appends the table; the package's 4 bytes stand before the padding.
        const auto end = static_cast<std::int64_t>(table->offset);
        for (std::int64_t pad = 0; pad < 8 && end - pad >= 8; ++pad) {
            if (pad > 0 && ReadAt<std::uint8_t>(file, end - pad).value_or(1) != 0) break;
            if (const std::optional<std::uint32_t> offset = PackageWordAt(file, end - pad - 4))
                return {SettingsSource::Projector, *offset};
        }
        throw EReadError(msg::InvalidStreamFormat);
    }
    if (size >= 8)
        if (const std::optional<std::uint32_t> offset = PackageWordAt(file, size - 4))
            return {SettingsSource::Projector, *offset};
    throw EReadError(msg::InvalidStreamFormat);
}

LocatedSettings ReadSettingsFile(const std::string& path, s_TVexelProjector& settings) {
    TFileStream file(path, FileMode::OpenRead);
    LocatedSettings where = LocateSettings(file);
    file.SetPosition(where.offset);
    ReadComponentFromStream(file, settings);
    return where;
}

std::string SafeExtractName(std::string_view stored) {
    std::size_t cut = stored.find_last_of("\\/");
    std::string_view base = cut == std::string_view::npos ? stored : stored.substr(cut + 1);
    if (base.empty() || base == "." || base == "..") return {};
    for (char c : base)
        if (static_cast<unsigned char>(c) < 0x20 || c == ':') return {};
    return std::string(base);
}

}  // namespace vs
