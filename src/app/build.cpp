// Building a projector, and the Build and Preview buttons.
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "app/generator_model.h"
#include "app/projector_inspection.h"
#include "app/tools_folder.h"
#include "exe/stamp.h"
#include "package/file_name_rules.h"
#include "package/filer.h"
#include "package/package_file.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/stream.h"

namespace vs {

namespace fs = std::filesystem;

namespace {

constexpr const char* kRunQuestion = "Would you like to run the projector you have just build?";
constexpr const char* kCouldntStart = "Couldnt start";

}  // namespace

void TfVexelSCREENModel::RefuseOutputOverInput(const std::string& output, bool build) const {
    const std::optional<FileIdentity> target = IdentityOf(output);
    if (!target) return;  // a file that does not exist yet is nobody's input
    auto refuse = [&](const std::string& input, const std::string& role) {
        if (input.empty() || IdentityOf(input) != target) return;
        std::string text = "The output \"" + output + "\" is the same file as " + role;
        if (input != output) text += " \"" + input + "\"";
        throw VsError(text + ". Nothing was written; choose another name for the output.");
    };
    refuse(edFlashProjector.fileName, "the Flash projector");
    for (const FileListView::Item& item : lvAddFiles.items) refuse(item.fullPath, "the additional file");
    refuse(OpenIcon.fileName, "the icon file");
    refuse(fShapeSelect.OpenShape.fileName, "the shape picture");
    const std::string& dir = paths_.generatorDir;
    if (build) refuse(loadedProject_, "the project");
    else refuse(dir + std::string(tools::HookLibrary), "the hook library");
    // Both families, for a build and a save alike: a file written there breaks
    // every later build.
    RefuseToolsFolderOutput(dir, output);
}

PackingObserver TfVexelSCREENModel::BusyObserver() {
    // A Cancel clicked while the messages ran ends the packing; the batch
    // then stops its threads, also within a file.
    auto messages = [this] {
        ui_.processPendingMessages();
        if (cancelRequested_ && btCancel.enabled) throw EOperationCancelled();
    };
    return {messages, [this, messages](std::size_t done, std::size_t total) {
                ui_.progress(static_cast<int>(done), static_cast<int>(total));
                messages();
            }};
}

BuildReport TfVexelSCREENModel::BuildProjector(const std::string& fileName) {
    std::unique_ptr<AtomicFile> output;
    BuildReport report = BuildProjectorPending(fileName, output);
    output->Commit();
    seVI_4.setValue(static_cast<long long>(seVI_4.value()) + 1);
    return report;
}

BuildReport TfVexelSCREENModel::BuildProjectorPending(const std::string& fileName, std::unique_ptr<AtomicFile>& output) {
    const auto started = std::chrono::steady_clock::now();
    BuildReport report;
    report.output = fileName;

    RefuseOutputOverInput(fileName, true);
    InspectChosenProjector();
    SetControls();
    if (afterMapping) afterMapping(*settings_);
    s_TVexelProjector& s = *settings_;

    // The engine must be able to write every packed file under its name;
    // a list it could not write is refused before anything is written.
    {
        PackedNames names{{edFlashProjector.fileName, std::string(tools::HookLibrary)}, false, std::nullopt};
        for (const FileListView::Item& item : lvAddFiles.items) names.files.push_back(item.fullPath);
        for (auto [packed, tool] : {std::pair{pgMovieInfo.value(6) == "Yes", tools::PrintTool},
                                    {pgMovieInfo.value(7) == "Yes", tools::ExecTool}, {s.HasVarStore, tools::StoreTool},
                                    {s.InsDesktop, tools::DesktopTool}})
            if (packed) names.files.emplace_back(tool), names.anyTool = true;
        if (s.HasVarFile) names.dateTimeFile = s.VarFileName;
        for (const std::string& warning : CheckPackedNames(names)) ui_.warning(warning);
    }

    // The engine, with the version information and the icon. The icon step
    // writes only inside the engine's bytes, so it may come before the
    // package is appended. Engine, hook library and tools come from the family
    // of the player just inspected; in the package only their stored names
    // tell the families apart, as the engine extracts files by bare name.
    const std::string engine = BuildToolsFile(tools::Engine);
    const std::vector<std::uint8_t> bytes = ReadEngine(engine, ToolsFamilyFor(player_));
    output = std::make_unique<AtomicFile>(fileName);
    {
        output->stream().WriteBuffer(bytes.data(), bytes.size());
        output->CloseStream();
        // The user's own permissions, never the engine's (an engine installed
        // read-only would make the output read-only, and the stamp below fail).
        output->UseNormalPermissions(true);
    }
    TVersionInfoRec rec;
    SetVersionInfoRec(rec);
    report.build = rec.build;
    StampRequest stamp = StampRequest::ForBuild();
    stamp.version = rec;
    stamp.icon = imIcon.icon;
    const StampResult stamped = StampExecutable(output->tempName(), stamp);
    report.versionWritten = stamped.versionWritten;
    report.versionRefusal = stamped.versionRefusal;
    report.iconWritten = stamped.iconWritten;

    // The packed files: modes before names, since a name is what packs a file.
    s.Preview = false;
    const auto mode = static_cast<std::uint8_t>(tbCompression.position);
    const auto packing = std::chrono::steady_clock::now();
    {
        PackingBatch batch(jobs);
        s.MainFile().CompressMode = mode;
        PackMainFile(batch);
        s.DLLFile().CompressMode = mode;
        s.DLLFile().SetFilename(BuildToolsFile(tools::HookLibrary), batch);
        s.Files().Clear();
        s.Files().DefaultCompressMode = mode;
        for (const FileListView::Item& item : lvAddFiles.items) s.Files().AddFile(item.fullPath, batch);
        if (pgMovieInfo.value(6) == "Yes") s.Files().AddFile(BuildToolsFile(tools::PrintTool), batch);
        if (pgMovieInfo.value(7) == "Yes") s.Files().AddFile(BuildToolsFile(tools::ExecTool), batch);
        if (s.HasVarStore) s.Files().AddFile(BuildToolsFile(tools::StoreTool), batch);
        if (s.InsDesktop) s.Files().AddFile(BuildToolsFile(tools::DesktopTool), batch);
        batch.Run(BusyObserver());
    }
    report.packing = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - packing);

