#include "gui/qt/spin_field.h"

namespace vs::gui {

SpinField::SpinField(std::function<int(const QString&)> valueOf, QWidget* parent)
    : QSpinBox(parent), valueOf_(std::move(valueOf)) {}

QValidator::State SpinField::validate(QString& text, int&) const {
    // Letters never make a number; everything that may is kept, also a text
    // that is not a number yet or lies outside the limits.
    for (QChar c : text)
        if ((c < u'0' || c > u'9') && c != u'-' && c != u'+' && c != u' ') return QValidator::Invalid;
    return QValidator::Acceptable;
}

void SpinField::fixup(QString&) const {}

int SpinField::valueFromText(const QString& text) const { return valueOf_(text); }

}  // namespace vs::gui
