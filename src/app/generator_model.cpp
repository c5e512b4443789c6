#include "app/generator_model.h"

#include <ctime>
#include <filesystem>
#include <new>
#include <system_error>

#include "app/main_icon.h"
#include "app/movie_files.h"
#include "app/projector_inspection.h"
#include "app/tools_folder.h"
#include "platform/ascii.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "platform/file_identity.h"
#include "platform/file_system.h"
#include "platform/stream.h"

#ifdef _WIN32
#include "platform/win32.h"
#endif

namespace vs {

namespace fs = std::filesystem;

namespace {

// The keys under which the settings file keeps the remembered file names.
constexpr const char* kStoredProjector = "edFlashProjector.FileName";
constexpr const char* kStoredOutput = "OutputProjector.FileName";
constexpr const char* kStoredIcon = "OpenIcon.FileName";
constexpr const char* kStoredOpenProject = "OpenProject.FileName";
constexpr const char* kStoredSaveProject = "SaveProject.FileName";
constexpr const char* kStoredSaveSample = "SaveSample.FileName";
constexpr const char* kStoredPlayer = "StandalonePlayer.FileName";
constexpr const char* kStoredSignCertificate = "edSignCertificate.FileName";

std::string WithSeparator(std::string dir) {
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\') dir += static_cast<char>(fs::path::preferred_separator);
    return dir;
}

std::string OwnExecutable() {
#ifdef _WIN32
    return win32::Utf8(win32::ModulePath(nullptr));
#else
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
#endif
}

// The help documents in the order they are loaded, and their views.
struct HelpDocument {
    const char* file;
    RichText TfVexelSCREENModel::*view;
};
constexpr HelpDocument kHelpDocuments[] = {
    {"VexelScreenPrinting.rtf", &TfVexelSCREENModel::edPrintingInfo},
    {"VexelScreenDateTime.rtf", &TfVexelSCREENModel::edDateTimeInfo},
    {"VexelScreenExec.rtf", &TfVexelSCREENModel::edExecInfo},
    {"VexelScreenStore.rtf", &TfVexelSCREENModel::edVarSaveInfo},
    {"VexelScreenGeneral.rtf", &TfVexelSCREENModel::edGeneralHelp},
};

constexpr const char* kHelpWarning = "There were problems loading VexelSCREEN documentation\rPlease re-install.";

// The integer a grid text holds, 0 when it holds none.
std::int32_t IntegerOf(const std::string& text) {
    try {
        std::size_t used = 0;
        long long v = std::stoll(text, &used);
        if (used != text.size() || v < INT32_MIN || v > INT32_MAX) return 0;
        return static_cast<std::int32_t>(v);
    } catch (const std::exception&) {
        return 0;
    }
}

}  // namespace

GeneratorPaths GeneratorPaths::OfThisProgram() {
    GeneratorPaths p;
    const std::string self = OwnExecutable();
    p.generatorDir = WithSeparator(self.empty() ? Utf8Of(fs::current_path()) : Utf8Of(PathOf(self).parent_path()));
    const std::string temp = TemporaryFolder();
    p.tempDir = WithSeparator(temp.empty() ? std::string(".") : temp);
    return p;
}

LocalDateTime LocalNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &t);
#else
    localtime_r(&t, &tm);
#endif
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms)};
}

std::string GeneralErrorText(const std::string& text) {
    if (!text.empty() && text.back() == '.') return text;
    return text + ".";
}

std::string GeneralErrorText(const std::exception& failure) {
    if (dynamic_cast<const std::bad_alloc*>(&failure)) return "Out of memory.";
    return GeneralErrorText(FailureText(failure));
}

