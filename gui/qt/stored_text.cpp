#include "gui/qt/stored_text.h"

#include <QLineEdit>
#include <QToolTip>

#include "app/controls.h"

namespace vs::gui {

namespace {

constexpr const char* kRefusalProperty = "refusal";
// Long enough to read a sentence; a new refusal shows again at once.
constexpr int kHintMs = 6000;

}  // namespace

StoredTextValidator::StoredTextValidator(QLineEdit* edit) : QValidator(edit) {}

QValidator::State StoredTextValidator::validate(QString& text, int&) const {
    const std::optional<std::string> refusal = StoredTextRefusal(text.toStdString());
    if (!refusal) return Acceptable;
    emit refused(QString::fromStdString(*refusal));
    return Invalid;
}

void GuardStoredText(QLineEdit* edit) {
    auto* validator = new StoredTextValidator(edit);
    edit->setValidator(validator);
    QObject::connect(validator, &StoredTextValidator::refused, edit, [edit](const QString& hint) {
        edit->setProperty(kRefusalProperty, hint);
        QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), hint, edit, QRect(), kHintMs);
    });
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit] {
        edit->setProperty(kRefusalProperty, QString());
    });
}

QString LastRefusal(const QLineEdit* edit) { return edit->property(kRefusalProperty).toString(); }

QWidget* StoredTextDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) GuardStoredText(line);
    return editor;
}

}  // namespace vs::gui
