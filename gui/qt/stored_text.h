#pragma once
// Fields whose text goes into a built projector or a project file can hold
// only what those store. A guarded line edit refuses the key or the paste
// that brings a character they cannot store, and says at once which
// character it refused and why, in a hint beside the field. The rule itself
// is the model's (StoredTextRefusal).
#include <QString>
#include <QStyledItemDelegate>
#include <QValidator>

class QLineEdit;

namespace vs::gui {

class StoredTextValidator : public QValidator {
    Q_OBJECT
public:
    explicit StoredTextValidator(QLineEdit* edit);
    State validate(QString& text, int& pos) const override;

signals:
    // A text was refused: `hint` names the character and says why.
    void refused(const QString& hint) const;
};

// Guards the line edit: the validator, and its refusals shown as a hint at
// the field (and kept as the edit's "refusal" property until the next
// accepted edit).
void GuardStoredText(QLineEdit* edit);

// The refusal last shown by a guarded line edit; empty after an accepted edit.
QString LastRefusal(const QLineEdit* edit);

// An item delegate whose line editors are guarded (the value column of a grid
// whose values are stored).
class StoredTextDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

}  // namespace vs::gui
