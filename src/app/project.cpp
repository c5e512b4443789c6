// Saving and loading project files, and restoring the controls from them.
#include <filesystem>

#include "app/generator_model.h"
#include "app/project_file.h"
#include "app/tools_folder.h"
#include "package/package_file.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"

namespace vs {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSaveFailed = "VexelSCREEN was unable to save your settings. Please try again.";
constexpr const char* kLoadFailed = "The file is not a VexelSCREEN project file or is corrupted.";

FileDialog ProjectDialog(const std::string& name, bool save) {
    FileDialog d;
    d.defaultExtension = ".vsp";
    d.filter = "VexelSCREEN Project|*.vsp";
    d.overwritePrompt = save;
    d.initialName = name;
    return d;
}

FileDialog RetrievalDialog(const std::string& name) {
    FileDialog d;
    d.overwritePrompt = true;
    d.initialName = name;
    return d;
}

std::string RetrievalQuestion(const std::string& what, const std::string& name) {
    return what + " \"" + name + "\" used by this project\rcouldn't be found locally.\r\r"
           "Would you like to retrieve the the file as it is stored within the project file?";
}

std::string BaseName(const std::string& path) { return Utf8Of(PathOf(path).filename()); }

}  // namespace

std::optional<std::string> TfVexelSCREENModel::ReplacesLoadedProject(const std::string& target) const {
    try {
        RefuseToolsFolderOutput(paths_.generatorDir, target);
    } catch (const VsError& e) {
        return e.what();
    }
    if (loadedProject_.empty() || !SameFile(target, loadedProject_)) return std::nullopt;
    return "\"" + target + "\" is the project being loaded; no file is retrieved over it.";
}

std::string TfVexelSCREENModel::ProjectCaption(const std::string& projectFile) const {
    return "[" + BaseName(projectFile) + "]  " + kBaseCaption;
}

// ---------------------------------------------------------------- saving

void TfVexelSCREENModel::SaveasClick() {
    std::optional<std::string> name = ui_.saveFileName(ProjectDialog(SaveProjectFileName, true));
    if (!name) return;
    // Refused before the busy page, with the message that names the file.
    RefuseOutputOverInput(*name, false);
    EncodeFileRecord({OutputProjector.fileName, OpenIcon.fileName, 0});
    SaveProjectFileName = *name;
    int previous = 0;
    BringBusyPage("Please hold while VexelSCREEN is saving your project...", previous, false);
    try {
        SaveProject(*name);
        caption = ProjectCaption(*name);
    } catch (const std::exception&) {
        ui_.error(kSaveFailed);
    }
    pages.active = previous;
}

void TfVexelSCREENModel::SaveProject(const std::string& fileName) { SaveProjectPending(fileName)->Commit(); }

std::unique_ptr<AtomicFile> TfVexelSCREENModel::SaveProjectPending(const std::string& fileName) {
    RefuseOutputOverInput(fileName, false);
    // The names the file record keeps are checked before anything is packed.
    EncodeFileRecord({OutputProjector.fileName, OpenIcon.fileName, 0});
    SetControls();
    if (afterMapping) afterMapping(*settings_);
    s_TVexelProjector& s = *settings_;
    // The files are packed at the modes the packed files hold.
    PackingBatch batch(jobs);
    PackMainFile(batch);
    s.DLLFile().SetFilename(paths_.generatorDir + std::string(tools::HookLibrary), batch);
    s.Files().Clear();
    for (const FileListView::Item& item : lvAddFiles.items) s.Files().AddFile(item.fullPath, batch);
    batch.Run(BusyObserver());

    auto out = std::make_unique<AtomicFile>(fileName);
    TFileStream& stream = out->stream();
    WriteComponentToStream(stream, s);
    if (!s.Shape().Empty()) {
        const auto& picture = fShapeSelect.ShapeImage.picture;
        MakeShapeImageRecord(shapeImageRecord_, picture ? &picture->FileBytes() : nullptr,
                             picture ? picture->Width() : 0, picture ? picture->Height() : 0);
        WriteComponentToStream(stream, shapeImageRecord_);
    }
    TVersionInfoRec rec;
    SetVersionInfoRec(rec);
    WriteVersionRecord(stream, rec);
    TImage icon;
    MakeIconImageRecord(icon, IconFileBytes(imIcon.icon));
    WriteComponentToStream(stream, icon);
    WriteFileRecord(stream, {OutputProjector.fileName, OpenIcon.fileName,
                             static_cast<std::uint8_t>(tbCompression.position)});
    return out;
}

// ---------------------------------------------------------------- loading

void TfVexelSCREENModel::LoadClick() {
    FileDialog dialog = ProjectDialog(OpenProjectFileName, false);
    dialog.initialFolder = OpenProjectFolder;
    std::optional<std::string> name = ui_.openFileName(dialog);
    if (!name) return;
    OpenProjectFileName = *name;
    LoadProject(*name);
}

