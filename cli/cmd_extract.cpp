#include <filesystem>
#include <iostream>
#include <set>

#include "app/generator_model.h"
#include "app/tools_folder.h"
#include "cli/commands.h"
#include "cli/file_names.h"
#include "package/package_file.h"
#include "package/persistent.h"
#include "package/vexel_projector.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"

namespace vs::cli {

namespace fs = std::filesystem;

void addExtractCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("extract", "Write every packed file of a built projector or project file into DIR");
    auto file = std::make_shared<std::string>();
    auto dir = std::make_shared<std::string>();
    auto force = std::make_shared<bool>(false);
    cmd->add_option("FILE", *file, "A built projector (.exe) or a project file (.vsp)")->required();
    cmd->add_option("DIR", *dir, "Folder to write into (created when missing)")->required();
    cmd->add_flag("--force", *force, "Replace files that already exist in DIR");
    cmd->callback([file, dir, force] {
        runWithReasons([&] {
            s_TVexelProjector settings;
            ReadSettingsFile(*file, settings);
            std::error_code ec;
            fs::create_directories(PathOf(*dir), ec);
            if (!fs::is_directory(PathOf(*dir))) throw EFCreateError(cannotCreateFile(*dir));

            std::vector<const TPackedFile*> all = {&settings.MainFile(), &settings.DLLFile()};
            for (int i = 0; i < settings.Files().Count(); ++i) all.push_back(&settings.Files().Items(i));

            // Every file is written to a temporary file first; they take their
            // places together only when all were written, so that a full disk
            // or a damaged entry leaves DIR as it was.
            const std::string generatorDir = GeneratorPaths::OfThisProgram().generatorDir;
            std::set<std::string> used;
            int failures = 0;
            std::vector<std::unique_ptr<AtomicFile>> written;
            std::vector<std::string> report;
            for (const TPackedFile* f : all) {
                if (f->Filename().empty() && f->IsEmpty()) continue;
                const std::string& shown = f->Filename();
                std::string base = SafeExtractName(shown);
                if (base.empty()) {
                    std::cerr << "skipped '" << shown << "': the name cannot be used as a file name\n";
                    ++failures;
                    continue;
                }
                if (f->IsEmpty()) {
                    std::cerr << "skipped '" << shown << "': the package holds no data for it\n";
                    continue;
                }
                // Two entries with one name never overwrite each other.
                const std::string name = UniqueName(base, used);
                const std::string target = Utf8Of(PathOf(*dir) / PathOf(name));
                if (SameFile(target, *file)) {
                    std::cerr << "skipped '" << shown << "': " << target << " is the file being extracted from\n";
                    ++failures;
                    continue;
                }
                const PathKind kind = KindOfPath(target);
                if (kind == PathKind::Folder || kind == PathKind::Other) {
                    std::cerr << "skipped '" << shown << "': " << target << " is not a regular file\n";
                    ++failures;
                    continue;
                }
                if (kind != PathKind::Missing && !*force) {
                    std::cerr << "skipped '" << shown << "': " << target
                              << " exists (use --force to replace it)\n";
                    ++failures;
                    continue;
                }
                try {
                    RefuseToolsFolderOutput(generatorDir, target);
                    auto out = std::make_unique<AtomicFile>(target);
                    f->InflateTo([&](const std::uint8_t* p, std::size_t n) { out->stream().WriteBuffer(p, n); });
                    out->Finish();
                    written.push_back(std::move(out));
                    report.push_back(target + " (" + std::to_string(f->Filesize) + " bytes)");
                } catch (const VsError& e) {
                    std::cerr << "failed '" << shown << "': " << FailureText(e) << "\n";
                    // A file that could not be written (a full disk) ends the
                    // extraction; nothing of it is kept.
                    if (dynamic_cast<const EStreamError*>(&e)) {
                        std::cerr << "nothing was extracted\n";
                        return 1;
                    }
                    ++failures;
                }
            }
            std::vector<AtomicFile*> files;
            for (const auto& w : written) files.push_back(w.get());
            CommitTogether(files);
            for (const std::string& line : report) std::cout << line << "\n";
            return failures ? 1 : 0;
        });
    });
}

}  // namespace vs::cli
