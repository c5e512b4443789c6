#pragma once
// A colour swatch (paTrackColor, paColor): a sunken panel filled with one colour.
#include <QColor>
#include <QFrame>

namespace vs::gui {

class ColorSwatch : public QFrame {
    Q_OBJECT
public:
    explicit ColorSwatch(QWidget* parent = nullptr);

    QColor color() const { return color_; }
    // The tooltip names the colour, so that it can be read as well as seen.
    void setColor(const QColor& color);

    QSize sizeHint() const override { return {32, 24}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_ = Qt::white;
};

}  // namespace vs::gui
