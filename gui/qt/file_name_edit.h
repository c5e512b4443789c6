#pragma once
// A file name field with a browse button (edFlashProjector, OutputProjector,
// OpenIcon, OpenShape). The dialog goes through the UserInterface port, so a
// scripted port answers it in tests. The field may refuse typing, and may
// take dropped files; when it does not, drops go on to the panel around it.
#include <QString>
#include <QWidget>

#include <functional>

#include "app/ports.h"
#include "gui/qt/file_dialogs.h"

class QLineEdit;
class QToolButton;

namespace vs::gui {

class FileNameEdit : public QWidget {
    Q_OBJECT
public:
    explicit FileNameEdit(UserInterface& ui, QWidget* parent = nullptr);

    // The dialog of the browse button; its preset name, when empty, is the
    // field's text at the time.
    void setDialog(const FileDialog& dialog, DialogKind kind = DialogKind::Open);
    const FileDialog& dialog() const { return dialog_; }
    DialogKind dialogKind() const { return kind_; }

    // "No typing": the text changes only through the dialog, drops and code.
    void setNoTyping(bool on);
    bool noTyping() const;
    void setAcceptFileDrops(bool on) { setAcceptDrops(on); }

    QString fileName() const;
    void setFileName(const QString& name);

    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* browseButton() const { return button_; }

    // Runs the dialog. When the user chooses a name it becomes the text,
    // afterDialog is emitted and true returned.
    bool browse();
    // The browse button asks for this instead of running the field's own
    // dialog: a window whose logic runs the dialog itself forwards the click.
    void setBrowseHandler(std::function<void()> handler) { browseHandler_ = std::move(handler); }

signals:
    // After a name was chosen in the dialog and put into the field.
    void afterDialog(const QString& fileName);
    // Once for each file dropped on the field, in drop order, each after it
    // was put into the field.
    void fileDropped(const QString& fileName);
    // The user typed.
    void textEdited(const QString& text);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    UserInterface& ui_;
    FileDialog dialog_;
    DialogKind kind_ = DialogKind::Open;
    QLineEdit* edit_;
    QToolButton* button_;
    std::function<void()> browseHandler_;
};

}  // namespace vs::gui
