#include "engine_package.h"

#include "package/file_name_rules.h"
#include "package/filer.h"
#include "package/package_file.h"
#include "platform/ascii.h"

namespace vs::engine {

std::int64_t ReadEnginePackage(TStream& file, s_TVexelProjector& settings) {
    LocatedSettings where{};
    try {
        where = LocateSettings(file);
    } catch (const ECertificateTableError& e) {
        // "The projector's signature is damaged: its certificate table ..."
        std::string text = e.what();
        if (text.rfind("The file's", 0) == 0) text.replace(0, 10, "The projector's");
        throw EPackageError(text);
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

namespace {

// Stored names are full paths; longer ones are shown by their length.
constexpr std::size_t kShownStoredName = 260;

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

}  // namespace

std::vector<ExtractItem> PlanExtraction(const s_TVexelProjector& settings) {
    std::vector<ExtractItem> plan;
    PackedNames names;
    auto add = [&](const TPackedFile& f, bool required) {
        if (f.IsEmpty()) {
            if (required) throw EPackageError("The projector's package holds no movie");
            return;
        }
        std::string name(StoredFilePart(f.Filename()));
        plan.push_back({&f, name, isToolName(name)});
        names.files.push_back(f.Filename());
        names.anyTool = names.anyTool || plan.back().tool;
    };
    add(settings.MainFile(), true);
    add(settings.DLLFile(), false);
    for (int i = 0; i < settings.Files().Count(); ++i) add(settings.Files().Items(i), false);
    if (settings.HasVarFile) names.dateTimeFile = settings.VarFileName;

    // The same rules that a build applies to what it packs.
    if (auto problem = FindPackedNameProblem(names)) {
        using Kind = PackedNameProblem::Kind;
        const std::string name(StoredFilePart(problem->stored));
        switch (problem->kind) {
            case Kind::NotPlain:
                throw EPackageError("The projector's package names a file that cannot be written: \"" +
                                    ShownName(problem->stored, kShownStoredName) + "\" (" + problem->reason + ")");
            case Kind::Duplicate:
                throw EPackageError("The projector's package holds two files named " + name);
            case Kind::DateTimeFile:
                throw EPackageError("The projector's package holds a file named like its date and time file: " + name);
            case Kind::ToolsFolder:
                throw EPackageError("The projector's package holds a file named like its tools' folder: " + name);
            case Kind::DateTimeFileNotPlain:
                throw EPackageError("The date and time file has no usable name: \"" +
                                    ShownName(problem->stored, kShownStoredName) + "\" (" + problem->reason + ")");
        }
    }
    for (const ExtractItem& item : plan) checkSizes(*item.file, item.name);
    return plan;
}

void InflatePackedFile(const TPackedFile& file, const std::function<void(const std::uint8_t*, std::size_t)>& sink,
                       std::size_t blockSize) {
    const std::string damaged = "The projector's package is damaged: ";
    if (file.Filesize <= 0) throw EPackageError(damaged + "a file has no size");
    // A stream that goes on past the stored size is damaged as much as one
    // that ends early, and so is one followed by other bytes.
    switch (InflateWhole(file.FileData(), static_cast<std::uint64_t>(file.Filesize), sink, blockSize)) {
        case InflateOutcome::Complete:
            return;
        case InflateOutcome::Longer:
            throw EPackageError(damaged + "a packed file is longer than its size");
        case InflateOutcome::Short:
        case InflateOutcome::Unended:
            throw EPackageError(damaged + "a packed file ends early");
        case InflateOutcome::Trailing:
            throw EPackageError(damaged + "a packed file carries bytes after its end");
        case InflateOutcome::NoMemory:
            throw EPackageError(damaged + "out of memory");
        case InflateOutcome::BadData:
            break;
    }
    throw EPackageError(damaged + "bad packed data");
}

}  // namespace vs::engine
