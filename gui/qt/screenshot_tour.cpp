#include "gui/qt/screenshot_tour.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <deque>
#include <map>

#include "gui/qt/about_window.h"
#include "gui/qt/generator_window.h"
#include "gui/qt/picture_view.h"
#include "gui/qt/qt_ports.h"
#include "gui/qt/shape_window.h"

namespace vs::gui {

namespace {

// Dialogs are answered from a queue, questions with No, messages printed.
class TourInterface : public UserInterface {
public:
    std::deque<std::string> answers;
    void warning(std::string_view text) override { std::fprintf(stderr, "warning: %.*s\n", int(text.size()), text.data()); }
    void error(std::string_view text) override {
        ++errors;
        std::fprintf(stderr, "error: %.*s\n", int(text.size()), text.data());
    }
    bool confirm(std::string_view) override { return false; }
    std::optional<std::string> openFileName(const FileDialog&) override { return next(); }
    std::vector<std::string> openFileNames(const FileDialog&) override {
        auto a = next();
        return a ? std::vector<std::string>{*a} : std::vector<std::string>{};
    }
    std::optional<std::string> saveFileName(const FileDialog&) override { return next(); }
    std::optional<std::string> askPassword(std::string_view) override { return std::nullopt; }
    void processPendingMessages() override { QCoreApplication::processEvents(); }
    void progress(int, int) override {}
    int errors = 0;

private:
    std::optional<std::string> next() {
        if (answers.empty()) return std::nullopt;
        std::string a = answers.front();
        answers.pop_front();
        return a;
    }
};

class MemoryStore : public SettingsStore {
public:
    std::map<std::string, std::string, std::less<>> values;
    std::optional<std::string> value(std::string_view key) override {
        auto it = values.find(key);
        return it == values.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    void setValue(std::string_view key, std::string_view value) override { values[std::string(key)] = value; }
    std::optional<WindowPlacement> placement(std::string_view) override { return std::nullopt; }
    void setPlacement(std::string_view, const WindowPlacement&) override {}
};

void settle(int ms = 150) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

class Tour {
public:
    explicit Tour(const TourOptions& o) : options_(o), window_(ui_, shell_, store_, GeneratorPaths::OfThisProgram()) {}

    int run() {
        QDir().mkpath(options_.outputDir);
        window_.start({});
        window_.resize(960, 680);
        settle(400);
        shoot(&window_, "start");
        if (!options_.sampleDir.isEmpty()) chooseSamples();
        page("btFiles", "files");
        page("btAppearance", "appearance");
        page("btDimensions", "dimensions");
        page("btBehaviour", "behaviour");
        page("btBuild", "build");
        page("btGeneralHelp", "help-general");
        page("qbtVarFile", "datetime");
        page("qbtPrinting", "help-printing");
        page("btExec", "help-launch");
        page("qbtVarSave", "help-storage");
        if (!options_.sampleDir.isEmpty()) shapeWindow();
        busyPage();
        fileMenu();
        about();
        page("btFiles", "files");
        std::fprintf(stderr, "%d pictures in %s\n", written_, qPrintable(options_.outputDir));
        return failed_ || ui_.errors ? 1 : 0;
    }

private:
    std::string sample(const char* name) const { return QDir(options_.sampleDir).filePath(QString::fromUtf8(name)).toStdString(); }

    void chooseSamples() {
        TfVexelSCREENModel& m = window_.model();
        window_.forward([&] { m.DragDropPorjectorFileDropped(sample("Sample Projector.exe")); });
        for (const char* f : {"readme.txt", "icon.ico", "shape.bmp"})
            window_.forward([&] { m.paAddFilesFileDropped(sample(f)); });
        window_.forward([&] { m.OpenIconDropFiles(sample("icon.ico")); });
        window_.forward([&] { m.edCaption.text = "Sample movie"; });
        settle();
    }

    void click(const char* name) {
        auto* b = window_.findChild<QAbstractButton*>(QString::fromUtf8(name));
        if (!b) {
            std::fprintf(stderr, "no button %s\n", name);
            failed_ = true;
            return;
        }
        b->click();
        settle();
    }

    void page(const char* button, const char* picture) {
        click(button);
        shoot(&window_, picture);
    }

    void shapeWindow() {
        click("btAppearance");
        ui_.answers.push_back(sample("shape.bmp"));
        QTimer::singleShot(500, &window_, [this] {
            TfShapeSelect* dialog = window_.shapeWindow();
            PictureCanvas* canvas = dialog->picture()->canvas();
            const QPointF at(canvas->width() / 2.0, canvas->height() / 2.0);
            QMouseEvent move(QEvent::MouseMove, at, canvas->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(canvas, &move);
            settle();
            shoot(dialog, "shape-window");
            if (auto* ok = dialog->findChild<QAbstractButton*>(QStringLiteral("btOK"))) ok->click();
        });
        click("rbShape");
        settle();
        shoot(&window_, "appearance-shape");
    }

    void busyPage() {
        TfVexelSCREENModel& m = window_.model();
        const int previous = m.pages.active;
        m.lbBusyLabel.caption = "Please hold while your projector is being constructed...";
        m.pages.show("pageBuilding");
        window_.refresh();
        settle(300);
        shoot(&window_, "building");
        m.pages.active = previous;
        window_.refresh();
    }

    void fileMenu() {
        window_.showFileMenu();
        settle();
        shoot(window_.fileMenu(), "file-menu");
        window_.fileMenu()->hide();
    }

    void about() {
        TfAbout about(&window_);
        about.show();
        settle();
        shoot(&about, "about");
        about.close();
    }

    void shoot(QWidget* widget, const char* name) {
        const QString file = QDir(options_.outputDir).filePath(QString::fromUtf8(name) + QStringLiteral(".png"));
        if (!widget->grab().save(file)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(file));
            failed_ = true;
            return;
        }
        ++written_;
    }

    TourOptions options_;
    TourInterface ui_;
    QtShell shell_;
    MemoryStore store_;
    TfVexelSCREEN window_;
    int written_ = 0;
    bool failed_ = false;
};

}  // namespace

int RunScreenshotTour(const TourOptions& options) {
    Tour tour(options);
    return tour.run();
}

}  // namespace vs::gui
