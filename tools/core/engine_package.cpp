#include "engine_package.h"

#include <zlib.h>

#include <cstring>
#include <set>

#include "file_name_rules.h"
#include "package/filer.h"
#include "package/package_file.h"
#include "platform/ascii.h"

namespace vs::engine {

std::int64_t ReadEnginePackage(TStream& file, s_TVexelProjector& settings) {
    LocatedSettings where{};
    try {
        where = LocateSettings(file);
    } catch (const VsError&) {
        throw EPackageError("The projector holds no package");
    }
    if (where.source != SettingsSource::Projector) throw EPackageError("The projector holds no package");
    try {
        file.SetPosition(where.offset);
        ReadComponentFromStream(file, settings);
    } catch (const std::bad_alloc&) {
        throw EPackageError("The projector's package is damaged: out of memory");
    } catch (const std::exception& e) {
        throw EPackageError(std::string("The projector's package is damaged: ") + e.what());
    }
    return where.offset;
}

std::string ExtractName(std::string_view stored) {
    std::size_t cut = stored.find_last_of("\\/");
    std::string_view base = cut == std::string_view::npos ? stored : stored.substr(cut + 1);
    return IsPlainFileName(base, kMaxExtractName) ? std::string(base) : std::string();
}

namespace {

bool isToolName(std::string_view name) {
    for (std::string_view t : {tools::PrintTool, tools::ExecTool, tools::StoreTool, tools::DesktopTool})
        if (SameText(name, t)) return true;
    return false;
}

void checkSizes(const TPackedFile& f, const std::string& what) {
    if (f.Filesize <= 0 ||
        static_cast<std::uint64_t>(f.Filesize) > kMaxInflateRatio * f.FileDataSize() + 64)
        throw EPackageError("The projector's package is damaged: the size of " + what + " does not fit its data");
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

std::vector<ExtractItem> PlanExtraction(const s_TVexelProjector& settings) {
    std::vector<ExtractItem> plan;
    std::set<std::string> taken;
    auto add = [&](const TPackedFile& f, bool required) {
        if (f.IsEmpty()) {
            if (required) throw EPackageError("The projector's package holds no movie");
            return;
        }
        std::string name = ExtractName(f.Filename());
        if (name.empty())
            throw EPackageError("The projector's package names a file that cannot be written: \"" + f.Filename() + "\"");
        checkSizes(f, name);
        if (!taken.insert(upper(name)).second)
            throw EPackageError("The projector's package holds two files named " + name);
        plan.push_back({&f, name, isToolName(name)});
    };
    add(settings.MainFile(), true);
    add(settings.DLLFile(), false);
    for (int i = 0; i < settings.Files().Count(); ++i) add(settings.Files().Items(i), false);
    return plan;
}

void InflatePackedFile(const TPackedFile& file, const std::function<void(const std::uint8_t*, std::size_t)>& sink) {
    const std::vector<std::uint8_t>& data = file.FileData();
    if (file.Filesize <= 0) throw EPackageError("The projector's package is damaged: a file has no size");
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) throw EPackageError("The projector's package cannot be unpacked: out of memory");
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{z};
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    std::vector<std::uint8_t> block(1 << 20);
    std::int64_t left = file.Filesize;
    while (left > 0) {
        auto want = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(block.size())));
        z.next_out = block.data();
        z.avail_out = static_cast<uInt>(want);
        int rc = inflate(&z, Z_NO_FLUSH);
        std::size_t got = want - z.avail_out;
        if (got) sink(block.data(), got);
        left -= static_cast<std::int64_t>(got);
        if (left == 0) break;
        if (rc == Z_STREAM_END || (rc == Z_BUF_ERROR && z.avail_in == 0))
            throw EPackageError("The projector's package is damaged: a packed file ends early");
        if (rc != Z_OK && rc != Z_BUF_ERROR) throw EPackageError("The projector's package is damaged: bad packed data");
    }
}

}  // namespace vs::engine
