#include "gui/qt/application.h"

#include <QMessageBox>

#include <exception>

#include "app/generator_model.h"
#include "gui/qt/qt_ports.h"

namespace vs::gui {

GeneratorApplication::GeneratorApplication(int& argc, char** argv) : QApplication(argc, argv) {
    report = [](const std::string& text) {
        MakeMessageBox(MessageKind::Error, text, QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                                                  : QApplication::activeWindow())
            ->exec();
    };
}

bool GeneratorApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        if (report) report(GeneralErrorText(e));
        return false;
    }
}

}  // namespace vs::gui
