#include "gui/qt/picture_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

namespace vs::gui {

PictureCanvas::PictureCanvas(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureCanvas::setPicture(const QImage& picture) {
    picture_ = picture;
    setFixedSize(picture_.size());
    update();
}

void PictureCanvas::setRegion(const QList<QRect>& rectangles) {
    region_ = rectangles;
    hasRegion_ = true;
    update();
}

void PictureCanvas::clearRegion() {
    region_.clear();
    hasRegion_ = false;
    update();
}

bool PictureCanvas::onPicture(const QPoint& at) const {
    return at.x() >= 0 && at.y() >= 0 && at.x() < picture_.width() && at.y() < picture_.height();
}

void PictureCanvas::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.drawImage(0, 0, picture_);
    if (!hasRegion_) return;
    QRegion shape;
    for (const QRect& r : region_) shape += r;
    // Veil what the window will not show, hatched so that it stays visible on
    // pictures of any colour, and outline the shape itself.
    const QRegion outside = QRegion(picture_.rect()) - shape;
    p.setClipRegion(outside);
    p.fillRect(picture_.rect(), QColor(0, 0, 0, 150));
    p.fillRect(picture_.rect(), QBrush(QColor(255, 255, 255, 90), Qt::BDiagPattern));
    p.setClipping(false);
    QPainterPath outline;
    outline.addRegion(shape);
    p.setPen(QPen(QColor(255, 200, 0), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline.simplified());
}

void PictureCanvas::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (onPicture(at)) emit pixelHovered(at.x(), at.y());
    QWidget::mouseMoveEvent(event);
}

void PictureCanvas::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && onPicture(at)) {
        event->accept();
        emit pixelHovered(at.x(), at.y());
        emit clicked(at.x(), at.y());
        return;
    }
    QWidget::mousePressEvent(event);
}

void PictureCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) event->accept();  // the press was a click on the picture
    else QWidget::mouseReleaseEvent(event);
}

PictureView::PictureView(QWidget* parent) : QScrollArea(parent), canvas_(new PictureCanvas) {
    setWidget(canvas_);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setBackgroundRole(QPalette::Dark);
    connect(canvas_, &PictureCanvas::pixelHovered, this, &PictureView::pixelHovered);
    connect(canvas_, &PictureCanvas::clicked, this, &PictureView::clicked);
}

QColor PictureView::pixelColor(int x, int y) const {
    const QImage& image = canvas_->picture();
    if (!image.valid(x, y)) return {};
    return image.pixelColor(x, y);
}

}  // namespace vs::gui