TfVexelSCREENModel::TfVexelSCREENModel(UserInterface& ui, Shell& shell, SettingsStore& store, WindowHost& host,
                                       GeneratorPaths paths)
    : fShapeSelect(ui, host),
      ui_(ui),
      shell_(shell),
      store_(store),
      host_(host),
      paths_(std::move(paths)),
      settings_(std::make_unique<s_TVexelProjector>()) {
    caption = kBaseCaption;
    headerButtons.buttons = {&btFiles, &btAppearance, &btDimensions, &btBehaviour, &btBuild, &btGeneralHelp};
    headerButtons.down = &btFiles;
    bottomButtons.buttons = {&qbtVarFile, &qbtPrinting, &btExec, &qbtVarSave};

    edFlashProjector.typing = false;
    edFlashProjector.dialog = {"", "Flash Projector Files|*.exe|Flash Movies|*.swf", ".exe", false};
    OutputProjector.save = true;
    OutputProjector.fileName = "VexelSCREEN Projector.exe";
    OutputProjector.dialog = {"", "Windows executable files|*.exe", ".exe", true};
    OpenIcon.dialog = {"Browse for Icon", "Icon files|*.ico|Other files (get icon)|*.*", ".ico", false};
    edSignCertificate.dialog = {"Browse for Certificate", "Certificates|*.p12;*.pfx;*.pem|All Files|*.*", "", false};
    // The texts that the package or the project file store as Windows-1252.
    for (FileNameEdit* f : {&edFlashProjector, &OutputProjector, &OpenIcon}) f->storedText = true;
    for (Edit* e : {&edCaption, &edVarFilename}) e->storedText = true;
    for (PropertyGrid* g : {&pgVI, &pgDateTime}) g->storedText = true;

    for (std::size_t i = 0; i < kMovieInfoLabels.size(); ++i)
        pgMovieInfo.rows.push_back({kMovieInfoLabels[i], "", i <= 6});
    pgMovieInfo.rows.push_back({kPlayerLabel, "", true});
    const VersionInfoValues versions = DefaultVersionInfoValues();
    for (int i = 0; i < kVersionStringCount; ++i)
        pgVI.rows.push_back({VersionStringFields()[static_cast<std::size_t>(i)].label,
                             versions.strings[static_cast<std::size_t>(i)], i == 2 || i == 5});
    pgDateTime.titleRow = true;
    pgDateTime.rows = {{"Value:", "Variable name:", true},
                       {"Date: Year", "Date_YY"},
                       {"Date: Month digits", "Date_MM"},
                       {"Date: Day digits", "Date_DD"},
                       {"Time: Hours", "Time_HH"},
                       {"Time: Minutes", "Time_MM"},
                       {"Time: Seconds", "Time_SS"},
                       {"Time: Milliseconds", "Time_MS"}};

    // SetControls is the click handler of most radio buttons and of four check boxes.
    for (RadioButton* rb : {&rbInsDesktop, &rbBorderNone, &rbBorderOnly, &rbBorderTool, &rbBorderCaption,
                            &rbMaximized, &rbUseFlash, &rbCustomSize, &rbAllignLeft, &rbAllignXCenter,
                            &rbAllignRight, &rbXposCustom, &rbAllignTop, &rbAllignYCenter, &rbAllignBottom,
                            &rbYposCustom, &rbLAllow, &rbLDrag, &rbLIgnore, &rbRAllow, &rbRPopup, &rbRIgnore,
                            &rbKAllow, &rbKIgnore})
        rb->onClick = [this] { SetControls(); };
    rbShape.onClick = [this] { rbShapeClick(); };
    rbRectangle.onClick = [this] { rbRectangleClick(); };
    for (CheckBox* cb : {&cbHideCursor, &cbCloseOnEscape, &cbDisablescreensaver, &cbDisableALTTAB})
        cb->onClick = [this] { SetControls(); };
    ShowMainIcon();
}

TfVexelSCREENModel::~TfVexelSCREENModel() = default;

void TfVexelSCREENModel::Run(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const EOperationCancelled&) {
        // The user closed the window; there is nothing to report.
    } catch (const std::exception& e) {
        ui_.error(GeneralErrorText(e));
    }
}

// ---------------------------------------------------------------- start

void TfVexelSCREENModel::FormCreate(const std::vector<std::string>& arguments) {
    // The settings object was made with the model.
    pages.show("pageFiles");
    LoadHelpDocuments();
    ShowMainIcon();
    caption = kBaseCaption;
    ui_.processPendingMessages();
    pendingProject.clear();
    if (!arguments.empty() && FileExists(arguments[0])) pendingProject = arguments[0];
}

