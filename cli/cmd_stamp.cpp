// vexelscreen stamp FILE [--version MAJOR.MINOR.RELEASE.BUILD] [--string Key=Value]... [--icon FILE]
//
// Gives any executable the version resource and the icon that a build gives
// the engine, all or nothing (StampExecutable): a failure leaves the file as
// it was.
#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/generator_model.h"
#include "app/tools_folder.h"
#include "exe/icon.h"
#include "exe/resource_updater.h"
#include "exe/stamp.h"
#include "exe/version_info.h"
#include "cli/arguments.h"
#include "cli/commands.h"
#include "platform/cp1252.h"
#include "platform/errors.h"
#include "platform/stream.h"

namespace vs::cli {

namespace {

std::string keyList() {
    std::string keys;
    for (const VersionStringField& f : VersionStringFields()) keys += std::string(keys.empty() ? "" : ", ") + f.key;
    return keys;
}

[[noreturn]] void notUpdated(const std::string& file, const std::string& why) {
    throw VsError(file + " could not be updated: " + why + "; the file is unchanged");
}

int stamp(const std::string& file, const std::optional<std::string>& version, const std::vector<std::string>& strings,
          const std::optional<std::string>& iconFile, bool compactVersion) {
    if (!version && strings.empty() && !iconFile)
        throw VsError("nothing to stamp: give --version, --string or --icon");
    if (!FileExists(file)) throw EFOpenError(cannotOpenFile(file));
    // The engine and its tools are the installation's; every build copies them.
    RefuseToolsFolderOutput(GeneratorPaths::OfThisProgram().generatorDir, file);

    // Everything that can be wrong with the arguments is found before the file is touched.
    VersionInfoValues values = DefaultVersionInfoValues();
    if (version) values.numbers = ParseVersionNumbers(*version);
    for (const std::string& s : strings) {
        const std::size_t eq = s.find('=');
        const int index = eq == std::string::npos ? -1 : FindVersionString(s.substr(0, eq));
        if (index < 0)
            throw VsError("--string wants Key=Value with one of the keys " + keyList() + " (or its label, such as "
                          "\"Company name\"), not \"" + s + "\"");
        values.strings[static_cast<std::size_t>(index)] = s.substr(eq + 1);
    }
    TVersionInfoRec rec;
    SetVersionInfoRec(rec, values);
    for (int i = 0; i < kVersionStringCount; ++i) {
        const std::size_t typed = AnsiString::FromUtf8(values.strings[static_cast<std::size_t>(i)]).size();
        const std::size_t kept = std::min<std::size_t>(rec.strings[i].length, VersionStringRoom(i));
        if (kept < typed)
            std::cerr << "vexelscreen: note: " << VersionStringFields()[i].key << " keeps only its first " << kept
                      << " characters\n";
    }

    std::optional<TIcon> icon;
    if (iconFile) {
        if (!FileExists(*iconFile)) throw EFOpenError(cannotOpenFile(*iconFile));
        icon = IconOfFile(*iconFile);
        if (!icon) throw VsError(*iconFile + " has no icon of its own");
    }

    const bool writeVersion = version || !strings.empty();
    StampRequest request = StampRequest::Strict();
    if (writeVersion) request.version = rec;
    request.versionLayout = compactVersion ? VersionBlockLayout::Compact : VersionBlockLayout::FixedSlots;
    request.icon = icon;
    try {
        StampExecutable(file, request);
    } catch (const EResourceUpdateError& e) {
        notUpdated(file, "its resources cannot be rewritten safely (" + e.Reason() + ")");
    } catch (const ENoIconImageError&) {
        notUpdated(file, "it has no icon image to replace");
    } catch (const VsError& e) {
        notUpdated(file, e.what());  // StampExecutable changes nothing when it fails
    }

    std::cout << "Stamped " << file << ":";
    if (writeVersion)
        std::cout << " version " << rec.major << '.' << rec.minor << '.' << rec.release << '.' << rec.build;
    if (icon) std::cout << (writeVersion ? "," : "") << " icon from " << *iconFile;
    std::cout << "\n";
    return 0;
}

}  // namespace

void addStampCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("stamp", "Write a version resource and an icon into an executable, as a build does");
    struct Args {
        std::string file;
        std::string version;
        std::vector<std::string> strings;
        std::string icon;
        bool compact = false;
    };
    auto args = std::make_shared<Args>();
    cmd->add_option("FILE", args->file, "The executable to stamp")->required();
    auto* version = cmd->add_option("--version", args->version, "MAJOR.MINOR.RELEASE.BUILD (default 1.0.0.0)");
    auto* strings = cmd->add_option("--string", args->strings,
                                    "Key=Value, repeatable; keys: Comments, CompanyName, FileDescription (default "
                                    "\"VexelSCREEN Flash Projector File\"), FileVersion, InternalName, LegalCopyright, "
                                    "LegalTrademarks, OriginalFilename, PrivateBuild, ProductName, ProductVersion, "
                                    "SpecialBuild")
                        ->expected(1)
                        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    auto* icon = cmd->add_option("--icon", args->icon, "An icon file (.ico), or an executable or DLL whose icon is taken");
    cmd->add_flag("--compact-version", args->compact,
                  "Write each version string only as long as its text, as resource compilers do, instead of the "
                  "fixed 1784-byte block that builds carry");
    cmd->callback([args, version, strings, icon] {
        runWithReasons([&] {
            return stamp(args->file, version->count() ? std::optional(args->version) : std::nullopt,
                         strings->count() ? args->strings : std::vector<std::string>{},
                         icon->count() ? std::optional(args->icon) : std::nullopt, args->compact);
        });
    });
}

}  // namespace vs::cli