    {
        TFileStream& out = output->ReopenStream();
        report.packageOffset = AppendPackage(out, s);
        report.size = static_cast<std::uint64_t>(out.Size());
    }
    if (signing) {
        output = SignPending(*output, *signing);
        report.signedWith = true;
        report.size = static_cast<std::uint64_t>(TFileStream(output->tempName(), FileMode::OpenRead).Size());
    }
    report.total = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    return report;
}

void TfVexelSCREENModel::WaitForProgram(StartedProgram& program) {
    ui_.processPendingMessages();
    while (program.running()) ui_.processPendingMessages();
}

void TfVexelSCREENModel::RunBuilt(const std::string& fileName) {
    std::unique_ptr<StartedProgram> program = shell_.startProgram(fileName);
    if (!program) {
        ui_.error(kCouldntStart);
        return;
    }
    program->waitForInputIdle();
    host_.hideMainWindow();
    WaitForProgram(*program);
    program.reset();
    host_.showMainWindow();
    ui_.processPendingMessages();
}

void TfVexelSCREENModel::qbtBuildClick() {
    // Build is disabled without an output name, but a view may still pass a
    // click that was on its way.
    if (OutputProjector.fileName.empty()) {
        ui_.error("The field \"" + OutputProjector.caption +
                  "\" is empty. Choose the file that the projector is to be built into.");
        return;
    }
    // The password is asked before the busy page shows; it lives only as
    // long as this build.
    if (!PrepareSigning()) return;
    struct ForgetSigning {
        std::optional<SigningRequest>& signing;
        ~ForgetSigning() { signing.reset(); }
    } forgetSigning{signing};
    int previous = 0;
    BringBusyPage("Please hold while your projector is being constructed...", previous);
    struct Restore {
        TfVexelSCREENModel& m;
        int page;
        ~Restore() {
            m.pages.active = page;
            m.host_.showMainWindow();
        }
    } restore{*this, previous};
    BuildProjector(OutputProjector.fileName);
    if (ui_.confirm(kRunQuestion)) RunBuilt(OutputProjector.fileName);
}

std::string TfVexelSCREENModel::PreviewFileName() {
    const LocalDateTime t = clock();
    std::mt19937 random(static_cast<unsigned>(((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond) ^
                        static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    char digits[16];
    std::snprintf(digits, sizeof digits, "%.8d", static_cast<int>(std::uniform_int_distribution<int>(0, 999999998)(random)));
    return paths_.tempDir + "VexelSCREEN Preview Projector - " + digits + ".exe";
}

void TfVexelSCREENModel::qbtPreviewClick() {
    const int position = tbCompression.position;
    tbCompression.setPosition(1);
    int previous = 0;
    BringBusyPage("Please hold while your projector is being constructed for preview...", previous);
    struct Restore {
        TfVexelSCREENModel& m;
        int page, position;
        ~Restore() {
            m.pages.active = page;
            m.tbCompression.setPosition(position);
            m.host_.showMainWindow();
        }
    } restore{*this, previous, position};

    const std::string name = PreviewFileName();
    BuildProjector(name);
    // The preview file goes on every path once it is built, also when the
    // wait is cut short. A projector that still runs then (or whose file the
    // system has not let go of yet) holds its file on Windows: the shell
    // removes it when the projector has ended.
    std::unique_ptr<StartedProgram> program;
    struct RemovePreview {
        const std::string& name;
        std::unique_ptr<StartedProgram>& program;
        ~RemovePreview() {
            if (!RemoveFile(name) && program) program->removeWhenEnded(name);
        }
    } removePreview{name, program};
    program = shell_.startProgram(name);
    if (!program) {
        ui_.error(kCouldntStart);
    } else {
        ui_.processPendingMessages();
        program->waitForInputIdle();
        pages.active = previous;
        host_.hideMainWindow();
        WaitForProgram(*program);
        host_.showMainWindow();
        ui_.processPendingMessages();
    }
}

}  // namespace vs
