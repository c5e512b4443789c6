#pragma once
// The generator's main window as a plain model: one object per control that
// the logic reads or writes, the settings object it keeps in step with them,
// and the window's handlers (first show, the settings mapping, shapes,
// icons, the inspection, additional files, build and preview, project files,
// the date/time file, the help pages). The Qt window binds its widgets to
// these objects; the command line drives the same model.
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/code_signing.h"
#include "app/controls.h"
#include "app/image_control.h"
#include "app/ports.h"
#include "app/shape_window.h"
#include "app/window_host.h"
#include "exe/executable_kind.h"
#include "exe/version_info.h"
#include "package/packing_batch.h"
#include "package/var_file.h"
#include "package/vexel_projector.h"
#include "platform/atomic_file.h"
#include "platform/errors.h"
#include "swf/inspection.h"

namespace vs {

class TPackedFile;

// Where the generator lives: the folder of its own executable (with a
// trailing separator), beside which the "tools" and "Docs" folders are, and
// the user's temporary folder (with a trailing separator).
struct GeneratorPaths {
    std::string generatorDir;
    std::string tempDir;
    // The running program's folder and the platform's temporary folder.
    static GeneratorPaths OfThisProgram();
};

// The local date and time now.
LocalDateTime LocalNow();

// A long operation given up because the user closed the window: the view's
// processPendingMessages throws it once a close was asked for, the handler
// unwinds (temporary files go, earlier outputs stay as they were), and Run
// ends it without a message.
class EOperationCancelled : public VsError {
public:
    EOperationCancelled() : VsError("The operation was cancelled") {}
};

// What a build produced, for the command line's report.
struct BuildReport {
    std::string output;
    std::int64_t packageOffset = 0;
    std::uint64_t size = 0;
    bool versionWritten = false;
    std::string versionRefusal;
    bool iconWritten = false;
    std::uint16_t build = 0;  // the Build number the package carries
    bool signedWith = false;  // signed after the stamp and the package
    std::chrono::milliseconds packing{0}, total{0};
};

class TfVexelSCREENModel {
public:
    static constexpr const char* kBaseCaption = "VexelSCREEN 1.0";
    static constexpr const char* kApplicationTitle = "VexelSCREEN Generator";

    TfVexelSCREENModel(UserInterface& ui, Shell& shell, SettingsStore& store, WindowHost& host, GeneratorPaths paths);
    ~TfVexelSCREENModel();
    TfVexelSCREENModel(const TfVexelSCREENModel&) = delete;
    TfVexelSCREENModel& operator=(const TfVexelSCREENModel&) = delete;

    // ---- state besides the controls
    s_TVexelProjector& Settings() { return *settings_; }
    bool updating = false;  // the update guard
    bool firstShow = true;
    std::string pendingProject;
    std::string caption;
    TfShapeSelectModel fShapeSelect;
    // Threads that pack files in a build or save; 0 takes one per core.
    unsigned jobs = 0;
    // Runs on the settings object right after every mapping of a build or a
    // project save (the command line's --set).
    std::function<void(s_TVexelProjector&)> afterMapping;
    // When set, a build signs the projector once it is complete (stamped and
    // packed), before it takes its place.
    std::optional<SigningRequest> signing;
    // The clock of the date/time file and of the preview's name.
    std::function<LocalDateTime()> clock = LocalNow;

