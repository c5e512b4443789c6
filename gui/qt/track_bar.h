#pragma once
// The track bar of the compression setting (tbCompression): positions 1 to 4
// with a tick at each, moved one position per key or click.
#include <QSlider>

namespace vs::gui {

class TrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TrackBar(QWidget* parent = nullptr);
};

}  // namespace vs::gui
