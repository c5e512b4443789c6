#include "gui/qt/file_name_edit.h"

#include <QDropEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

#include "gui/qt/drop_area.h"

namespace vs::gui {

FileNameEdit::FileNameEdit(UserInterface& ui, QWidget* parent)
    : QWidget(parent), ui_(ui), edit_(new QLineEdit(this)), button_(new QToolButton(this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(edit_, 1);
    layout->addWidget(button_);
    button_->setText(QStringLiteral("..."));
    button_->setToolTip(tr("Browse"));
    button_->setFocusPolicy(Qt::TabFocus);
    // The line edit would paste a dropped file's address as text; drops are
    // this widget's (or its panel's) business.
    edit_->setAcceptDrops(false);
    setAcceptDrops(false);
    setFocusProxy(edit_);
    connect(button_, &QToolButton::clicked, this, [this] {
        if (browseHandler_) browseHandler_();
        else browse();
    });
    connect(edit_, &QLineEdit::textEdited, this, &FileNameEdit::textEdited);
}

void FileNameEdit::setDialog(const FileDialog& dialog, DialogKind kind) {
    dialog_ = dialog;
    kind_ = kind;
}

void FileNameEdit::setNoTyping(bool on) { edit_->setReadOnly(on); }
bool FileNameEdit::noTyping() const { return edit_->isReadOnly(); }

QString FileNameEdit::fileName() const { return edit_->text(); }
void FileNameEdit::setFileName(const QString& name) { edit_->setText(name); }

bool FileNameEdit::browse() {
    FileDialog d = dialog_;
    if (d.initialName.empty()) d.initialName = fileName().toStdString();
    std::optional<std::string> chosen;
    if (kind_ == DialogKind::Save) {
        chosen = ui_.saveFileName(d);
    } else if (kind_ == DialogKind::OpenMany) {
        const auto names = ui_.openFileNames(d);
        if (!names.empty()) chosen = names.front();
    } else {
        chosen = ui_.openFileName(d);
    }
    if (!chosen) return false;
    const QString name = QString::fromStdString(*chosen);
    setFileName(name);
    emit afterDialog(name);
    return true;
}

void FileNameEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void FileNameEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (!DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void FileNameEdit::dropEvent(QDropEvent* event) {
    const QStringList files = DroppedFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    for (const QString& file : files) {
        setFileName(file);
        emit fileDropped(file);
    }
}

}  // namespace vs::gui
