#pragma once
// A spin field that takes what is typed as typed. A plain spin box refuses a
// key that makes its text leave the limits for the moment (the "2" of "20"
// in 55 to 5000 is kept, the last "0" of "6000" is dropped) and, on leaving,
// falls back to its previous value. This one keeps every text of digits,
// signs and blanks, reads it with the rule it is given, and shows the value
// that the text gives when the field is left or Enter is pressed.
#include <QSpinBox>

#include <functional>

namespace vs::gui {

class SpinField : public QSpinBox {
    Q_OBJECT
public:
    // `valueOf` is the value a text gives, already within the limits.
    explicit SpinField(std::function<int(const QString&)> valueOf, QWidget* parent = nullptr);

    QValidator::State validate(QString& text, int& pos) const override;
    void fixup(QString& text) const override;

protected:
    int valueFromText(const QString& text) const override;

private:
    std::function<int(const QString&)> valueOf_;
};

}  // namespace vs::gui
