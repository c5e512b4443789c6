// The generator window bound to its model, driven as a user drives it:
// clicks, typing, drops and keys on the real widgets, with the dialogs and
// questions answered by a scripted port.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <tuple>

#include "gui/qt/application.h"
#include "gui/qt/color_swatch.h"
#include "gui/qt/file_list.h"
#include "gui/qt/file_name_edit.h"
#include "gui/qt/generator_window.h"
#include "gui/qt/picture_view.h"
#include "gui/qt/property_grid.h"
#include "gui/qt/qt_ports.h"
#include "gui/qt/rich_text_view.h"
#include "gui/qt/shape_window.h"
#include "gui/qt/stored_text.h"
#include "gui_test.h"
#include "support/bmp_builder.h"
#include "support/le_bytes.h"
#include "support/pe_builder.h"
#include "support/projector_builder.h"
#include "support/scripted_ports.h"
#include "support/zlib_reference.h"

using vs::GeneratorPaths;
using vs::LocalDateTime;
using vs::Rect;
using vs::TfVexelSCREENModel;
using vs::TspBorder;
using vs::TStoreWinRegion;
using namespace vs::gui;
namespace fs = std::filesystem;
namespace test = vs::test;

namespace {

// A window over scripted ports, in a folder of its own that holds the
// generator's Docs (unless asked not to) and the test's files.
struct Session {
    QTemporaryDir dir;
    test::ScriptedInterface ui;
    test::ScriptedShell shell;
    test::MemorySettingsStore store;
    std::unique_ptr<TfVexelSCREEN> window;

    explicit Session(bool docs = true) {
        fs::create_directories(path("generator"));
        if (docs) fs::copy(VS_DOCS_DIR, path("generator/Docs"), fs::copy_options::recursive);
    }
    ~Session() {
        if (window) window->close();
    }
    std::string path(const std::string& name) const { return QDir(dir.path()).filePath(QString::fromStdString(name)).toStdString(); }

    // Creates and shows the window; true once its first show has run.
    bool start(const std::vector<std::string>& arguments = {}) {
        window = std::make_unique<TfVexelSCREEN>(ui, shell, store, GeneratorPaths{path("generator") + "/", path("") + "/"});
        window->start(arguments);
        return QTest::qWaitFor([&] { return !window->model().firstShow; });
    }
    TfVexelSCREENModel& model() { return window->model(); }
    template <class W = QWidget>
    W* w(const char* name) const {
        W* found = window->findChild<W*>(QString::fromUtf8(name));
        if (!found) qWarning("no widget %s", name);
        return found;
    }
    // Near the left edge: a radio button or check box takes clicks only on
    // its indicator and text, not on the rest of its row.
    void click(const char* name) {
        auto* b = w<QAbstractButton>(name);
        QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(qMin(b->width() / 2, 8), b->height() / 2));
    }
    QString page() const { return w<QStackedWidget>("PageControl")->currentWidget()->objectName(); }

    std::string projector(const std::string& name = "movie.exe") {
        test::SwfBuilder movie;
        movie.frame = {0, 640 * 20, 0, 480 * 20};
        movie.showFrame();
        const std::string file = path(name);
        test::WriteProjectorFile(file, test::BuildProjector(movie.build()));
        return file;
    }
    std::string textFile(const std::string& name, const char* text = "some bytes") {
        QFile f(QString::fromStdString(path(name)));
        f.open(QIODevice::WriteOnly);
        f.write(text);
        return path(name);
    }
    void dropProjector(const std::string& file) {
        test::DropFiles(w<FileNameEdit>("edFlashProjector")->lineEdit(), {QString::fromStdString(file)});
    }
    // The engine and the tools that a build takes from the generator's folder.
    void installTools() {
        fs::create_directories(path("generator/tools"));
        test::PeBuilder()
            .IconImage(1, test::MakeIconImage(32, 32, 8, 7))
            .IconGroup(1, {1})
            .Version(test::VersionSpec{})
            .Write(path("generator/tools/VSengine.exe"));
        for (const char* tool : {"mhproc.dll", "VSP.exe", "VSE.exe", "VSS.exe", "VSD.exe"})
            textFile(std::string("generator/tools/") + tool, tool);
    }
};

bool shown(QWidget* w) { return w && !w->isHidden(); }

