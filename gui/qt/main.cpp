// vexelscreen-generator [PROJECT.vsp]
// The generator's window. A first argument that names an existing file is the
// project to load when the window first shows.
#include <QApplication>
#include <QStringList>

#include <string>
#include <vector>

#include "app/generator_model.h"
#include "gui/qt/application.h"
#include "gui/qt/generator_window.h"
#include "gui/qt/glyphs.h"
#include "gui/qt/qt_ports.h"
#include "gui/qt/screenshot_tour.h"

int main(int argc, char** argv) {
    vs::gui::GeneratorApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(vs::TfVexelSCREENModel::kApplicationTitle));
    QApplication::setStyle(QStringLiteral("Fusion"));
    QApplication::setWindowIcon(vs::gui::ProgramIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("vexelscreen-generator"));

    QStringList args = QApplication::arguments();
    args.removeFirst();
    // Hidden: --screenshots DIR [--sample-files DIR], for the screenshots script.
    if (!args.isEmpty() && args.first() == u"--screenshots") {
        vs::gui::TourOptions tour;
        tour.outputDir = args.value(1);
        if (args.value(2) == u"--sample-files") tour.sampleDir = args.value(3);
        if (tour.outputDir.isEmpty()) return 2;
        return vs::gui::RunScreenshotTour(tour);
    }

    std::vector<std::string> arguments;
    for (const QString& a : args) arguments.push_back(a.toStdString());

    vs::gui::QtUserInterface ui(nullptr);
    vs::gui::QtShell shell;
    vs::gui::QtSettingsStore store;
    vs::gui::TfVexelSCREEN window(ui, shell, store, vs::GeneratorPaths::OfThisProgram());
    ui.setDialogParent(&window);
    window.start(arguments);
    return QApplication::exec();
}