void TfVexelSCREENModel::LoadHelpDocuments() {
    const std::string docs = paths_.generatorDir + "Docs" + static_cast<char>(fs::path::preferred_separator);
    for (const HelpDocument& d : kHelpDocuments) {
        try {
            std::vector<std::uint8_t> bytes = ReadWholeFile(docs + d.file);
            (this->*d.view).rtf.assign(bytes.begin(), bytes.end());
        } catch (const VsError&) {
            ui_.warning(kHelpWarning);
            return;
        }
    }
}

void TfVexelSCREENModel::ShowMainIcon() { imIcon.icon = ReadIconFile(MainIconFile()); }

void TfVexelSCREENModel::RestoreStoredValues() {
    auto restore = [&](const char* key, std::string& into) {
        if (auto v = store_.value(key)) into = *v;
    };
    restore(kStoredProjector, edFlashProjector.fileName);
    restore(kStoredOutput, OutputProjector.fileName);
    restore(kStoredIcon, OpenIcon.fileName);
    restore(kStoredOpenProject, OpenProjectFileName);
    restore(kStoredSaveProject, SaveProjectFileName);
    restore(kStoredSaveSample, SaveSampleFileName);
    restore(kStoredPlayer, StandalonePlayer);
    restore(kStoredSignCertificate, edSignCertificate.fileName);
}

void TfVexelSCREENModel::FormShow() {
    if (!firstShow) return;
    firstShow = false;
    RestoreStoredValues();
    if (!edFlashProjector.fileName.empty()) InspectChosenProjector();
    SetIcon(OpenIcon.fileName);
    SetControls();
    if (!pendingProject.empty()) {
        std::string project = std::move(pendingProject);
        pendingProject.clear();
        LoadProject(project);
    }
}

void TfVexelSCREENModel::FormClose() {
    store_.setValue(kStoredProjector, edFlashProjector.fileName);
    store_.setValue(kStoredOutput, OutputProjector.fileName);
    store_.setValue(kStoredIcon, OpenIcon.fileName);
    store_.setValue(kStoredOpenProject, OpenProjectFileName);
    store_.setValue(kStoredSaveProject, SaveProjectFileName);
    store_.setValue(kStoredSaveSample, SaveSampleFileName);
    store_.setValue(kStoredPlayer, StandalonePlayer);
    store_.setValue(kStoredSignCertificate, edSignCertificate.fileName);
}

// ---------------------------------------------------------------- the settings mapping

