#pragma once
// The generator's application object, with its general error report: a
// failure that escapes an event handler (any standard exception) does not end
// the program; its text is reported, with a full stop added when it does not
// end with one, and the event counts as not handled.
#include <QApplication>

#include <functional>
#include <string>

namespace vs::gui {

class GeneratorApplication : public QApplication {
    Q_OBJECT
public:
    GeneratorApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the report; by default a message box with a stop icon titled
    // "VexelSCREEN Generator".
    std::function<void(const std::string& text)> report;
};

}  // namespace vs::gui
