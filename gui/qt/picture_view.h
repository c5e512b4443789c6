#pragma once
// The picture of the shape window (ShapeImage): the image at its natural size
// in a scroll area, under a cross pointer, so that the pointer's position on
// the picture is the pixel position. It reports the pixel under the pointer
// and clicks, and can draw a region (a list of rectangles in picture pixels)
// over the picture: what lies outside the region is veiled, so the user sees
// the shape the window will have.
#include <QImage>
#include <QList>
#include <QRect>
#include <QScrollArea>

namespace vs::gui {

class PictureCanvas : public QWidget {
    Q_OBJECT
public:
    explicit PictureCanvas(QWidget* parent = nullptr);

    const QImage& picture() const { return picture_; }
    void setPicture(const QImage& picture);

    bool hasRegion() const { return hasRegion_; }
    const QList<QRect>& region() const { return region_; }
    void setRegion(const QList<QRect>& rectangles);
    void clearRegion();

    QSize sizeHint() const override { return picture_.size(); }

signals:
    void pixelHovered(int x, int y);
    void clicked(int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool onPicture(const QPoint& at) const;

    QImage picture_;
    QList<QRect> region_;
    bool hasRegion_ = false;
};

class PictureView : public QScrollArea {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    PictureCanvas* canvas() const { return canvas_; }
    const QImage& picture() const { return canvas_->picture(); }
    void setPicture(const QImage& picture) { canvas_->setPicture(picture); }
    // The colour of a picture pixel; an invalid colour outside the picture.
    QColor pixelColor(int x, int y) const;
    void setRegion(const QList<QRect>& rectangles) { canvas_->setRegion(rectangles); }
    void clearRegion() { canvas_->clearRegion(); }

signals:
    void pixelHovered(int x, int y);
    void clicked(int x, int y);

private:
    PictureCanvas* canvas_;
};

}  // namespace vs::gui