void TfVexelSCREENModel::SetControls() {
    if (updating) return;
    // What was typed into a spin field counts as the value it gives.
    for (SpinEdit* se : {&seWidth, &seHeight, &seLeft, &seTop, &seVI_1, &seVI_2, &seVI_3, &seVI_4}) se->settle();
    s_TVexelProjector& s = *settings_;
    const bool chosen = ProjectorChosen();
    paAddFiles.visible = chosen;                                             // 1
    paProjectorInfo.visible = chosen;
    for (Button* b : {&btAppearance, &btDimensions, &btBehaviour, &btBuild}) b->enabled = chosen;  // 2
    Saveas.enabled = chosen;                                                 // 3
    paShowInTaskbar.visible = rbBorderTool.checked();                        // 4
    if (rbShape.checked()) {                                                 // 5
        updating = true;
        rbShape.setChecked(!s.Shape().Empty());
        rbRectangle.setChecked(!rbShape.checked());
        updating = false;
    }
    btEditShape.visible = !s.Shape().Empty() && rbShape.checked();           // 6
    paBorder.visible = rbRectangle.checked();                                // 7
    paSize.visible = rbRectangle.checked();
    paCustomSize.visible = paSize.visible && rbCustomSize.checked();         // 8
    paPosition.visible = !rbMaximized.checked();                             // 9
    paCustomPos.visible = paPosition.visible && (rbXposCustom.checked() || rbYposCustom.checked());  // 10
    seTop.enabled = rbYposCustom.checked();                                  // 11
    seLeft.enabled = rbXposCustom.checked();
    paResizeable.visible = rbRectangle.checked() && !rbBorderNone.checked(); // 12
    qbtPreview.enabled = chosen;                                             // 13
    for (Button* b : {&qbtVarFile, &btExec, &qbtPrinting, &qbtVarSave}) b->enabled = chosen;
    qbtBuild.enabled = qbtPreview.enabled && !OutputProjector.fileName.empty();  // 14
    paProjectorInfo.visible = chosen;                                        // 15
    s.StayOnTop = cbStayOnTop.checked() && paStayOnTop.visible;              // 16
    if (rbMaximized.checked()) s.WindowSize = TspSize::spsMaximized;         // 17
    if (rbUseFlash.checked() || rbCustomSize.checked()) s.WindowSize = TspSize::spsCustom;
    FromChoices(PositionHChoices(), s.PositionH);                            // 18
    FromChoices(PositionVChoices(), s.PositionV);
    s.WindowX = seLeft.value();                                              // 19
    s.WindowY = seTop.value();
    s.WindowWidth = seWidth.value();
    s.WindowHeight = seHeight.value();
    s.MovieWidth = IntegerOf(pgMovieInfo.value(0));                          // 20
    s.MovieHeight = IntegerOf(pgMovieInfo.value(1));
    if (rbShape.checked()) {                                                 // 21
        s.WindowWidth = s.Shape().Width;
        s.WindowHeight = s.Shape().Height;
    } else {
        s.WindowWidth = seWidth.value();
        s.WindowHeight = seHeight.value();
    }
    s.CaptionText = edCaption.text;                                          // 22
    s.InsDesktop = rbInsDesktop.checked();
    FromChoices(BorderChoices(), s.BorderStyle);                             // 23
    s.BorderResizeable = cbResizeable.checked();                             // 24
    s.ResizeKeepRatio = cbKeepRatio.checked();
    s.ShowInTaskbar = cbShowInTaskbar.checked();
    FromChoices(LeftClickChoices(), s.LeftClickBehaviour);                   // 25
    FromChoices(RightClickChoices(), s.RightClickBehaviour);
    FromChoices(KeyboardChoices(), s.KeyboardBehaviour);
    s.HideCursor = cbHideCursor.checked();                                   // 26
    s.CloseOnEscape = cbCloseOnEscape.checked();
    s.DisableScreensaver = cbDisablescreensaver.checked();
    s.DisableALTTAB = cbDisableALTTAB.checked();
    s.HasVarFile = cbVarFile.checked();
    s.VarFileName = edVarFilename.text;
    s.DATE_YY = pgDateTime.value(1);                                         // 27
    s.DATE_MM = pgDateTime.value(2);
    s.DATE_DD = pgDateTime.value(3);
    s.TIME_HH = pgDateTime.value(4);
    s.TIME_MM = pgDateTime.value(5);
    s.TIME_SS = pgDateTime.value(6);
    s.TIME_MS = pgDateTime.value(7);
}

std::array<TfVexelSCREENModel::Choice<TspHPosition>, 4> TfVexelSCREENModel::PositionHChoices() {
    return {{{&rbAllignLeft, TspHPosition::spphLeft},
             {&rbAllignXCenter, TspHPosition::spphCenter},
             {&rbAllignRight, TspHPosition::spphRight},
             {&rbXposCustom, TspHPosition::spphNone}}};
}

std::array<TfVexelSCREENModel::Choice<TspVPosition>, 4> TfVexelSCREENModel::PositionVChoices() {
    return {{{&rbAllignTop, TspVPosition::sppvTop},
             {&rbAllignYCenter, TspVPosition::sppvCenter},
             {&rbAllignBottom, TspVPosition::sppvBottom},
             {&rbYposCustom, TspVPosition::sppvNone}}};
}

std::array<TfVexelSCREENModel::Choice<TspBorder>, 4> TfVexelSCREENModel::BorderChoices() {
    return {{{&rbBorderNone, TspBorder::spbNone},
             {&rbBorderOnly, TspBorder::spbBorderOnly},
             {&rbBorderTool, TspBorder::spbTool},
             {&rbBorderCaption, TspBorder::spbSingle}}};
}

std::array<TfVexelSCREENModel::Choice<TspLeftClick>, 3> TfVexelSCREENModel::LeftClickChoices() {
    return {{{&rbLAllow, TspLeftClick::splAllow}, {&rbLDrag, TspLeftClick::splDrag}, {&rbLIgnore, TspLeftClick::splIgnore}}};
}