// A key that types `text`, as a keyboard layout that has it delivers it.
void typeText(QWidget* target, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

// The focus leaves the widget, as when the user clicks elsewhere.
void leave(QWidget* target) {
    QFocusEvent out(QEvent::FocusOut, Qt::MouseFocusReason);
    QApplication::sendEvent(target, &out);
}

std::vector<std::string> folderContents(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

class Window : public QObject {
    Q_OBJECT
private slots:
    void startsWithOnlyFilesHelpAndTheMenu() {
        Session s;
        QVERIFY(s.start());
        QCOMPARE(s.window->windowTitle(), QString("VexelSCREEN 1.0"));
        QCOMPARE(s.page(), QString("pageFiles"));
        // Every control of the model has its widget, named after it.
        for (const char* name :
             {"btFiles", "btAppearance", "btDimensions", "btBehaviour", "btBuild", "btGeneralHelp", "btFileMenu",
              "qbtVarFile", "qbtPrinting", "btExec", "qbtVarSave", "qbtPreview", "qbtBuild", "edFlashProjector",
              "DragDropPorjector", "paProjectorInfo", "pgMovieInfo", "paAddFiles", "lvAddFiles", "sbAddAddFiles",
              "sbRemoveAddFile", "rbRectangle", "rbInsDesktop", "rbShape", "btEditShape", "paBorder", "rbBorderNone",
              "rbBorderOnly", "rbBorderTool", "rbBorderCaption", "edCaption", "cbHideCursor", "paStayOnTop",
              "cbStayOnTop", "paShowInTaskbar", "cbShowInTaskbar", "paSize", "rbMaximized", "rbUseFlash",
              "rbCustomSize", "paCustomSize", "seWidth", "seHeight", "paPosition", "rbAllignLeft", "rbAllignXCenter",
              "rbAllignRight", "rbXposCustom", "rbAllignTop", "rbAllignYCenter", "rbAllignBottom", "rbYposCustom",
              "paCustomPos", "seLeft", "seTop", "paResizeable", "cbResizeable", "cbKeepRatio", "rbLAllow", "rbLDrag",
              "rbLIgnore", "rbRAllow", "rbRPopup", "rbRIgnore", "rbKAllow", "rbKIgnore", "cbCloseOnEscape",
              "cbDisablescreensaver", "cbDisableALTTAB", "OutputProjector", "OpenIcon", "imIcon", "seVI_1", "seVI_2",
              "seVI_3", "seVI_4", "pgVI", "tbCompression", "edDateTimeInfo", "cbVarFile", "edVarFilename",
              "pgDateTime", "btCreateSampleVar", "edPrintingInfo", "edExecInfo", "edVarSaveInfo", "edGeneralHelp",
              "lbBusyLabel", "pageFiles", "pageBuilding"})
            QVERIFY2(s.window->findChild<QWidget*>(name), name);

        QStringList usable;
        for (const char* name : {"btFiles", "btAppearance", "btDimensions", "btBehaviour", "btBuild", "btGeneralHelp",
                                 "btFileMenu", "qbtVarFile", "qbtPrinting", "btExec", "qbtVarSave", "qbtPreview", "qbtBuild"})
            if (s.w(name)->isEnabled()) usable << name;
        QCOMPARE(usable, (QStringList{"btFiles", "btGeneralHelp", "btFileMenu"}));
        QVERIFY(s.w<QAbstractButton>("btFiles")->isChecked());
        QVERIFY(!s.window->findChild<QAction*>("Saveas")->isEnabled());
        QVERIFY(s.window->findChild<QAction*>("Load")->isEnabled());
        QVERIFY(!shown(s.w("paAddFiles")) && !shown(s.w("paProjectorInfo")));

        // Captions, defaults and limits as the model has them.
        QCOMPARE(s.w<QRadioButton>("rbUseFlash")->text(), QString("Use Flash movie's size"));
        QVERIFY(s.w<QRadioButton>("rbUseFlash")->isChecked());
        QCOMPARE(s.w<QSpinBox>("seWidth")->value(), 550);
        QCOMPARE(s.w<QSpinBox>("seWidth")->minimum(), 55);
        QCOMPARE(s.w<QSpinBox>("seHeight")->maximum(), 5000);
        QCOMPARE(s.w<FileNameEdit>("OutputProjector")->fileName(), QString("VexelSCREEN Projector.exe"));
        QCOMPARE(s.w<QSlider>("tbCompression")->value(), 3);
        QCOMPARE(s.w<QAbstractButton>("qbtVarFile")->toolTip(), QString("Use date and time"));
        QVERIFY(!s.w<QLabel>("imIcon")->pixmap().isNull());  // the generator's own icon
    }

    void pagesFollowTheirButtons() {
        Session s;
        QVERIFY(s.start());
        s.dropProjector(s.projector());
        const std::pair<const char*, const char*> pages[] = {
            {"btAppearance", "pageAppearance"}, {"btDimensions", "pageDimensions"}, {"btBehaviour", "pageBehaviour"},
            {"btBuild", "pageBuild"},           {"btGeneralHelp", "pageGeneralHelp"}, {"qbtVarFile", "pageVarFile"},
            {"qbtPrinting", "pagePrinting"},    {"btExec", "pageExec"},             {"qbtVarSave", "pageVarSave"},
            {"btFiles", "pageFiles"}};
        for (const auto& [button, page] : pages) {
            s.click(button);
            QCOMPARE(s.page(), QString(page));
            QVERIFY2(s.w<QAbstractButton>(button)->isChecked(), button);
        }
        // Each bar is a group: one button down in each, whatever the other shows.
        QVERIFY(s.w<QAbstractButton>("qbtVarSave")->isChecked());
        QVERIFY(!s.w<QAbstractButton>("qbtVarFile")->isChecked());
        QVERIFY(!s.w<QAbstractButton>("btGeneralHelp")->isChecked());
        // Pressing the button that is down keeps it down.
        s.click("btFiles");
        QVERIFY(s.w<QAbstractButton>("btFiles")->isChecked());
    }

    void visibilityFollowsTheClicks() {
        Session s;
        QVERIFY(s.start());
        s.dropProjector(s.projector());
        s.click("btAppearance");
        QVERIFY(!shown(s.w("paShowInTaskbar")));
        s.click("rbBorderTool");
        QVERIFY(shown(s.w("paShowInTaskbar")));
        QVERIFY(!s.w<QRadioButton>("rbBorderCaption")->isChecked());
        s.click("rbBorderNone");
        QVERIFY(!shown(s.w("paShowInTaskbar")));
        QVERIFY(!shown(s.w("paResizeable")));
        // Clicking the checked radio button leaves it checked.
        s.click("rbBorderNone");
        QVERIFY(s.w<QRadioButton>("rbBorderNone")->isChecked());

        s.click("btDimensions");
        QVERIFY(!shown(s.w("paCustomSize")));
        s.click("rbCustomSize");
        QVERIFY(shown(s.w("paCustomSize")));
        s.click("rbMaximized");
        QVERIFY(!shown(s.w("paCustomSize")) && !shown(s.w("paPosition")));
        s.click("rbUseFlash");
        QVERIFY(shown(s.w("paPosition")) && !shown(s.w("paCustomPos")));
        s.click("rbXposCustom");
        QVERIFY(shown(s.w("paCustomPos")));
        QVERIFY(s.w("seLeft")->isEnabled() && !s.w("seTop")->isEnabled());

        // Typing reaches the model at once, before any handler runs.
        auto* caption = s.w<QLineEdit>("edCaption");
        caption->setFocus();
        QTest::keyClicks(caption, "My movie");
        QCOMPARE(s.model().edCaption.text, std::string("My movie"));
        auto* left = s.w<QSpinBox>("seLeft");
        left->selectAll();
        QTest::keyClicks(left, "-120");
        QCOMPARE(s.model().seLeft.value(), -120);
        s.click("cbHideCursor");  // a handler that maps the controls
        QCOMPARE(s.model().Settings().CaptionText, std::string("My movie"));
        QCOMPARE(s.model().Settings().WindowX, -120);
        QVERIFY(s.model().Settings().HideCursor);
        QCOMPARE(s.model().Settings().BorderStyle, TspBorder::spbNone);
        QVERIFY(s.ui.messages.empty());
    }

    void spinFieldsTakeWhatIsTypedAndSettleToTheirLimits() {
        Session s;
        QVERIFY(s.start());
        s.dropProjector(s.projector());
        s.click("btDimensions");
        s.click("rbCustomSize");
        s.click("rbXposCustom");
        s.click("rbYposCustom");
        auto retype = [&](const char* name, const char* text) {
            auto* field = s.w<QSpinBox>(name);
            field->setFocus();
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Backspace);
            QTest::keyClicks(field, text);
            return field;
        };
        // Every key counts while typing, also beyond the limits.
        QSpinBox* width = retype("seWidth", "6000");
        QCOMPARE(width->text(), QString("6000"));
        QCOMPARE(s.model().seWidth.text, std::string("6000"));
        leave(width);
        QCOMPARE(width->text(), QString("5000"));
        QCOMPARE(s.model().seWidth.text, std::string("5000"));
        // Below the lower limit, and texts that are no integer: the lower limit.
        const std::tuple<const char*, const char*, const char*> cases[] = {
            {"seWidth", "20", "55"}, {"seHeight", "", "40"}, {"seLeft", "", "0"}, {"seLeft", "-", "0"},
            {"seTop", "-75", "-75"}, {"seVI_2", "7", "7"}};
        for (const auto& [name, typed, settled] : cases) {
            QSpinBox* field = retype(name, typed);
            QCOMPARE(field->text(), QString(typed));
            leave(field);
            QVERIFY2(field->text() == settled, name);
        }
        // Enter settles as well.
        QSpinBox* height = retype("seHeight", "5001");
        QTest::keyClick(height, Qt::Key_Return);
        QCOMPARE(height->text(), QString("5000"));
        // A mapping settles a field that is still being typed in.
        width = retype("seWidth", "3");
        s.window->forward([&] { s.model().SetControls(); });
        QCOMPARE(s.model().Settings().WindowWidth, 55);
        QCOMPARE(width->text(), QString("55"));
        QCOMPARE(s.model().Settings().WindowHeight, 5000);
        QCOMPARE(s.model().Settings().WindowX, 0);
        QCOMPARE(s.model().Settings().WindowY, -75);
        // Letters never make a number: the key is refused.
        QSpinBox* top = retype("seTop", "1x2");
        QCOMPARE(top->text(), QString("12"));
        QVERIFY(s.ui.messages.empty());
    }

    void storedTextsRefuseWhatThePackageCannotHoldAndSaySo() {
        Session s;
        QVERIFY(s.start());
        // A name that came by drop is taken, and its field says what cannot be stored.
        s.dropProjector(s.projector("\xd0\xa4ilm.exe"));  // "Фilm.exe"
        const auto refusal = [](const char* character) {
            return QString::fromUtf8("\"%1\" is not a character of the Windows-1252 code page").arg(QString::fromUtf8(character));
        };
        QCOMPARE(s.w<FileNameEdit>("edFlashProjector")->lineEdit()->toolTip(), refusal("\xd0\xa4"));
        test::DropFiles(s.w("paAddFiles"), {QString::fromStdString(s.textFile("a.txt")),
                                             QString::fromStdString(s.textFile("\xe6\x97\xa5.txt"))});  // "日.txt"
        auto* list = s.w<FileList>("lvAddFiles");
        QVERIFY(!list->topLevelItem(0)->toolTip(0).contains("code page"));
        QVERIFY(list->topLevelItem(1)->toolTip(0).endsWith("\n" + refusal("\xe6\x97\xa5")));

        // Typed: the key is refused, the hint names the character at once.
        auto* caption = s.w<QLineEdit>("edCaption");
        caption->setFocus();
        QTest::keyClicks(caption, "Caf");
        typeText(caption, QString::fromUtf8("\xc3\xa9"));         // é is a Windows-1252 character
        typeText(caption, QString::fromUtf8("\xd0\x9f"));         // П is not
        QCOMPARE(caption->text(), QString::fromUtf8("Caf\xc3\xa9"));
        QCOMPARE(LastRefusal(caption), refusal("\xd0\x9f"));
        QTRY_COMPARE(QToolTip::text(), refusal("\xd0\x9f"));
        typeText(caption, "!");
        QCOMPARE(s.model().edCaption.text, std::string("Caf\xc3\xa9!"));
        QVERIFY(LastRefusal(caption).isEmpty());

        // Pasted: the whole paste is refused; the first character it cannot store is named.
        QLineEdit* output = s.w<FileNameEdit>("OutputProjector")->lineEdit();
        output->selectAll();
        output->insert(QString::fromUtf8("\xe2\x82\xac-\xe6\x97\xa5\xd0\x96.exe"));  // "€-日Ж.exe"
        QCOMPARE(output->text(), QString("VexelSCREEN Projector.exe"));
        QCOMPARE(LastRefusal(output), refusal("\xe6\x97\xa5"));
        QCOMPARE(s.model().OutputProjector.fileName, std::string("VexelSCREEN Projector.exe"));
        s.click("qbtVarFile");
        QLineEdit* varFile = s.w<QLineEdit>("edVarFilename");
        varFile->insert(QString::fromUtf8("\xf0\x9f\x98\x80"));  // an emoji, beyond 16 bits
        QCOMPARE(LastRefusal(varFile), refusal("\xf0\x9f\x98\x80"));

        // The grids' editors refuse in the same way.
        for (const char* name : {"pgVI", "pgDateTime"}) {
            auto* grid = s.w<PropertyGrid>(name);
            const int row = grid->hasTitleRow() ? 1 : 0;
            const QString before = grid->value(row);
            grid->editItem(grid->item(row, 1));
            auto* editor = grid->findChild<QLineEdit*>();
            QVERIFY2(editor, name);
            editor->end(false);
            typeText(editor, QString::fromUtf8("\xd0\x9f"));
            QCOMPARE(editor->text(), before);
            QCOMPARE(LastRefusal(editor), refusal("\xd0\x9f"));
            QTest::keyClick(editor, Qt::Key_Escape);
        }
        QVERIFY(s.ui.messages.empty());
    }

    void closingTheWindowDuringABuildCancelsItAndLeavesNothingBehind() {
        // The close comes when the packing starts, or while its threads run.
        for (int pause : {1, 2}) {
            Session s;
            s.installTools();
            QVERIFY(s.start());
            s.dropProjector(s.projector());
            fs::create_directories(s.path("out"));
            const std::string output = s.textFile("out/out.exe", "the previous build");
            s.model().OutputProjector.fileName = output;
            test::DropFiles(s.w("paAddFiles"), {QString::fromStdString(s.textFile("extra.txt", "a file to pack"))});

            // The user closes the window once the new output is on its way.
            int pauses = 0;
            bool closed = false;
            s.ui.onPendingMessages = [&] {
                if (!closed && folderContents(s.path("out")).size() > 1 && ++pauses == pause) {
                    closed = true;
                    s.window->close();
                }
            };
            s.click("qbtBuild");
            QVERIFY(closed);
            QTRY_VERIFY(!s.window->isVisible());
            QCOMPARE(folderContents(s.path("out")), std::vector<std::string>{"out.exe"});
            QFile previous(QString::fromStdString(output));
            QVERIFY(previous.open(QIODevice::ReadOnly));
            QCOMPARE(previous.readAll(), QByteArray("the previous build"));
            QCOMPARE(s.ui.messages, std::vector<std::string>{});  // neither an error nor the run question
            QCOMPARE(s.model().seVI_4.value(), 0);                 // no build was counted
            QCOMPARE(s.store.values["OutputProjector.FileName"], output);  // the close itself went on
        }
    }

    void theBusyPagesCancelStopsABuildAndBuildFollowsTheOutputName() {
        Session s;
        s.installTools();
        QVERIFY(s.start());
        s.dropProjector(s.projector());
        fs::create_directories(s.path("out"));
        const std::string output = s.textFile("out/out.exe", "the previous build");
        auto* field = s.w<FileNameEdit>("OutputProjector")->lineEdit();
        field->selectAll();
        QTest::keyClicks(field, QString::fromStdString(output));
        QVERIFY(s.w("qbtBuild")->isEnabled());

        // Cancel, clicked on the busy page while the files are packed.
        test::DropFiles(s.w("paAddFiles"), {QString::fromStdString(s.textFile("extra.txt", "a file to pack"))});
        bool cancelled = false;
        s.ui.onPendingMessages = [&] {
            auto* cancel = s.w<QPushButton>("btBusyCancel");
            if (!cancelled && s.page() == "pageBuilding" && folderContents(s.path("out")).size() > 1) {
                QVERIFY(shown(cancel) && cancel->isEnabled());
                QCOMPARE(cancel->text(), QString("Cancel"));
                cancelled = true;
                cancel->click();
            }
        };
        s.click("qbtBuild");
        s.ui.onPendingMessages = nullptr;
        QVERIFY(cancelled);
        QVERIFY(s.window->isVisible());
        QCOMPARE(folderContents(s.path("out")), std::vector<std::string>{"out.exe"});
        QCOMPARE(s.ui.messages, std::vector<std::string>{});  // neither an error nor the run question
        QCOMPARE(s.model().seVI_4.value(), 0);
        QVERIFY(s.page() != "pageBuilding");

        // Emptying the output name disables Build at once, key by key.
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QVERIFY(!s.w("qbtBuild")->isEnabled());
        QTest::keyClicks(field, "o");
        QVERIFY(s.w("qbtBuild")->isEnabled());
    }

    void everyStandardFailureReachesTheGeneralErrorReport() {
        Session s;
        QVERIFY(s.start());
        s.window->forward([] { throw std::out_of_range("vector index out of range"); });
        s.window->forward([] { throw vs::EFOpenError("Cannot open file a.exe."); });
        s.window->forward([] { throw std::bad_alloc(); });
        QCOMPARE(s.ui.messages, (std::vector<std::string>{"error: vector index out of range.",
                                                          "error: Cannot open file a.exe.", "error: Out of memory."}));

        // What escapes an event handler outside the window's actions as well.
        struct Failing : QObject {
            bool event(QEvent*) override { throw std::logic_error("unexpected state"); }
        } failing;
        auto* app = static_cast<GeneratorApplication*>(QApplication::instance());
        std::vector<std::string> reports;
        const auto previous = app->report;
        app->report = [&](const std::string& text) { reports.push_back(text); };
        QEvent event(QEvent::User);
        QVERIFY(!QApplication::sendEvent(&failing, &event));
        app->report = previous;
        QCOMPARE(reports, std::vector<std::string>{"unexpected state."});
    }

    void aDroppedProjectorIsInspectedAndARefusedOneCleared() {
        Session s;
        QVERIFY(s.start());
        const std::string projector = s.projector();
        s.dropProjector(projector);
        QCOMPARE(s.w<FileNameEdit>("edFlashProjector")->fileName(), QString::fromStdString(projector));
        auto* info = s.w<PropertyGrid>("pgMovieInfo");
        QCOMPARE(info->value(0), QString("640"));
        QCOMPARE(info->value(1), QString("480"));
        // The model's rows, the player's kind last, as the model has them.
        QCOMPARE(info->rowCount(), 10);
        QCOMPARE(info->label(9), QString("Player"));
        QCOMPARE(info->value(9), QString("32-bit"));
        QVERIFY(info->rowReadOnly(9));
        QVERIFY(shown(s.w("paProjectorInfo")) && shown(s.w("paAddFiles")));
        QVERIFY(s.w("btBuild")->isEnabled() && s.w("qbtPreview")->isEnabled() && s.w("qbtBuild")->isEnabled());
        QVERIFY(s.window->findChild<QAction*>("Saveas")->isEnabled());
        QVERIFY(s.ui.messages.empty());

        s.dropProjector(s.textFile("notes.exe", "no movie in here at all"));
        QCOMPARE(s.ui.messages.size(), std::size_t{1});
        QVERIFY(s.ui.messages[0].rfind("warning: ", 0) == 0);
        QVERIFY(s.w<FileNameEdit>("edFlashProjector")->fileName().isEmpty());
        QVERIFY(!s.w("btBuild")->isEnabled() && !s.w("qbtPreview")->isEnabled());
        QVERIFY(!shown(s.w("paAddFiles")));
    }

    void additionalFilesComeByDropAndGoByTheDeleteKey() {
        Session s;
        QVERIFY(s.start());
        s.dropProjector(s.projector());
        const std::string a = s.textFile("a.txt"), b = s.textFile("b.swf");
        test::DropFiles(s.w("paAddFiles"), {QString::fromStdString(a), QString::fromStdString(s.path("gone.txt")),
                                             QString::fromStdString(b)});
        auto* list = s.w<FileList>("lvAddFiles");
        QCOMPARE(list->fileCount(), 2);
        QCOMPARE(list->caption(0), QString("a.txt"));
        QCOMPARE(list->fullName(1), QString::fromStdString(b));
        QCOMPARE(s.ui.messages, std::vector<std::string>{"warning: " + s.path("gone.txt") +
                                                         ": The file wasn't found, or a file with the same name is already listed."});

        list->setSelectedRows({0});
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->fileCount(), 1);
        QCOMPARE(list->caption(0), QString("b.swf"));
        QCOMPARE(s.model().lvAddFiles.items.size(), std::size_t{1});
    }

    void aShapeIsTakenFromABitmapThroughTheShapeWindow() {
        Session s;
        QVERIFY(s.start());
        s.dropProjector(s.projector());
        // 80 x 60, magenta round a blue block of 40 x 30.
        std::vector<std::uint32_t> pixels(80 * 60, 0xFF00FF);
        for (int y = 15; y < 45; ++y)
            for (int x = 20; x < 60; ++x) pixels[static_cast<std::size_t>(y * 80 + x)] = 0x2060C0;
        const std::string bitmap = s.path("shape.bmp");
        test::WriteFileBytes(bitmap, test::MakeBmp({}, 80, 60, pixels));
        s.ui.fileAnswers = {bitmap};
        // A size kept by an earlier version of the settings file is not used.
        s.store.placements["TfShapeSelect"] = {30, 20, 1500, 1100, true};

        bool seen = false;
        QTimer::singleShot(0, s.window.get(), [&] {
            TfShapeSelect* shape = s.window->shapeWindow();
            // Whatever fails in here, the window closes, so that the modal showing returns.
            struct Close {
                TfShapeSelect* w;
                ~Close() { w->closeWindow(); }
            } close{shape};
            QVERIFY(QTest::qWaitForWindowExposed(shape));
            seen = true;
            QCOMPARE(shape->windowTitle(), QString("VexelSCREEN - Shaped projector"));
            QCOMPARE(shape->geometry().topLeft(), QPoint(30, 20));
            QVERIFY(shape->width() < 1500 && !shape->isMaximized());
            QCOMPARE(shape->picture()->picture().size(), QSize(80, 60));
            QVERIFY(shape->previewShown());  // the top-left colour's shape, before OK
            auto* color = shape->findChild<ColorSwatch*>("paColor");
            QCOMPARE(color->color(), QColor(255, 0, 255));
            // Pointing follows the pointer; a click takes its colour.
            PictureCanvas* canvas = shape->picture()->canvas();
            QMouseEvent move(QEvent::MouseMove, QPointF(30, 20), canvas->mapToGlobal(QPointF(30, 20)), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(canvas, &move);
            QCOMPARE(shape->findChild<ColorSwatch*>("paTrackColor")->color(), QColor(0x20, 0x60, 0xC0));
            QTest::mouseClick(shape->picture()->canvas(), Qt::LeftButton, {}, QPoint(5, 5));
            QCOMPARE(color->color(), QColor(255, 0, 255));
            QTest::mouseClick(shape->findChild<QAbstractButton*>("btOK"), Qt::LeftButton);
        });
        s.click("rbShape");
        QVERIFY(seen);
        QVERIFY(!s.window->shapeWindow()->isVisible());
        QVERIFY(s.w<QRadioButton>("rbShape")->isChecked());
        QVERIFY(s.w<QRadioButton>("rbBorderNone")->isChecked());
        QVERIFY(shown(s.w("btEditShape")));
        QVERIFY(!shown(s.w("paBorder")) && !shown(s.w("paSize")));
        QCOMPARE(s.w<QSpinBox>("seWidth")->value(), 80);
        QCOMPARE(s.w<QSpinBox>("seHeight")->value(), 60);
        const TStoreWinRegion& shape = s.model().Settings().Shape();
        QVERIFY(!shape.Empty());
        QCOMPARE(shape.RegionHolder().Handle()->bounds(), (Rect{20, 15, 60, 45}));
        QCOMPARE(s.model().Settings().WindowWidth, 80);
        // Of the shape window only the position is kept.
        QCOMPARE(s.store.placements["TfShapeSelect"], (vs::WindowPlacement{30, 20, 0, 0, false, false}));
    }

    void aProjectIsSavedAndLoadedThroughTheMenu() {
        Session s;
        QVERIFY(s.start());
        s.dropProjector(s.projector());
        auto* caption = s.w<QLineEdit>("edCaption");
        QTest::keyClicks(caption, "Saved caption");
        s.click("btBehaviour");
        s.click("rbLDrag");

        auto chooseFromMenu = [&](const char* action) {
            s.click("btFileMenu");
            QMenu* menu = s.window->fileMenu();
            QTRY_VERIFY(menu->isVisible());
            QAction* a = s.window->findChild<QAction*>(action);
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
            QTRY_VERIFY(!menu->isVisible());
        };
        const std::string project = s.path("work.vsp");
        s.ui.fileAnswers = {project};
        chooseFromMenu("Saveas");
        QTRY_VERIFY(fs::exists(project));
        QCOMPARE(s.window->windowTitle(), QString("[work.vsp]  VexelSCREEN 1.0"));
        QCOMPARE(s.page(), QString("pageBehaviour"));

        caption->selectAll();
        QTest::keyClicks(caption, "Changed");
        s.click("rbLIgnore");
        s.ui.fileAnswers = {project};
        chooseFromMenu("Load");
        QTRY_COMPARE(caption->text(), QString("Saved caption"));
        QVERIFY(s.w<QRadioButton>("rbLDrag")->isChecked());
        QVERIFY(!s.w<QRadioButton>("rbLIgnore")->isChecked());
        QCOMPARE(s.page(), QString("pageBehaviour"));
        QVERIFY2(s.ui.messages == (std::vector<std::string>{"dialog: save", "dialog: open"}), s.ui.messages.back().c_str());
    }

    void moviesAreSavedFromTheMenuAndABareMovieBecomesAProjector() {
        Session s;
        QVERIFY(s.start());
        // The movie items follow the project items, each group between separators.
        QStringList entries;
        for (QAction* a : s.window->fileMenu()->actions()) entries << (a->isSeparator() ? QString("-") : a->objectName());
        QCOMPARE(entries, (QStringList{"Saveas", "Load", "-", "SaveMovie", "SaveMovieCompressed", "-", "About1", "-", "Close1"}));
        QCOMPARE(s.window->findChild<QAction*>("SaveMovie")->text(), QString("Save movie..."));
        QCOMPARE(s.window->findChild<QAction*>("SaveMovieCompressed")->text(), QString("Save compressed movie..."));

        test::SwfBuilder builder;
        builder.frame = {0, 640 * 20, 0, 480 * 20};
        builder.showFrame();
        const test::ByteVec movie = builder.build();
        const test::ByteVec player = test::BuildPlayerPart();
        // A projector as the players make it: player, movie, trailer.
        test::ByteVec trailed = player;
        trailed.insert(trailed.end(), movie.begin(), movie.end());
        test::AppendLe32(trailed, 0xFA123456u);
        test::AppendLe32(trailed, static_cast<std::uint32_t>(movie.size()));
        const std::string projector = s.path("trailed.exe");
        test::WriteProjectorFile(projector, trailed);

        auto chooseFromMenu = [&](const char* action) {
            s.click("btFileMenu");
            QMenu* menu = s.window->fileMenu();
            QTRY_VERIFY(menu->isVisible());
            QAction* a = s.window->findChild<QAction*>(action);
            QVERIFY(a->isEnabled());
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
            QTRY_VERIFY(!menu->isVisible());
        };
        const std::string plain = s.path("plain.swf"), packed = s.path("packed.swf");
        s.ui.fileAnswers = {projector, plain};
        chooseFromMenu("SaveMovie");
        QTRY_VERIFY(fs::exists(plain));
        QCOMPARE(test::ReadProjectorFile(plain), movie);
        s.ui.fileAnswers = {projector, packed};
        chooseFromMenu("SaveMovieCompressed");
        QTRY_VERIFY(fs::exists(packed));
        test::ByteVec cws{'C', 'W', 'S'};
        cws.insert(cws.end(), movie.begin() + 3, movie.begin() + 8);
        const test::ByteVec deflated = test::ZlibDeflateOnce(std::span(movie).subspan(8), 9);
        cws.insert(cws.end(), deflated.begin(), deflated.end());
        QCOMPARE(test::ReadProjectorFile(packed), cws);
        QCOMPARE(s.ui.messages, (std::vector<std::string>{"dialog: open", "dialog: save", "dialog: open", "dialog: save"}));
        QCOMPARE(test::ReadProjectorFile(projector), trailed);  // the source is only read

        // A bare movie chosen through the field's dialog: a player and the
        // projector's name are asked for, and the made projector is taken.
        const std::string bare = s.path("bare.swf"), playerFile = s.path("player.exe"), made = s.path("made.exe");
        test::WriteProjectorFile(bare, movie);
        test::WriteProjectorFile(playerFile, player);
        s.ui.messages.clear();
        s.ui.dialogs.clear();
        s.ui.fileAnswers = {bare, playerFile, made};
        QTest::mouseClick(s.w<FileNameEdit>("edFlashProjector")->browseButton(), Qt::LeftButton);
        QCOMPARE(s.ui.messages, (std::vector<std::string>{"dialog: open", "dialog: open", "dialog: save"}));
        QCOMPARE(s.ui.dialogs[0].filter, std::string("Flash Projector Files|*.exe|Flash Movies|*.swf"));
        QCOMPARE(s.ui.dialogs[1].title, std::string("Choose the standalone Flash player for bare.swf"));
        QCOMPARE(s.ui.dialogs[2].title, std::string("Save the projector of bare.swf as"));
        QCOMPARE(s.w<FileNameEdit>("edFlashProjector")->fileName(), QString::fromStdString(made));
        QCOMPARE(test::ReadProjectorFile(made), trailed);
        auto* info = s.w<PropertyGrid>("pgMovieInfo");
        QCOMPARE(info->value(0), QString("640"));
        QCOMPARE(info->value(1), QString("480"));
        QVERIFY(shown(s.w("paProjectorInfo")) && s.w("btBuild")->isEnabled());

        // A dropped movie reaches the model too; given up at the player, it
        // writes nothing and does not stay in the field as a projector.
        s.ui.dialogs.clear();
        const auto before = folderContents(s.path(""));
        s.dropProjector(bare);
        QCOMPARE(s.ui.dialogs.size(), std::size_t{1});
        QCOMPARE(s.ui.dialogs[0].title, std::string("Choose the standalone Flash player for bare.swf"));
        QCOMPARE(s.ui.dialogs[0].initialName, playerFile);  // the player chosen before
        QVERIFY(s.w<FileNameEdit>("edFlashProjector")->fileName() != QString::fromStdString(bare));
        QCOMPARE(folderContents(s.path("")), before);
        s.window->close();
        QCOMPARE(s.store.values["StandalonePlayer.FileName"], playerFile);
    }

    void theDateTimeSampleTakesTheNamesOfTheGrid() {
        Session s;
        QVERIFY(s.start());
        s.dropProjector(s.projector());
        s.model().clock = [] { return LocalDateTime{2001, 3, 5, 9, 7, 3, 45}; };
        s.click("qbtVarFile");
        auto* grid = s.w<PropertyGrid>("pgDateTime");
        grid->item(1, 1)->setText("Year");  // as the grid's editor commits it
        const std::string sample = s.path("sample.txt");
        s.ui.fileAnswers = {sample};
        s.click("btCreateSampleVar");
        QFile f(QString::fromStdString(sample));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("Year=2001&Date_MM=3&Date_DD=5&Time_HH=9&Time_MM=7&Time_SS=3&Time_MS=45&"
                                         "VexelDateTimeLOADED=1"));
        QCOMPARE(s.shell.opened, std::vector<std::string>{sample});
        QCOMPARE(s.ui.dialogs.back().initialName, std::string("Datetime.txt"));
    }

    void helpPagesShowTheirDocumentsOrNothing() {
        {
            Session s(false);
            QVERIFY(s.start());
            QCOMPARE(s.ui.messages, std::vector<std::string>{
                                        "warning: There were problems loading VexelSCREEN documentation\rPlease re-install."});
            for (const char* view : {"edPrintingInfo", "edDateTimeInfo", "edExecInfo", "edVarSaveInfo", "edGeneralHelp"})
                QVERIFY2(s.w<RichTextView>(view)->document()->isEmpty(), view);
        }
        Session s;
        QVERIFY(s.start());
        QVERIFY(s.ui.messages.empty());
        for (const char* view : {"edPrintingInfo", "edDateTimeInfo", "edExecInfo", "edVarSaveInfo", "edGeneralHelp"})
            QVERIFY2(!s.w<RichTextView>(view)->document()->isEmpty(), view);
    }

    void theSettingsFileIsReadAtTheFirstShowAndWrittenAtClose() {
        Session s;
        const std::string projector = s.projector();
        s.store.values["edFlashProjector.FileName"] = projector;
        s.store.values["OutputProjector.FileName"] = s.path("out.exe");
        s.store.placements["TfVexelSCREEN"] = {40, 30, 1000, 700, false};
        QVERIFY(s.start());
        QCOMPARE(s.window->size(), QSize(1000, 700));
        QCOMPARE(s.w<PropertyGrid>("pgMovieInfo")->value(0), QString("640"));  // inspected at the first show
        QCOMPARE(s.w<FileNameEdit>("OutputProjector")->fileName(), QString::fromStdString(s.path("out.exe")));
        QVERIFY(s.w("qbtBuild")->isEnabled());

        auto* output = s.w<FileNameEdit>("OutputProjector");
        output->lineEdit()->selectAll();
        QTest::keyClicks(output->lineEdit(), "typed.exe");
        s.window->resize(900, 640);
        s.window->close();
        QCOMPARE(s.store.values["OutputProjector.FileName"], std::string("typed.exe"));
        QCOMPARE(s.store.values["edFlashProjector.FileName"], projector);
        QCOMPARE(s.store.placements["TfVexelSCREEN"].width, 900);

        // A project named as the first argument is loaded at the first show.
        const std::string project = s.path("start.vsp");
        s.model().edCaption.text = "From the command line";
        s.model().SaveProject(project);
        Session next;
        QVERIFY(next.start({project}));
        QCOMPARE(next.window->windowTitle(), QString("[start.vsp]  VexelSCREEN 1.0"));
        QCOMPARE(next.w<QLineEdit>("edCaption")->text(), QString("From the command line"));
        QVERIFY(next.w("btBuild")->isEnabled());
    }

    void theBuildPageSignsWithACertificateWhosePasswordIsAskedAndNeverKept() {
        Session s;
        s.installTools();
        QVERIFY(s.start());
        s.dropProjector(s.projector());
        s.click("btBuild");
        // The three fields of the Signing group, each with its caption.
        auto* page = s.w("pageBuild");
        auto caption = [&](QWidget* field) {
            for (QLabel* l : page->findChildren<QLabel*>())
                if (l->buddy() == field) return l->text();
            return QString();
        };
        auto* certificate = s.w<FileNameEdit>("edSignCertificate");
        auto* description = s.w<QLineEdit>("edSignDescription");
        auto* timestamp = s.w<QLineEdit>("edSignTimestamp");
        QVERIFY(certificate && description && timestamp);
        QVERIFY(page->isAncestorOf(certificate) && shown(certificate) && shown(description) && shown(timestamp));
        QCOMPARE(caption(certificate), QString("Sign with certificate: "));
        QCOMPARE(caption(description), QString("Signature description: "));
        QCOMPARE(caption(timestamp), QString("Timestamp server (optional): "));

        // The browse button opens a certificate.
        const std::string cert = s.textFile("signer.p12", "certificate");
        s.ui.fileAnswers = {cert};
        QTest::mouseClick(certificate->browseButton(), Qt::LeftButton);
        QCOMPARE(s.ui.dialogs.back().filter, std::string("Certificates|*.p12;*.pfx;*.pem|All Files|*.*"));
        QCOMPARE(certificate->fileName(), QString::fromStdString(cert));
        QTest::keyClicks(description, "Demo");
        QTest::keyClicks(timestamp, "http://timestamp.example");

        fs::create_directories(s.path("out"));
        const std::string output = s.path("out/out.exe");
        auto* out = s.w<FileNameEdit>("OutputProjector")->lineEdit();
        out->selectAll();
        QTest::keyClicks(out, QString::fromStdString(output));
        const std::string prompt = "password: Password of " + cert + " (leave it empty if it has none):";

        // A cancelled password builds nothing: no busy page, no file.
        s.ui.passwordAnswers = {std::nullopt};
        int looks = 0;
        s.ui.onPendingMessages = [&] { ++looks; };
        s.ui.messages.clear();
        s.click("qbtBuild");
        s.ui.onPendingMessages = nullptr;
        QCOMPARE(s.ui.messages, std::vector<std::string>{prompt});
        QCOMPARE(looks, 0);
        QVERIFY(fs::is_empty(s.path("out")));
        QCOMPARE(s.page(), QString("pageBuild"));

        // A password reaches the build's request with the fields' texts; the
        // build stops before anything is signed.
        std::optional<vs::SigningRequest> seen;
        s.model().afterMapping = [&](vs::s_TVexelProjector&) {
            seen = s.model().signing;
            throw vs::EOperationCancelled();
        };
        s.ui.passwordAnswers = {std::string("s3cret")};
        s.click("qbtBuild");
        s.model().afterMapping = nullptr;
        QVERIFY(seen);
        QCOMPARE(seen->certificate, cert);
        QCOMPARE(seen->password, std::string("s3cret"));
        QCOMPARE(seen->description, std::string("Demo"));
        QCOMPARE(seen->timestampUrl, std::string("http://timestamp.example"));
        QVERIFY(!s.model().signing);
        QVERIFY(fs::is_empty(s.path("out")));

        // The certificate's name is remembered, the password nowhere.
        s.window->close();
        QCOMPARE(s.store.values["edSignCertificate.FileName"], cert);
        for (const auto& [key, value] : s.store.values) QVERIFY2(value.find("s3cret") == std::string::npos, key.c_str());
        s.window.reset();
        QVERIFY(s.start());
        QCOMPARE(s.w<FileNameEdit>("edSignCertificate")->fileName(), QString::fromStdString(cert));
        QCOMPARE(s.w<QLineEdit>("edSignDescription")->text(), QString());

        // The window's own port asks in a dialog that shows no characters.
        // The dialog is answered first and looked at afterwards, so that a
        // failed look cannot leave it open.
        QtUserInterface real(s.window.get());
        QLineEdit::EchoMode echo = QLineEdit::Normal;
        QString label;
        auto answer = [&](bool accept) {
            auto* poll = new QTimer;
            QObject::connect(poll, &QTimer::timeout, [&, poll, accept] {
                for (QWidget* w : QApplication::topLevelWidgets()) {
                    auto* dialog = qobject_cast<QInputDialog*>(w);
                    if (!dialog || dialog->objectName() != "passwordDialog" || !dialog->isVisible()) continue;
                    poll->stop();
                    poll->deleteLater();
                    echo = dialog->textEchoMode();
                    label = dialog->labelText();
                    dialog->setTextValue("typed");
                    accept ? dialog->accept() : dialog->reject();
                    return;
                }
            });
            poll->start(10);
        };
        answer(true);
        QCOMPARE(real.askPassword("Key?"), std::optional<std::string>("typed"));
        QCOMPARE(echo, QLineEdit::Password);
        QCOMPARE(label, QString("Key?"));
        answer(false);
        QCOMPARE(real.askPassword("Key?"), std::optional<std::string>());
    }
};

VS_GUI_SUITE(Window);

#include "window_test.moc"
