#pragma once
// The generator's main window (TfVexelSCREEN): the header bar with its page
// buttons and the file menu button, eleven pages without tabs, and the bottom
// bar with its page buttons, Preview and Build. A thin view over
// TfVexelSCREENModel: every widget carries the name of its control and shows
// its model object; every user action goes to the model's handler, after
// which the whole model is copied into the widgets again. The window is also
// the model's host: it shows the shape window, the about window and the file
// menu, and hides itself while a built projector runs.
#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/generator_model.h"
#include "app/window_host.h"
#include "gui/qt/view_interface.h"

class QAbstractButton;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QToolButton;

namespace vs::gui {

class BusyPanel;
class FileList;
class FileNameEdit;
class PropertyGrid;
class RichTextView;
class TfAbout;
class TfShapeSelect;
class TrackBar;

class TfVexelSCREEN : public QMainWindow, public WindowHost {
    Q_OBJECT
public:
    static constexpr const char* kPlacementName = "TfVexelSCREEN";

    // The ports outlive the window. Dialogs and messages go to `ui`.
    TfVexelSCREEN(UserInterface& ui, Shell& shell, SettingsStore& store, GeneratorPaths paths,
                  QWidget* parent = nullptr);
    ~TfVexelSCREEN() override;

    // Creates the model's state (help pages, icon, the pending project named
    // by the first argument), restores the window's placement and shows it;
    // the first show then runs the model's first-show steps.
    void start(const std::vector<std::string>& arguments);

    TfVexelSCREENModel& model() { return *model_; }
    TfShapeSelect* shapeWindow() const { return shapeWindow_; }
    QMenu* fileMenu() const { return fileMenu_; }
    // Copies the whole model into the widgets.
    void refresh();
    // Runs a user action through the model and shows the result. An action
    // that arrives while another runs (events let through during a build) is
    // dropped. A close asked for meanwhile closes the window afterwards; a
    // cancellable action (a build, a preview) is cancelled by it at once.
    void forward(const std::function<void()>& action, bool cancellable = false);
    // Whether a forwarded action is running.
    bool acting() const { return acting_; }

    // WindowHost
    void showShapeWindowModal() override;
    void closeShapeWindow() override;
    void showAboutModal() override;
    void showFileMenu() override;
    void hideMainWindow() override;
    void showMainWindow() override;
    void closeMainWindow() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Building the widgets; each binder names the widget after its control
    // and registers what refresh() copies into it.
    QWidget* buildHeader();
    QWidget* buildBottomBar();
    QWidget* buildFilesPage();
    QWidget* buildAppearancePage();
    QWidget* buildDimensionsPage();
    QWidget* buildBehaviourPage();
    QWidget* buildBuildPage();
    QWidget* buildDateTimePage();
    QWidget* buildHelpPage(RichText& text);
    QWidget* buildBusyPage();
    void buildFileMenu();

    void bindControl(QWidget* widget, const Control& control);
    QWidget* panel(Panel& panel, QWidget* widget);
    QToolButton* pageButton(Button& button, ButtonGroup& group, const char* glyph, std::function<void()> click);
    QAbstractButton* button(QAbstractButton* widget, Button& button, std::function<void()> click, bool hintAsText = false,
                            bool cancellable = false);
    QRadioButton* radio(RadioButton& rb, QWidget* parent);
    QCheckBox* check(CheckBox& cb, QWidget* parent);
    QLineEdit* edit(Edit& e, QWidget* parent);
    FileNameEdit* fileName(vs::FileNameEdit& field, QWidget* parent, std::function<void()> browse);
    QSpinBox* spin(SpinEdit& se, QWidget* parent);
    PropertyGrid* grid(vs::PropertyGrid& g, QWidget* parent);
    QLabel* label(const Control& control, QWidget* buddy, QWidget* parent);
    QAction* menuItem(MenuItem& item, std::function<void()> click);

    void refreshFileList();

    ViewInterface ui_;
    SettingsStore& store_;
    std::unique_ptr<TfVexelSCREENModel> model_;
    std::vector<std::function<void()>> refreshers_;
    bool acting_ = false;
    bool cancellable_ = false;
    bool closeRequested_ = false;
    bool refreshing_ = false;
    bool shownOnce_ = false;
    bool closing_ = false;
    int shownPage_ = -1;

    QStackedWidget* pages_ = nullptr;
    BusyPanel* busy_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    FileList* files_ = nullptr;
    std::vector<QIcon> fileIcons_;
    TfShapeSelect* shapeWindow_ = nullptr;
};

}  // namespace vs::gui