std::array<TfVexelSCREENModel::Choice<TspRightClick>, 3> TfVexelSCREENModel::RightClickChoices() {
    return {{{&rbRAllow, TspRightClick::sprAllow}, {&rbRPopup, TspRightClick::sprPopup}, {&rbRIgnore, TspRightClick::sprIgnore}}};
}

std::array<TfVexelSCREENModel::Choice<TspKeyboard>, 2> TfVexelSCREENModel::KeyboardChoices() {
    return {{{&rbKAllow, TspKeyboard::spkAllow}, {&rbKIgnore, TspKeyboard::spkIgnore}}};
}

// ---------------------------------------------------------------- pages and menu

void TfVexelSCREENModel::ShowPage(const std::string& page, Button* button) {
    pages.show(page);
    for (ButtonGroup* g : {&headerButtons, &bottomButtons})
        for (Button* b : g->buttons)
            if (b == button) g->down = button;
}

void TfVexelSCREENModel::btFileMenuClick() { host_.showFileMenu(); }
void TfVexelSCREENModel::About1Click() { host_.showAboutModal(); }
void TfVexelSCREENModel::Close1Click() { host_.closeMainWindow(); }
void TfVexelSCREENModel::pageBuildingShow() { ui_.processPendingMessages(); }

void TfVexelSCREENModel::BringBusyPage(const std::string& text, int& previousPage, bool cancellable) {
    lbBusyLabel.caption = text;
    cancelRequested_ = false;
    btCancel.visible = btCancel.enabled = cancellable;
    previousPage = pages.active;
    pages.show("pageBuilding");
    pageBuildingShow();
}

// ---------------------------------------------------------------- projector, shape, icon

void TfVexelSCREENModel::edFlashProjectorAfterDialog(std::string& name, bool& action) {
    auto missing = [&] {
        action = false;
        edFlashProjector.fileName.clear();
        name.clear();
    };
    if (!FileExists(name)) {
        missing();
        return;
    }
    if (IsMovieFile(name)) {
        std::optional<std::string> made = MakeProjectorOfMovie(name);
        if (!made) {
            // Nothing was chosen: the field keeps the projector it held, and
            // never keeps a movie (one remembered from an earlier run).
            action = false;
            name.clear();
            if (IsMovieFile(edFlashProjector.fileName)) {
                edFlashProjector.fileName.clear();
                unpackedProjector_.reset();
            }
            SetControls();
            return;
        }
        name = *made;
    }
    unpackedProjector_.reset();
    InspectionResult result;
    // The player's kind is a fact of the accepted file, shown with the movie's.
    auto showPlayer = [&] {
        player_ = ExecutableKindOfFile(name);
        pgMovieInfo.value(kPlayerRow) = std::string(ExecutableKindText(player_));
    };
    try {
        if (!InspectProjectorFile(name, settings_.get(), ui_, result)) {
            if (result.missing) {
                missing();
                return;
            }
            action = false;
            name.clear();
        } else {
            for (std::size_t row = 0; row < result.grid.size(); ++row) pgMovieInfo.value(row) = result.grid[row];
            showPlayer();
            unpackedProjector_ = result.unpacked;
        }
    } catch (...) {
        // The movie facts were shown before the file turned out not to be writable.
        if (result.accepted) {
            for (std::size_t row = 0; row < 6; ++row) pgMovieInfo.value(row) = result.grid[row];
            showPlayer();
        }
        throw;
    }
    edFlashProjector.fileName = name;
    SetControls();
}

void TfVexelSCREENModel::InspectChosenProjector() {
    std::string name = edFlashProjector.fileName;
    bool action = true;
    edFlashProjectorAfterDialog(name, action);
}

ExecutableKind TfVexelSCREENModel::PlayerKind() const {
    return ProjectorChosen() ? player_ : ExecutableKind::Bits32;
}

std::string TfVexelSCREENModel::BuildToolsFile(std::string_view name) const {
    return ToolsFile(paths_.generatorDir, name, ToolsFamilyFor(PlayerKind()));
}

void TfVexelSCREENModel::DragDropPorjectorFileDropped(const std::string& fileName) {
    // A dropped movie becomes a projector first; given up, the field keeps
    // the projector it held.
    if (IsMovieFile(fileName)) {
        std::string name = fileName;
        bool action = true;
        edFlashProjectorAfterDialog(name, action);
        return;
    }
    edFlashProjector.fileName = fileName;
    InspectChosenProjector();
}

