#include "engine_package.h"


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
    if (file.Filesize <= 0) throw EPackageError("The projector's package is damaged: a file has no size");
    try {
        file.InflateTo(sink);
    } catch (const ETruncatedPackedData&) {
        throw EPackageError("The projector's package is damaged: a packed file ends early");
    } catch (const EZlibError&) {
        throw EPackageError("The projector's package is damaged: bad packed data");
    }
}

}  // namespace vs::engine
