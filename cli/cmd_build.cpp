// vexelscreen build PROJECT.vsp [-o OUT.exe] [--retrieve DIR [--force]] [--jobs N] [--json]
// vexelscreen build --projector FILE | --movie MOVIE.swf --player PLAYER.exe [--add FILE]... [--icon FILE] [--shape BITMAP [--transparent RRGGBB]]
//                   [--version A.B.C.D] [--string Key=Value]... [--compression 1..4] [--set Property=Value]...
//                   [-o OUT.exe] [--save-project FILE.vsp] [--jobs N] [--json]
//
// Both drive the window's own model, so a projector built here has the bytes
// the window would give it. Where the window would go on with defaults or
// without a movie, the command fails instead, with no output file.
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/generator_model.h"
#include "app/movie_files.h"
#include "app/project_file.h"
#include "app/projector_inspection.h"
#include "app/tools_folder.h"
#include "cli/cli_model.h"
#include "cli/file_names.h"
#include "cli/commands.h"
#include "cli/signing_options.h"
#include "exe/executable_kind.h"
#include "exe/version_info.h"
#include "package/describe.h"
#include "package/package_file.h"
#include "platform/atomic_file.h"
#include "platform/cp1252.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/temp_files.h"

namespace vs::cli {

namespace {

namespace fs = std::filesystem;

struct BuildArgs {
    std::string project;
    std::string projector;
    std::string movie, player;
    std::vector<std::string> add;
    std::string icon, shape, transparent, version, output, saveProject, retrieve;
    std::vector<std::string> strings, sets;
    int compression = 0;
    unsigned jobs = 0;
    bool json = false, force = false;
    SigningOptions sign;
};

// Stored names are full paths without "." and ".." segments.
std::string Absolute(const std::string& path) { return FullPath(path); }

// The files that the project names and that are not on disk: the projector
// and the additional files, which a build needs, and with `icon` the icon
// file, whose picture the project holds anyway.
std::vector<std::string> MissingFiles(const ProjectContents& c, bool icon) {
    std::vector<std::string> missing;
    auto check = [&](const std::string& name) {
        if (!name.empty() && !FileExists(name)) missing.push_back(name);
    };
    check(c.settings->MainFile().Filename());
    for (int i = 0; i < c.settings->Files().Count(); ++i) check(c.settings->Files().Items(i).Filename());
    if (icon) check(c.record.iconName);
    return missing;
}

// Where each missing file goes in DIR: the last part of its stored name
// (whichever separator the saving system used), entries of one name
// numbered so that none replaces another or a listed file of that name. A
// file already in DIR is kept unless `force`; the project itself, a file of
// the Tools folder and anything that is not a regular file (a folder, a named
// pipe, a device) never are replaced. Fails, naming every such target, before
// anything is written.
std::vector<CliInterface::Retrieval> PlanRetrieval(const ProjectContents& c, const std::vector<std::string>& missing,
                                                   const std::string& dir, const std::string& project, bool force,
                                                   const std::string& generatorDir) {
    std::set<std::string> used;
    for (int i = 0; i < c.settings->Files().Count(); ++i) {
        const std::string& name = c.settings->Files().Items(i).Filename();
        if (FileExists(name)) UniqueName(Utf8Of(PathOf(name).filename()), used);
    }
    std::vector<CliInterface::Retrieval> plan;
    std::string kept, unusable;
    for (const std::string& stored : missing) {
        const std::string base = SafeExtractName(stored);
        if (base.empty()) throw VsError("the project's file \"" + stored + "\" has no name that a file can take");
        const std::string target = FullPath(Utf8Of(PathOf(dir) / PathOf(UniqueName(base, used))));
        std::error_code ec;
        PathKind kind = KindOfPath(target);
        // A link that leads nowhere is still a name that is taken.
        if (kind == PathKind::Missing && fs::is_symlink(fs::symlink_status(PathOf(target), ec))) kind = PathKind::File;
        switch (kind) {
            case PathKind::Missing:
                break;
            case PathKind::File:
                if (SameFile(target, project))
                    throw VsError("retrieving \"" + stored + "\" would replace the project " + project);
                RefuseToolsFolderOutput(generatorDir, target);
                if (!force) kept += "\n  " + target;
                break;
            case PathKind::Folder:
                unusable += "\n  " + target + " (a folder)";
                break;
            case PathKind::Other:
                unusable += "\n  " + target + " (a named pipe, a device or another file that is not a regular file)";
                break;
        }
        plan.push_back({stored, target});
    }
    if (!unusable.empty())
        throw VsError("--retrieve: these names are taken by something that is not a file, which is never replaced; "
                      "nothing was written:" + unusable);
    if (!kept.empty())
        throw VsError("--retrieve: these files are already there and are kept (use --force to replace them):" + kept);
    return plan;
}

void MakeFolder(const std::string& dir) {
    std::error_code ec;
    fs::create_directories(PathOf(dir), ec);
    if (!DirectoryExists(dir))
        throw VsError("cannot create the folder " + dir + (ec ? ": " + ec.message() : std::string()));
}

// An output that is the same file as another output or as an input named on
// the command line is refused before anything is written. (The model itself
// refuses outputs that are its inputs, on every path.) The message says where
// the output's name came from: -o, or the project's own record.
void RefuseClashingNames(const BuildArgs& a, const std::string& output) {
    auto refuse = [](const std::string& one, const std::string& other, const std::string& what) {
        if (!one.empty() && !other.empty() && SameFile(one, other))
            throw VsError("\"" + one + "\" is both " + what + ". Nothing was written; choose another name.");
    };
    const std::string theOutput =
        a.output.empty() ? "the output that the project records" : std::string("the output (-o)");
    refuse(output, a.saveProject, theOutput + " and the project to save (--save-project)");
    refuse(output, a.project, theOutput + " and the project to build");
    for (const std::string& out : {output, a.saveProject}) {
        refuse(out, a.projector, "an output and the Flash projector (--projector)");
        refuse(out, a.icon, "an output and the icon (--icon)");
        refuse(out, a.shape, "an output and the shape picture (--shape)");
        for (const std::string& add : a.add) refuse(out, add, "an output and an additional file (--add)");
    }
}

void ApplyVersion(TfVexelSCREENModel& m, const std::string& text) {
    const std::array<int, 4> numbers = ParseVersionNumbers(text);
    m.seVI_1.setValue(numbers[0]);
    m.seVI_2.setValue(numbers[1]);
    m.seVI_3.setValue(numbers[2]);
    m.seVI_4.setValue(numbers[3]);
}

void ApplyStrings(TfVexelSCREENModel& m, const std::vector<std::string>& strings) {
    for (const std::string& s : strings) {
        const std::size_t eq = s.find('=');
        const int index = eq == std::string::npos ? -1 : FindVersionString(s.substr(0, eq));
        if (index < 0) throw VsError("--string wants Key=Value with a version key such as CompanyName, not \"" + s + "\"");
        m.pgVI.value(static_cast<std::size_t>(index)) = s.substr(eq + 1);
    }
}

// The window's own steps, in the order a user would take them.
void DriveControls(CliModel& cli, const BuildArgs& a) {
    TfVexelSCREENModel& m = cli.model;
    m.DragDropPorjectorFileDropped(Absolute(a.projector));
    if (m.edFlashProjector.fileName.empty()) throw VsError(a.projector + " is not a Flash projector");
    if (!a.add.empty()) {
        std::vector<std::string> names;
        for (const std::string& f : a.add) names.push_back(Absolute(f));
        const std::size_t before = m.lvAddFiles.items.size();
        m.AddAddFiles(names);
        if (m.lvAddFiles.items.size() - before != names.size())
            throw VsError("not every --add file could be listed (missing, or two files of one name)");
    }
    if (!a.icon.empty()) {
        if (!FileExists(a.icon)) throw EFOpenError(cannotOpenFile(a.icon));
        m.OpenIconDropFiles(Absolute(a.icon));
    }
    if (!a.shape.empty()) {
        std::optional<Colour> colour;
        if (!a.transparent.empty()) {
            colour = ParseColour(a.transparent);
            if (!colour) throw VsError("--transparent wants a colour as RRGGBB, not \"" + a.transparent + "\"");
        }
        cli.ui.answerFileDialog(Absolute(a.shape));
        cli.host.shapeWindowScript = [&m, colour] {
            if (colour) m.fShapeSelect.paColor.color = *colour;
            m.fShapeSelect.btOKClick();
        };
        m.rbShape.setChecked(true);
        if (m.Settings().Shape().Empty())
            throw VsError("the shape of " + a.shape + " is empty: every pixel has the transparent colour");
    }
    if (!a.version.empty()) ApplyVersion(m, a.version);
    ApplyStrings(m, a.strings);
    if (a.compression) m.tbCompression.setPosition(a.compression);
    if (!a.sets.empty()) {
        std::vector<std::pair<std::string, std::string>> assignments;
        for (const std::string& s : a.sets) assignments.push_back(ParseAssignment(s));
        CheckSettingsAssignments(assignments);
        m.afterMapping = [assignments](s_TVexelProjector& settings) { ApplySettingsAssignments(settings, assignments); };
    }
    m.SetControls();
}

void PrintReport(const BuildReport& r, TfVexelSCREENModel& m, bool json) {
    s_TVexelProjector& s = m.Settings();
    std::vector<const TPackedFile*> files = {&s.MainFile(), &s.DLLFile()};
    for (int i = 0; i < s.Files().Count(); ++i) files.push_back(&s.Files().Items(i));
    TVersionInfoRec v;
    m.SetVersionInfoRec(v);
    const std::string version = std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
                                std::to_string(v.release) + "." + std::to_string(r.build);
    if (json) {
        std::ostringstream o;
        o << "{\n  \"output\": " << JsonQuote(Utf8Of(fs::absolute(PathOf(r.output)))) << ",\n  \"size\": " << r.size
          << ",\n  \"packageOffset\": " << r.packageOffset << ",\n  \"version\": \"" << version
          << "\",\n  \"versionResourceWritten\": " << (r.versionWritten ? "true" : "false")
          << ",\n  \"iconWritten\": " << (r.iconWritten ? "true" : "false") << ",\n  \"packedFiles\": [";
        for (std::size_t i = 0; i < files.size(); ++i) {
            const TPackedFile& f = *files[i];
            o << (i ? ",\n    " : "\n    ") << "{\"role\": \"" << (i == 0 ? "MainFile" : i == 1 ? "DLLFile" : "Files")
              << "\", \"name\": " << JsonQuote(f.Filename()) << ", \"size\": " << f.Filesize
              << ", \"compressMode\": " << int(f.CompressMode) << ", \"stored\": " << f.FileDataSize() << "}";
        }
        o << "\n  ],\n  \"timings\": {\"packingMs\": " << r.packing.count() << ", \"totalMs\": " << r.total.count()
          << "}\n}\n";
        std::cout << o.str();
        return;
    }
    std::cout << "Built " << r.output << ": " << r.size << " bytes, version " << version << ", package at offset "
              << r.packageOffset << ", " << files.size() << " packed files, " << r.total.count() << " ms\n";
    for (const TPackedFile* f : files)
        if (!f->Filename().empty())
            std::cout << "  " << f->Filename() << " (" << f->Filesize << " bytes, " << f->FileDataSize()
                      << " stored" << (f->IsEmpty() ? ", no data: the file was not found" : "") << ")\n";
}

void Reported(const BuildReport& report, TfVexelSCREENModel& m, bool json);

// The projector of --movie and --player, made in a folder of its own under
// the system's temporary folder for the time of the build, under the
// movie's name. Nothing of it is left afterwards, also when the build fails
// or an ending signal stops it.
class MovieProjector {
public:
    MovieProjector(const std::string& player, const std::string& movie) {
        const std::vector<std::uint8_t> bytes = MakeProjectorOfFiles(player, movie);
        std::error_code ec;
        const fs::path base = fs::temp_directory_path(ec);
        if (ec) throw VsError("no temporary folder for the projector of " + movie + ": " + ec.message());
        std::random_device random;
        for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
            const fs::path candidate = base / ("VS movie projector " + std::to_string(random() % 100000000u));
            if (fs::create_directory(candidate, ec)) folder_ = candidate;
        }
        if (folder_.empty()) throw VsError("cannot create a temporary folder in " + Utf8Of(base));
        name_ = Utf8Of(folder_ / PathOf(movie).filename().replace_extension(".exe"));
        live_ = std::make_unique<LiveTempFile>(name_);
        WriteFileAtomic(name_, bytes.data(), bytes.size());
    }
    ~MovieProjector() {
        std::error_code ec;
        fs::remove(PathOf(name_), ec);
        if (live_) live_->Forget();
        fs::remove(folder_, ec);
    }
    MovieProjector(const MovieProjector&) = delete;
    MovieProjector& operator=(const MovieProjector&) = delete;
    const std::string& name() const { return name_; }

private:
    fs::path folder_;
    std::string name_;
    std::unique_ptr<LiveTempFile> live_;
};

int Build(BuildArgs a) {
    std::unique_ptr<MovieProjector> made;
    if (!a.movie.empty() || !a.player.empty()) {
        if (a.movie.empty() || a.player.empty()) throw VsError("--movie and --player go together");
        if (!a.projector.empty() || !a.project.empty())
            throw VsError("give --movie and --player instead of a project file or --projector, not with them");
        if (!a.saveProject.empty())
            throw VsError("--save-project needs a projector on disk for the project to name: make it first with "
                          "`vexelscreen projector --player PLAYER.exe MOVIE.swf -o PROJECTOR.exe` and build with "
                          "--projector");
        if (a.output.empty()) throw VsError("no output file: give -o OUT.exe");
        RefuseOutputOverInput(a.output, a.movie, "the movie (--movie)");
        RefuseOutputOverInput(a.output, a.player, "the player (--player)");
        made = std::make_unique<MovieProjector>(Absolute(a.player), Absolute(a.movie));
        a.projector = made->name();
    }
    if (a.project.empty() == a.projector.empty())
        throw VsError("give either a project file, --projector FILE, or --movie MOVIE.swf with --player PLAYER.exe");
    if (!a.projector.empty() && IsMovieFile(a.projector))
        throw VsError(a.projector + " is a Flash movie, not a projector: give it as --movie with --player PLAYER.exe");
    CliModel cli;
    TfVexelSCREENModel& m = cli.model;
    m.jobs = a.jobs;
    if (!a.sign.certificate.empty()) m.signing = MakeSigningRequest(a.sign);
    // The engine a build takes depends on the player. It is looked for before
    // anything is written, also before the inspection rewrites the projector.
    auto requireEngine = [&m](ExecutableKind player) {
        ReadEngine(ToolsFile(m.paths().generatorDir, tools::Engine, ToolsFamilyFor(player)), ToolsFamilyFor(player));
    };

    std::string output;
    if (!a.project.empty()) {
        if (!a.saveProject.empty() || !a.projector.empty())
            throw VsError("--save-project and the control options go with --projector, not with a project file");
        const std::string project = Absolute(a.project);
        ProjectContents contents;
        {
            TFileStream file(project, FileMode::OpenRead);
            contents = ReadProjectFile(file);
        }
        // A projector that is still to be retrieved is judged once it is loaded.
        if (const std::string& player = contents.settings->MainFile().Filename(); FileExists(player))
            requireEngine(ExecutableKindOfFile(player));
        output = a.output.empty() ? contents.record.outputName : a.output;
        if (output.empty()) throw VsError("no output file: give -o OUT.exe");
        RefuseClashingNames(a, output);
        const std::vector<std::string> missing = MissingFiles(contents, !a.retrieve.empty());
        if (!missing.empty() && a.retrieve.empty()) {
            std::string list;
            for (const std::string& f : missing) list += "\n  " + f;
            throw VsError("the project names files that are not on disk (use --retrieve DIR to take them from the "
                          "project):" + list);
        }
        if (!missing.empty()) {
            std::vector<CliInterface::Retrieval> plan =
                PlanRetrieval(contents, missing, Absolute(a.retrieve), project, a.force, m.paths().generatorDir);
            for (const CliInterface::Retrieval& r : plan)
                if (SameFile(r.target, output))
                    throw VsError("the output " + output + " is where \"" + r.stored + "\" would be retrieved to");
            MakeFolder(a.retrieve);
            cli.ui.retrieveAs(std::move(plan));
        }
        m.LoadProject(project);
        if (cli.ui.errorsShown) throw VsError("the project could not be loaded");
        if (m.edFlashProjector.fileName.empty()) throw VsError("the project has no Flash projector to build from");
        requireEngine(m.PlayerKind());
        if (m.lvAddFiles.items.size() != static_cast<std::size_t>(m.Settings().Files().Count()))
            throw VsError("not every additional file of the project could be listed (two files of one name on disk, "
                          "or one that could not be retrieved); nothing was built");
    } else {
        output = a.output;
        RefuseClashingNames(a, output);
        requireEngine(ExecutableKindOfFile(Absolute(a.projector)));
        DriveControls(cli, a);
        if (!a.output.empty()) m.OutputProjector.fileName = Absolute(a.output);
        if (!a.saveProject.empty()) {
            // Both outputs are written to temporary files and take their
            // places together at the very end, so that a failure or an
            // interrupt anywhere before leaves both as they were.
            std::unique_ptr<AtomicFile> project = m.SaveProjectPending(Absolute(a.saveProject));
            std::unique_ptr<AtomicFile> built;
            std::optional<BuildReport> report;
            if (!a.output.empty()) report = m.BuildProjectorPending(Absolute(a.output), built);
            CommitTogether({project.get(), built.get()});
            cli.ui.endProgress();
            std::cerr << "Saved the project " << a.saveProject << "\n";
            if (report) Reported(*report, m, a.json);
            return 0;
        }
        if (output.empty()) output = m.OutputProjector.fileName;
    }
    if (output.empty()) throw VsError("no output file: give -o OUT.exe");
    const BuildReport report = m.BuildProjector(Absolute(output));
    cli.ui.endProgress();
    Reported(report, m, a.json);
    return 0;
}

void Reported(const BuildReport& report, TfVexelSCREENModel& m, bool json) {
    if (!report.versionWritten)
        std::cerr << "vexelscreen: warning: the version resource could not be written: " << report.versionRefusal << "\n";
    PrintReport(report, m, json);
}

}  // namespace

void addBuildCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("build", "Build a projector from a project file, or from a projector and options");
    auto a = std::make_shared<BuildArgs>();
    cmd->add_option("PROJECT", a->project, "A project file (.vsp) to build as the window would");
    cmd->add_option("--projector", a->projector, "The Flash projector (.exe) to build from");
    cmd->add_option("--movie", a->movie, "A movie (.swf) to build from, with --player: the projector of both is made for the build");
    cmd->add_option("--player", a->player, "The standalone Flash player (.exe) for --movie");
    cmd->add_option("--add", a->add, "An additional file the movie needs (repeatable)")->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->add_option("--icon", a->icon, "An icon file (.ico), or any file whose icon is taken");
    cmd->add_option("--shape", a->shape, "A bitmap (.bmp) whose shape the window takes");
    cmd->add_option("--transparent", a->transparent, "The transparent colour of the shape as RRGGBB (default: the top-left pixel)");
    cmd->add_option("--version", a->version, "MAJOR.MINOR.RELEASE.BUILD (default 1.0.0.0)");
    cmd->add_option("--string", a->strings, "A version string as Key=Value (repeatable)")->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    cmd->add_option("--compression", a->compression, "1 stored (fastest start) to 4 best compression (default 3)")->check(CLI::Range(1, 4));
    cmd->add_option("--set", a->sets, "Property=Value on the settings object after the mapping (repeatable)")->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    // An empty name given on purpose is refused, not taken for "not given".
    const auto named = [](const std::string& name) { return name.empty() ? std::string("the file name is empty") : std::string(); };
    cmd->add_option("-o,--output", a->output, "The projector to build (default: the project's output name)")->check(named);
    cmd->add_option("--save-project", a->saveProject, "Write the project as \"Save project\" would; with -o the project keeps that output name and the projector is built too")->check(named);
    cmd->add_option("--retrieve", a->retrieve, "Take files that are missing on disk from the project into DIR");
    cmd->add_flag("--force", a->force, "With --retrieve: replace files that already exist in DIR");
    cmd->add_option("--jobs", a->jobs, "Threads that compress the files (default: one per core)")->check(CLI::Range(0, 256));
    cmd->add_flag("--json", a->json, "Print the output's path, size, package offset, packed files, version and timings as JSON");
    cmd->add_option("--sign", a->sign.certificate,
                    "Sign the projector (Authenticode, with osslsigncode) with a PKCS#12 file or a PEM certificate");
    AddSigningOptions(*cmd, a->sign, "sign-");
    cmd->callback([a] { runWithReasons([&] { return Build(*a); }); });
}

}  // namespace vs::cli