namespace {
FileDialog DialogOf(const FileNameEdit& field) {
    FileDialog d;
    d.title = field.dialog.title;
    d.filter = field.dialog.filter;
    d.defaultExtension = field.dialog.defaultExtension;
    d.overwritePrompt = field.dialog.overwritePrompt;
    d.initialName = field.fileName;
    return d;
}
}  // namespace

void TfVexelSCREENModel::edFlashProjectorBrowse() {
    std::optional<std::string> name = ui_.openFileName(DialogOf(edFlashProjector));
    if (!name) return;
    bool action = true;
    edFlashProjectorAfterDialog(*name, action);
}

std::optional<std::string> TfVexelSCREENModel::MakeProjectorOfMovie(const std::string& movie) {
    const std::string movieName = Utf8Of(PathOf(movie).filename());
    FileDialog playerDialog;
    playerDialog.title = "Choose the standalone Flash player for " + movieName;
    playerDialog.filter = "Flash Players|*.exe";
    playerDialog.defaultExtension = ".exe";
    playerDialog.initialName = StandalonePlayer;
    std::optional<std::string> player = ui_.openFileName(playerDialog);
    if (!player) return std::nullopt;
    CheckPlayerFile(*player);
    StandalonePlayer = *player;

    FileDialog target;
    target.title = "Save the projector of " + movieName + " as";
    target.filter = edFlashProjector.dialog.filter;
    target.defaultExtension = ".exe";
    target.initialName = Utf8Of(PathOf(movie).replace_extension(".exe"));
    target.overwritePrompt = true;
    std::optional<std::string> projector = ui_.saveFileName(target);
    if (!projector) return std::nullopt;
    for (const std::string* input : {&movie, static_cast<const std::string*>(&*player)})
        if (const auto id = IdentityOf(*projector); id && id == IdentityOf(*input))
            throw VsError("The projector \"" + *projector + "\" would be written over " + *input +
                          ". Nothing was written; choose another name for the projector.");
    RefuseToolsFolderOutput(paths_.generatorDir, *projector);
    const std::vector<std::uint8_t> bytes = MakeProjectorOfFiles(*player, movie);
    WriteFileAtomic(*projector, bytes.data(), bytes.size());
    return projector;
}

void TfVexelSCREENModel::SaveMovieAs(MovieCompression compression) {
    FileDialog source;
    source.title = "Choose the projector whose movie to save";
    source.filter = "Projectors and projects|*.exe;*.vsp|All Files|*.*";
    source.initialName = edFlashProjector.fileName;
    std::optional<std::string> from = ui_.openFileName(source);
    if (!from) return;
    const std::vector<std::uint8_t> movie = MovieOfFile(*from);
    FileDialog target;
    target.title = compression == MovieCompression::None ? "Save the movie as" : "Save the compressed movie as";
    target.filter = "Flash Movies|*.swf";
    target.defaultExtension = ".swf";
    target.initialName = Utf8Of(PathOf(*from).replace_extension(".swf"));
    target.overwritePrompt = true;
    std::optional<std::string> to = ui_.saveFileName(target);
    if (!to) return;
    RefuseToolsFolderOutput(paths_.generatorDir, *to);
    WriteMovieFile(*to, movie, compression, *from);
}

void TfVexelSCREENModel::SaveMovieClick() { SaveMovieAs(MovieCompression::None); }
void TfVexelSCREENModel::SaveMovieCompressedClick() { SaveMovieAs(MovieCompression::Zlib); }

void TfVexelSCREENModel::PackMainFile(PackingBatch& batch) {
    if (unpackedProjector_)
        settings_->MainFile().SetFilename(edFlashProjector.fileName, unpackedProjector_, batch);
    else
        settings_->MainFile().SetFilename(edFlashProjector.fileName, batch);
}

void TfVexelSCREENModel::OutputProjectorEdited(const std::string& text) {
    OutputProjector.fileName = text;
    // Only Build's enabled state depends on this field; the whole mapping would write
    // half-typed values of other fields into the settings at each key.
    qbtBuild.enabled = qbtPreview.enabled && !OutputProjector.fileName.empty();
}

