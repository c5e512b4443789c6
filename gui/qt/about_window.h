#pragma once
// The about window: the program's icon, name, version and what it does.
#include <QDialog>

namespace vs::gui {

class TfAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfAbout(QWidget* parent = nullptr);
};

// The version the program was built as ("0.1").
QString ProgramVersion();

}  // namespace vs::gui