    // ---- pages and the bars around them
    PageControl pages{"PageControl",
                      {"pageFiles", "pageAppearance", "pageDimensions", "pageBehaviour", "pageBuild",
                       "pageGeneralHelp", "pageVarFile", "pagePrinting", "pageExec", "pageVarSave",
                       "pageBuilding"}};
    Button btFiles{"btFiles", "Files"}, btAppearance{"btAppearance", "Appearance"},
        btDimensions{"btDimensions", "Dimensions"}, btBehaviour{"btBehaviour", "Behaviour"},
        btBuild{"btBuild", "Build"}, btGeneralHelp{"btGeneralHelp", "Help", "General help"};
    Button btFileMenu{"btFileMenu", "", "File menu"};
    Button qbtVarFile{"qbtVarFile", "", "Use date and time"}, qbtPrinting{"qbtPrinting", "", "Printing options"},
        btExec{"btExec", "", "External File Launch"}, qbtVarSave{"qbtVarSave", "", "Movie variable storage"};
    Button qbtPreview{"qbtPreview", "Preview", "Preview the projector"};
    Button qbtBuild{"qbtBuild", "Build", "Build VexelSCREEN Projector"};
    ButtonGroup headerButtons, bottomButtons;
    MenuItem SaveMovie{"SaveMovie", "Save movie..."}, SaveMovieCompressed{"SaveMovieCompressed", "Save compressed movie..."};
    MenuItem Saveas{"Saveas", "Save project"}, Load{"Load", "Load project"}, About1{"About1", "About"},
        Close1{"Close1", "Exit"};
    Edit lbBusyLabel{"lbBusyLabel"};
    // The busy page's Cancel: shown during a build or a preview (a save or a
    // load is finished first). A click asks the running operation to stop at
    // its next look at the window's messages, within a file that is being
    // compressed too; it then unwinds as a close of the window would.
    Button btCancel{"btBusyCancel", "Cancel", "Stop building"};
    void btCancelClick() { cancelRequested_ = true; }

    // ---- Files page
    FileNameEdit edFlashProjector{"edFlashProjector", "Flash projector file: "};
    Panel DragDropPorjector{"DragDropPorjector"};
    Panel paProjectorInfo{"paProjectorInfo"};
    PropertyGrid pgMovieInfo{"pgMovieInfo"};
    Panel paAddFiles{"paAddFiles", "Select the additional files that are needed by the Flash projector file, if any:"};
    FileListView lvAddFiles{"lvAddFiles"};
    ImageList AddFilesIcons;
    Button sbAddAddFiles{"sbAddAddFiles", "", "Add files"}, sbRemoveAddFile{"sbRemoveAddFile", "", "Remove files"};
    MenuItem PopupAddFilesDelete{"Delete1", "Delete"};

    // ---- Appearance page
    RadioGroup shapeGroup, borderGroup;
    RadioButton rbRectangle{"rbRectangle", "Standard rectangle", shapeGroup, true};
    RadioButton rbInsDesktop{"rbInsDesktop", "Desktop as background", shapeGroup};
    RadioButton rbShape{"rbShape", "Get shape from image", shapeGroup};
    Button btEditShape{"btEditShape", "Edit shape ..."};
    Panel paBorder{"paBorder"};
    RadioButton rbBorderNone{"rbBorderNone", "No border", borderGroup};
    RadioButton rbBorderOnly{"rbBorderOnly", "Border only", borderGroup};
    RadioButton rbBorderTool{"rbBorderTool", "Small caption", borderGroup};
    RadioButton rbBorderCaption{"rbBorderCaption", "Standard caption", borderGroup, true};
    Edit edCaption{"edCaption", "Caption / Taskbar text: "};
    CheckBox cbHideCursor{"cbHideCursor", "Hide mouse-pointer"};
    Panel paStayOnTop{"paStayOnTop"};
    CheckBox cbStayOnTop{"cbStayOnTop", "Stay on top"};
    Panel paShowInTaskbar{"paShowInTaskbar"};
    CheckBox cbShowInTaskbar{"cbShowInTaskbar", "Show in taskbar", true};

    // ---- Dimensions page
    RadioGroup sizeGroup, xGroup, yGroup;
    Panel paSize{"paSize"};
    RadioButton rbMaximized{"rbMaximized", "Maximized (Fullscreen)", sizeGroup};
    RadioButton rbUseFlash{"rbUseFlash", "Use Flash movie's size", sizeGroup, true};
    RadioButton rbCustomSize{"rbCustomSize", "Use custom", sizeGroup};
    Panel paCustomSize{"paCustomSize"};
    SpinEdit seWidth{"seWidth", "Width:", 550, 55, 5000};
    SpinEdit seHeight{"seHeight", "Height:", 400, 40, 5000};
    Panel paPosition{"paPosition"};
    RadioButton rbAllignLeft{"rbAllignLeft", "Screen left", xGroup};
    RadioButton rbAllignXCenter{"rbAllignXCenter", "Screen center", xGroup, true};
    RadioButton rbAllignRight{"rbAllignRight", "Screen right", xGroup};
    RadioButton rbXposCustom{"rbXposCustom", "Use custom", xGroup};
    RadioButton rbAllignTop{"rbAllignTop", "Screen top", yGroup};
    RadioButton rbAllignYCenter{"rbAllignYCenter", "Screen center", yGroup, true};
    RadioButton rbAllignBottom{"rbAllignBottom", "Screen bottom", yGroup};
    RadioButton rbYposCustom{"rbYposCustom", "Use custom", yGroup};
    Panel paCustomPos{"paCustomPos"};
    SpinEdit seLeft{"seLeft", "Left:", 0};
    SpinEdit seTop{"seTop", "Top:", 0};
    Panel paResizeable{"paResizeable"};
    CheckBox cbResizeable{"cbResizeable", "Resizeable", true};
    CheckBox cbKeepRatio{"cbKeepRatio", "Keep ratio while resizing", true};