void TfVexelSCREENModel::OutputProjectorBrowse() {
    if (std::optional<std::string> name = ui_.saveFileName(DialogOf(OutputProjector))) {
        OutputProjector.fileName = *name;
        SetControls();
    }
}

void TfVexelSCREENModel::OpenIconBrowse() {
    if (std::optional<std::string> name = ui_.openFileName(DialogOf(OpenIcon))) {
        OpenIcon.fileName = *name;
        OpenIconAfterDialog(*name);
    }
}

void TfVexelSCREENModel::edSignCertificateBrowse() {
    if (std::optional<std::string> name = ui_.openFileName(DialogOf(edSignCertificate)))
        edSignCertificate.fileName = *name;
}

bool TfVexelSCREENModel::PrepareSigning() {
    const std::string& certificate = edSignCertificate.fileName;
    if (certificate.empty()) return true;
    std::optional<std::string> password =
        ui_.askPassword("Password of " + certificate + " (leave it empty if it has none):");
    if (!password) return false;
    signing = SigningRequest{certificate, "", std::move(*password), edSignDescription.text, edSignTimestamp.text};
    return true;
}

void TfVexelSCREENModel::rbShapeClick() {
    if (updating) return;
    if (!fShapeSelect.SelectShape()) {
        SetControls();
        return;
    }
    TStoreWinRegion& shape = settings_->Shape();
    shape.Assign(fShapeSelect.ShapeRegion);
    if (shape.Empty()) {
        rbShape.setChecked(false);
        rbRectangle.setChecked(true);
    } else {
        rbBorderNone.setChecked(true);
        if (const auto& picture = fShapeSelect.ShapeImage.picture) {
            seWidth.setValue(picture->Width());
            seHeight.setValue(picture->Height());
        }
    }
    SetControls();
}

void TfVexelSCREENModel::btEditShapeClick() {
    fShapeSelect.FormShow();
    host_.showShapeWindowModal();
    settings_->Shape().Assign(fShapeSelect.ShapeRegion);
    SetControls();
}

void TfVexelSCREENModel::rbRectangleClick() {
    if (rbRectangle.checked()) {
        settings_->Shape().Clear();
        fShapeSelect.ShapeRegion.Clear();
    }
    SetControls();
}

void TfVexelSCREENModel::SetIcon(const std::string& fileName) {
    if (fileName.empty() || !FileExists(fileName)) return;
    if (EndsWithText(fileName, ".ICO")) {
        imIcon.icon = LoadIconFile(fileName);
        return;
    }
    if (std::optional<TIcon> icon = shell_.largeIcon(fileName)) imIcon.icon = std::move(*icon);
}

void TfVexelSCREENModel::OpenIconAfterDialog(const std::string& fileName) {
    if (FileExists(fileName)) SetIcon(fileName);
}

void TfVexelSCREENModel::OpenIconDropFiles(const std::string& fileName) {
    OpenIcon.fileName = fileName;
    OpenIconAfterDialog(fileName);
}

// ---------------------------------------------------------------- version information

void TfVexelSCREENModel::SetVersionInfoRec(TVersionInfoRec& rec) const {
    VersionInfoValues values;
    for (int i = 0; i < kVersionStringCount; ++i)
        values.strings[static_cast<std::size_t>(i)] = pgVI.value(static_cast<std::size_t>(i));
    values.numbers = {seVI_1.value(), seVI_2.value(), seVI_3.value(), seVI_4.value()};
    vs::SetVersionInfoRec(rec, values);
}

void TfVexelSCREENModel::GetVersionInfoRec(const TVersionInfoRec& rec) {
    const VersionInfoValues values = vs::GetVersionInfoRec(rec);
    for (int i = 0; i < kVersionStringCount; ++i)
        pgVI.value(static_cast<std::size_t>(i)) = values.strings[static_cast<std::size_t>(i)];
    seVI_1.setValue(values.numbers[0]);
    seVI_2.setValue(values.numbers[1]);
    seVI_3.setValue(values.numbers[2]);
    seVI_4.setValue(values.numbers[3]);
}

}  // namespace vs
