#include "gui/qt/color_swatch.h"

#include <QPainter>

namespace vs::gui {

ColorSwatch::ColorSwatch(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setColor(color_);
}

void ColorSwatch::setColor(const QColor& color) {
    color_ = color;
    setToolTip(QStringLiteral("R %1, G %2, B %3").arg(color.red()).arg(color.green()).arg(color.blue()));
    update();
}

void ColorSwatch::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.fillRect(contentsRect(), color_);
    }
    QFrame::paintEvent(event);
}

}  // namespace vs::gui