    // ---- Behaviour page
    RadioGroup leftGroup, rightGroup, keyGroup;
    RadioButton rbLAllow{"rbLAllow", "Send click to Flash movie", leftGroup, true};
    RadioButton rbLDrag{"rbLDrag", "Drag window", leftGroup};
    RadioButton rbLIgnore{"rbLIgnore", "Do nothing", leftGroup};
    RadioButton rbRAllow{"rbRAllow", "Show Flash menu", rightGroup};
    RadioButton rbRPopup{"rbRPopup", "Show Window menu", rightGroup, true};
    RadioButton rbRIgnore{"rbRIgnore", "Do nothing", rightGroup};
    RadioButton rbKAllow{"rbKAllow", "Send key to Flash movie", keyGroup, true};
    RadioButton rbKIgnore{"rbKIgnore", "Do nothing", keyGroup};
    CheckBox cbCloseOnEscape{"cbCloseOnEscape", "Quit on Escape", true};
    CheckBox cbDisablescreensaver{"cbDisablescreensaver", "Disable screensaver", true};
    CheckBox cbDisableALTTAB{"cbDisableALTTAB", "Disable ALT-TAB and CTRL-ALT-DEL"};

    // ---- Build page
    FileNameEdit OutputProjector{"OutputProjector", "New projector filename and path:"};
    FileNameEdit OpenIcon{"OpenIcon", "Projector icon:"};
    IconImage imIcon{"imIcon"};
    SpinEdit seVI_1{"seVI_1", "Major Version:", 1}, seVI_2{"seVI_2", "Minor Version:", 0},
        seVI_3{"seVI_3", "Release:", 0}, seVI_4{"seVI_4", "Build:", 0};
    PropertyGrid pgVI{"pgVI"};
    TrackBar tbCompression{"tbCompression", "Projector launch speed vs. Compression intensity", 1, 4, 3};
    // Signing of a build (never of a preview). Only the certificate's name
    // is remembered; the password is asked at each build and kept nowhere.
    FileNameEdit edSignCertificate{"edSignCertificate", "Sign with certificate: "};
    Edit edSignDescription{"edSignDescription", "Signature description: "};
    Edit edSignTimestamp{"edSignTimestamp", "Timestamp server (optional): "};

    // ---- Date/time page and the help pages
    RichText edDateTimeInfo{"edDateTimeInfo"};
    CheckBox cbVarFile{"cbVarFile", "Save date and time of launch as variables to a text file:"};
    Edit edVarFilename{"edVarFilename", "Filename for textfile:", "Datetime.txt"};
    PropertyGrid pgDateTime{"pgDateTime"};
    Button btCreateSampleVar{"btCreateSampleVar", "Create a sample file"};
    RichText edPrintingInfo{"edPrintingInfo"}, edExecInfo{"edExecInfo"}, edVarSaveInfo{"edVarSaveInfo"},
        edGeneralHelp{"edGeneralHelp"};

    // ---- the dialogs' remembered names (the settings file keeps them)
    std::string OpenProjectFileName, SaveProjectFileName, SaveSampleFileName;
    // The standalone player that the last projector made of a bare movie took.
    std::string StandalonePlayer;
    std::string OpenProjectFolder;

    // ---- start
    // Runs once when the window is created, with the program's arguments
    // (without the program's own name).
    void FormCreate(const std::vector<std::string>& arguments);
    // Runs each time the window is shown; acts the first time only.
    void FormShow();
    // The window closes: the remembered file names are written.
    void FormClose();