void TfVexelSCREENModel::LoadProject(const std::string& fileName) {
    int previous = 0;
    BringBusyPage("Please hold while VexelSCREEN is loading your project...", previous, false);
    updating = true;
    // The guard and the page come back on every path, also when restoring the
    // controls or inspecting the projector fails.
    struct Restore {
        TfVexelSCREENModel& m;
        int page;
        ~Restore() {
            m.updating = false;
            m.pages.active = page;
        }
    } restore{*this, previous};

    loadedProject_ = fileName;
    try {
        settings_ = std::make_unique<s_TVexelProjector>();
        TFileStream file(fileName, FileMode::OpenRead);
        const PackingObserver observer = BusyObserver();
        ReadProjectSettings(file, *settings_, {LocalFiles::Pack, jobs, &observer});
        if (!settings_->Shape().Empty()) {
            TImage image("ShapeImage");
            ReadImageRecord(file, image);
            if (image.Picture().graphicClass == kBitmapGraphic)
                fShapeSelect.ShapeImage.picture = TBitmap::FromBytes(image.Picture().graphicFile);
            rbShape.setChecked(true);
            fShapeSelect.ShapeRegion.Assign(settings_->Shape());
        }
        GetVersionInfoRec(ReadVersionRecord(file));
        TImage icon("imIcon");
        ReadImageRecord(file, icon);
        if (icon.Picture().graphicClass == kIconGraphic) imIcon.icon = ReadIconFile(icon.Picture().graphicFile);
        const ProjectFileRecord record = ReadFileRecord(file);
        OpenIcon.fileName = record.iconName;
        OutputProjector.fileName = record.outputName;
        tbCompression.setPosition(record.compression);
        if (!record.iconName.empty() && !FileExists(record.iconName) &&
            ui_.confirm(RetrievalQuestion("The icon file", record.iconName))) {
            if (std::optional<std::string> target = ui_.saveFileName(RetrievalDialog(record.iconName))) {
                if (const std::optional<std::string> refusal = ReplacesLoadedProject(*target)) {
                    ui_.error(*refusal);
                } else {
                    const std::vector<std::uint8_t> bytes = IconFileBytes(imIcon.icon);
                    WriteFileAtomic(*target, bytes.data(), bytes.size());
                    OpenIcon.fileName = *target;
                }
            }
        }
        caption = ProjectCaption(fileName);
    } catch (const std::exception&) {
        ui_.error(kLoadFailed);
    }
    ReadSP();
    InspectChosenProjector();
    updating = false;
    SetControls();
    pages.active = previous;
    SaveProjectFileName = fileName;
    OpenProjectFolder = Utf8Of(PathOf(fileName).parent_path());
}

void TfVexelSCREENModel::ReadSP() {
    s_TVexelProjector& s = *settings_;
    cbStayOnTop.setChecked(s.StayOnTop);
    if (fShapeSelect.ShapeRegion.RegionHolder().Handle()) s.Shape().Assign(fShapeSelect.ShapeRegion);
    rbInsDesktop.setChecked(s.InsDesktop);
    rbMaximized.setChecked(s.WindowSize == TspSize::spsMaximized);
    rbCustomSize.setChecked(s.WindowSize == TspSize::spsCustom);
    ToChoices(PositionHChoices(), s.PositionH);
    ToChoices(PositionVChoices(), s.PositionV);
    seLeft.setValue(s.WindowX);
    seTop.setValue(s.WindowY);
    seWidth.setValue(s.WindowWidth);
    seHeight.setValue(s.WindowHeight);
    edCaption.text = s.CaptionText;
    ToChoices(BorderChoices(), s.BorderStyle);
    cbResizeable.setChecked(s.BorderResizeable);
    cbKeepRatio.setChecked(s.ResizeKeepRatio);
    cbShowInTaskbar.setChecked(s.ShowInTaskbar);
    ToChoices(LeftClickChoices(), s.LeftClickBehaviour);
    ToChoices(RightClickChoices(), s.RightClickBehaviour);
    ToChoices(KeyboardChoices(), s.KeyboardBehaviour);
    cbCloseOnEscape.setChecked(s.CloseOnEscape);
    cbHideCursor.setChecked(s.HideCursor);
    cbDisablescreensaver.setChecked(s.DisableScreensaver);
    cbDisableALTTAB.setChecked(s.DisableALTTAB);
    cbVarFile.setChecked(s.HasVarFile);
    edVarFilename.text = s.VarFileName;
    const std::string* names[] = {&s.DATE_YY, &s.DATE_MM, &s.DATE_DD, &s.TIME_HH, &s.TIME_MM, &s.TIME_SS, &s.TIME_MS};
    for (std::size_t i = 0; i < 7; ++i) pgDateTime.value(i + 1) = *names[i];
    edFlashProjector.fileName = RetrieveFile(s.MainFile());
    lvAddFiles.items.clear();
    AddFilesIcons.icons.clear();
    for (int i = 0; i < s.Files().Count(); ++i) {
        const std::string path = RetrieveFile(s.Files().Items(i));
        if (!path.empty()) AddAddFiles({path});
    }
}

std::string TfVexelSCREENModel::RetrieveFile(TPackedFile& file) {
    const std::string stored = file.Filename();
    if (FileExists(stored)) return stored;
    // A packed file without a name (nothing was read into it) names nothing to ask about.
    if (stored.empty()) return {};
    if (ui_.confirm(RetrievalQuestion("The file", stored))) {
        if (std::optional<std::string> target = ui_.saveFileName(RetrievalDialog(stored))) {
            try {
                if (const std::optional<std::string> refusal = ReplacesLoadedProject(*target)) throw VsError(*refusal);
                file.ExtractToFile(*target);
                return *target;
            } catch (const VsError& e) {
                // Nothing usable is stored for it, or it cannot go there; it
                // goes as if declined.
                ui_.error(GeneralErrorText(e));
            }
        }
        ui_.warning("Since \"" + stored + "\" couldn't be found,\rit has been removed from this project.");
        return {};
    }
    ui_.warning("Since " + stored + " couldn't be found,\rit has been removed from this project.");
    return {};
}

}  // namespace vs
