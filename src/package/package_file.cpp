#include "package/package_file.h"

#include <cstring>
#include <filesystem>

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

LocatedSettings LocateSettings(TStream& file) {
    std::int64_t size = file.Size();
    char sig[4];
    if (size >= 4) {
        file.SetPosition(0);
        file.ReadBuffer(sig, 4);
        if (std::memcmp(sig, kFilerSignature, 4) == 0) return {SettingsSource::Project, 0};
    }
    if (size >= 8) {
        std::uint32_t offset = 0;
        file.SetPosition(size - 4);
        file.ReadBuffer(&offset, 4);
        if (static_cast<std::int64_t>(offset) + 4 <= size - 4) {
            file.SetPosition(offset);
            file.ReadBuffer(sig, 4);
            if (std::memcmp(sig, kFilerSignature, 4) == 0) return {SettingsSource::Projector, offset};
        }
    }
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
