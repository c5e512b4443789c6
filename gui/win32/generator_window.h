#pragma once
// The generator's main window (TfVexelSCREEN) in native controls: the header
// bar with its page buttons and the file menu button, eleven pages of which
// one shows at a time, and the bottom bar with its page buttons, Preview and
// Build. A thin view over TfVexelSCREENModel: every control shows its model
// object with the model's caption, and every user action goes to the model's
// handler, after which the whole model is copied into the controls again. The
// window is also the model's host: it shows the shape window, the about
// window and the file menu, and hides itself while a built projector runs.
#include <memory>
#include <string>
#include <vector>

#include "app/generator_model.h"
#include "app/window_host.h"
#include "gui/win32/form.h"
#include "gui/win32/win32_ports.h"

#include <shellapi.h>

namespace vs::win32 {

class ShapeWindow;

class GeneratorWindow : public Form, public WindowHost {
public:
    static constexpr const char* kPlacementName = "TfVexelSCREEN";

    // The ports outlive the window.
    GeneratorWindow(Win32UserInterface& ui, Shell& shell, SettingsStore& store, GeneratorPaths paths);
    ~GeneratorWindow() override;

    // Creates the model's state (help pages, icon, the pending project named
    // by the first argument), restores the window's placement and shows it;
    // the first show then runs the model's first-show steps.
    void start(const std::vector<std::string>& arguments, int showCommand);

    TfVexelSCREENModel& model() { return *model_; }
    // Keyboard navigation for this window and the shape window.
    bool translateAny(MSG& msg);

    // WindowHost
    void showShapeWindowModal() override;
    void closeShapeWindow() override;
    void showAboutModal() override;
    void showFileMenu() override;
    void hideMainWindow() override;
    void showMainWindow() override;
    void closeMainWindow() override;

protected:
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    void build();
    void buildHeader(HWND bar);
    void buildBottomBar(HWND bar);
    void buildFilesPage(HWND page);
    void buildAppearancePage(HWND page);
    void buildDimensionsPage(HWND page);
    void buildBehaviourPage(HWND page);
    void buildBuildPage(HWND page);
    void buildDateTimePage(HWND page);
    void buildHelpPage(HWND page, RichText& text);
    void buildBusyPage(HWND page);
    void pageHeading(HWND page, const std::string& title, const std::string& subtitle);
    void refreshFileList();
    void dropFiles(HDROP drop);
    void close();
    // The pictures whose size follows the resolution.
    void scalePictures();

    Win32UserInterface& ui_;
    SettingsStore& store_;
    std::unique_ptr<TfVexelSCREENModel> model_;
    std::unique_ptr<ShapeWindow> shapeWindow_;
    std::vector<HWND> pages_;
    std::vector<std::set<wchar_t>> pageMnemonics_;
    HWND busyProgress_ = nullptr;
    HWND filesList_ = nullptr;
    HIMAGELIST fileImages_ = nullptr;
    std::size_t fileIconsShown_ = 0;
    HWND projectorDrop_ = nullptr, addFilesDrop_ = nullptr, iconDrop_ = nullptr, iconField_ = nullptr;
    HWND iconPreview_ = nullptr;
    HWND logo_ = nullptr;
    HICON logoIcon_ = nullptr;
    std::shared_ptr<TIcon> previewShown_;
    HICON shownIcon_ = nullptr;
    HICON windowIconLarge_ = nullptr, windowIconSmall_ = nullptr;
    HACCEL accelerators_ = nullptr;
    int shownPage_ = -1;
    bool closing_ = false;
    bool shownOnce_ = false;
};

}  // namespace vs::win32