    // ---- the settings mapping and the page buttons
    void SetControls();
    void btFilesClick() { ShowPage("pageFiles", &btFiles); }
    void btAppearanceClick() { ShowPage("pageAppearance", &btAppearance); }
    void btDimensionsClick() { ShowPage("pageDimensions", &btDimensions); }
    void btBehaviourClick() { ShowPage("pageBehaviour", &btBehaviour); }
    void btBuildClick() { ShowPage("pageBuild", &btBuild); }
    void btGeneralHelpClick() { ShowPage("pageGeneralHelp", &btGeneralHelp); }
    void qbtVarFileClick() { ShowPage("pageVarFile", &qbtVarFile); }
    void qbtPrintingClick() { ShowPage("pagePrinting", &qbtPrinting); }
    void btExecClick() { ShowPage("pageExec", &btExec); }
    void qbtVarSaveClick() { ShowPage("pageVarSave", &qbtVarSave); }
    void btFileMenuClick();
    void About1Click();
    void Close1Click();
    void pageBuildingShow();

    // ---- projector file, shape, icon
    // The inspection of the projector file `name` (the name is emptied when
    // the file is missing or refused; `action` says whether the field takes it).
    void edFlashProjectorAfterDialog(std::string& name, bool& action);
    void InspectChosenProjector();  // on the name in edFlashProjector
    // The kind of the chosen projector's player as its last inspection found
    // it; 32-bit while no projector is chosen.
    ExecutableKind PlayerKind() const;
    // A file of the Tools folder family that a build for the chosen player
    // takes ("tools", or "tools/x64" for a 64-bit player).
    std::string BuildToolsFile(std::string_view name) const;
    void DragDropPorjectorFileDropped(const std::string& fileName);
    // The browse button of edFlashProjector.
    void edFlashProjectorBrowse();
    // The movie of a Flash projector, a built projector or a project, saved
    // as a movie file: uncompressed, or compressed with zlib ("CWS").
    void SaveMovieClick();
    void SaveMovieCompressedClick();
    // The projector the build packs when the chosen one's movie is compressed:
    // made in memory with the movie unpacked. Null for an uncompressed movie,
    // which the inspection rewrites in the file itself.
    const std::shared_ptr<const std::vector<std::uint8_t>>& UnpackedProjector() const { return unpackedProjector_; }
    void rbShapeClick();
    void btEditShapeClick();
    void rbRectangleClick();
    void SetIcon(const std::string& fileName);
    void OpenIconAfterDialog(const std::string& fileName);
    void OpenIconDropFiles(const std::string& fileName);
    void OpenIconBrowse();
    void OutputProjectorBrowse();
    void edSignCertificateBrowse();
    // A key typed in the output name: Build is enabled only while it names
    // something. Every view calls it on each edit of the field.
    void OutputProjectorEdited(const std::string& text);

    // ---- additional files
    void AddAddFiles(const std::vector<std::string>& names);
    int AddAddIcon(const std::string& fileName);
    void sbAddAddFilesClick();
    void paAddFilesFileDropped(const std::string& fileName);
    void sbRemoveAddFileClick();

    // ---- version information
    void SetVersionInfoRec(TVersionInfoRec& rec) const;
    void GetVersionInfoRec(const TVersionInfoRec& rec);

    // ---- build and preview
    // Builds a projector into `fileName`; fails as its steps do, leaving a
    // previous file of that name as it was. A name that is the same file as
    // one of the build's inputs is refused before anything is written.
    BuildReport BuildProjector(const std::string& fileName);
    // The same, but the output stays a temporary file in `output` for the
    // caller to commit (with others, through CommitTogether); the Build
    // number does not advance.
    BuildReport BuildProjectorPending(const std::string& fileName, std::unique_ptr<AtomicFile>& output);
    // What a build (or, when `build` is false, a project save) reads besides
    // the settings: the Flash projector, the additional files, the icon file,
    // the shape picture, and for a build the Tools folder's programs and the
    // project the settings were loaded from. Fails, naming both files, when
    // `output` is one of them, whatever the spelling of either name.
    void RefuseOutputOverInput(const std::string& output, bool build) const;
    void qbtBuildClick();
    void qbtPreviewClick();
    // The name of the next preview file.
    std::string PreviewFileName();

