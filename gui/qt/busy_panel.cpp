#include "gui/qt/busy_panel.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vs::gui {

namespace {

constexpr int kFrameMs = 60;
constexpr int kFrames = 36;  // one turn
constexpr int kHoles = 6;

}  // namespace

BusyAnimation::BusyAnimation(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setMinimumSize(sizeHint());
    timer_.setInterval(kFrameMs);
    connect(&timer_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % kFrames;
        update();
    });
}

void BusyAnimation::showEvent(QShowEvent* event) {
    timer_.start();
    QWidget::showEvent(event);
}

void BusyAnimation::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

void BusyAnimation::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height()) - 4.0;
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double radius = side / 2.0;
    const QColor reel = palette().color(QPalette::Highlight);
    const QColor face = palette().color(QPalette::Window);

    // The reel: a disc with holes cut round its hub, turned by the frame.
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    const double angle = 2.0 * std::numbers::pi * frame_ / kFrames;
    for (int i = 0; i < kHoles; ++i) {
        const double a = angle + 2.0 * std::numbers::pi * i / kHoles;
        const QPointF at = centre + QPointF(std::cos(a), std::sin(a)) * radius * 0.55;
        path.addEllipse(at, radius * 0.22, radius * 0.22);
    }
    path.addEllipse(centre, radius * 0.1, radius * 0.1);
    path.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(reel);
    p.drawPath(path);
    p.setPen(QPen(face, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, radius * 0.93, radius * 0.93);
}

BusyPanel::BusyPanel(QWidget* parent)
    : QWidget(parent),
      label_(new QLabel(this)),
      animation_(new BusyAnimation(this)),
      bar_(new QProgressBar(this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
    label_->setAlignment(Qt::AlignCenter);
    label_->setWordWrap(true);
    QFont big = label_->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    label_->setFont(big);
    bar_->setTextVisible(false);
    bar_->setFixedWidth(320);
    bar_->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(label_);
    layout->addSpacing(16);
    layout->addWidget(animation_, 0, Qt::AlignHCenter);
    layout->addSpacing(16);
    layout->addWidget(bar_, 0, Qt::AlignHCenter);
    layout->addSpacing(16);
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
    layout->addStretch(1);
}

void BusyPanel::setText(const QString& text) { label_->setText(text); }

void BusyPanel::setProgress(int position, int maximum) {
    if (maximum <= 0) {
        bar_->reset();
        bar_->hide();
        return;
    }
    bar_->setRange(0, maximum);
    bar_->setValue(std::clamp(position, 0, maximum));
    bar_->show();
}

}  // namespace vs::gui