    // ---- project files
    void SaveasClick();
    void LoadClick();
    // Writes the project into `fileName` (through a temporary file beside
    // it); a name that is the same file as one of its inputs is refused.
    void SaveProject(const std::string& fileName);
    // The same, leaving the project uncommitted for the caller. Names that
    // the file record cannot keep whole are refused first.
    std::unique_ptr<AtomicFile> SaveProjectPending(const std::string& fileName);
    // The project that the last load read from (empty before any load).
    const std::string& LoadedProject() const { return loadedProject_; }
    void LoadProject(const std::string& fileName);
    void ReadSP();
    std::string RetrieveFile(TPackedFile& file);

    // ---- date/time variable file
    void btCreateSampleVarClick();
    void CreateVarFile(const std::string& fileName, bool openAfterwards);

    // Runs a handler of a user action: a failure that it does not handle
    // itself (any standard exception) is shown as the application's general
    // error report; a cancelled one ends quietly.
    void Run(const std::function<void()>& handler);

    UserInterface& ui() { return ui_; }
    Shell& shell() { return shell_; }
    const GeneratorPaths& paths() const { return paths_; }

private:
    // The radio buttons of a box and the value of an enumeration each stands
    // for, in the order the mapping tests them.
    template <class E>
    struct Choice {
        RadioButton* button;
        E value;
    };
    std::array<Choice<TspHPosition>, 4> PositionHChoices();
    std::array<Choice<TspVPosition>, 4> PositionVChoices();
    std::array<Choice<TspBorder>, 4> BorderChoices();
    std::array<Choice<TspLeftClick>, 3> LeftClickChoices();
    std::array<Choice<TspRightClick>, 3> RightClickChoices();
    std::array<Choice<TspKeyboard>, 2> KeyboardChoices();
    // The mapping of one box: the value of the checked button (none checked:
    // the value stays), and back.
    template <class E, std::size_t N>
    static void FromChoices(const std::array<Choice<E>, N>& choices, E& value) {
        for (const Choice<E>& c : choices)
            if (c.button->checked()) value = c.value;
    }
    template <class E, std::size_t N>
    static void ToChoices(const std::array<Choice<E>, N>& choices, E value) {
        for (const Choice<E>& c : choices) c.button->setChecked(value == c.value);
    }

    void ShowPage(const std::string& page, Button* button);
    void BringBusyPage(const std::string& text, int& previousPage, bool cancellable = true);
    bool ProjectorChosen() const { return !edFlashProjector.fileName.empty(); }
    // With a certificate chosen, asks for its password and sets `signing`
    // for the build; false when the user cancels (nothing is to be built).
    // Without one, `signing` stays as it is.
    bool PrepareSigning();
    void RestoreStoredValues();
    void LoadHelpDocuments();
    void ShowMainIcon();
    void WaitForProgram(StartedProgram& program);
    void RunBuilt(const std::string& fileName);
    void RunPreview(const std::string& fileName);
    PackingObserver BusyObserver();
    std::string ProjectCaption(const std::string& projectFile) const;
    // The message that refuses a retrieval into `target` when that is the
    // project being loaded; nothing otherwise.
    std::optional<std::string> ReplacesLoadedProject(const std::string& target) const;

    UserInterface& ui_;
    Shell& shell_;
    SettingsStore& store_;
    WindowHost& host_;
    GeneratorPaths paths_;
    std::unique_ptr<s_TVexelProjector> settings_;
    TImage shapeImageRecord_{"ShapeImage"};
    std::string loadedProject_;
    ExecutableKind player_ = ExecutableKind::Bits32;
    std::shared_ptr<const std::vector<std::uint8_t>> unpackedProjector_;
    // A bare movie chosen as the projector: asks for a standalone player and
    // for the file of the projector made of both, and writes it. Returns that
    // file's name, or nothing when the user gave up.
    std::optional<std::string> MakeProjectorOfMovie(const std::string& movie);
    void SaveMovieAs(MovieCompression compression);
    // The Flash projector as a build or a project save packs it.
    void PackMainFile(PackingBatch& batch);
    bool cancelRequested_ = false;
};

// The general error report of a failure: its text, with a full stop added when
// it does not end with one.
std::string GeneralErrorText(const std::string& text);
// The same for any standard exception (running out of memory has its own text).
std::string GeneralErrorText(const std::exception& failure);

}  // namespace vs
