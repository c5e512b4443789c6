#include "gui/qt/icon_image.h"

namespace vs::gui {

QImage ToQImage(const TIcon& icon) {
    if (!icon.HasColorImage()) return {};
    QImage image(icon.Width(), icon.Height(), QImage::Format_ARGB32);
    for (int y = 0; y < icon.Height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < icon.Width(); ++x)
            row[x] = icon.Transparent(x, y) ? 0u : icon.Pixel(x, y);
    }
    return image;
}

TIcon ToTIcon(const QImage& image) {
    if (image.isNull()) return {};
    QImage source = image;
    if (source.width() > kMaxIconSide || source.height() > kMaxIconSide)
        source = source.scaled(kMaxIconSide, kMaxIconSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    source = source.convertToFormat(QImage::Format_ARGB32);
    TIcon icon(source.width(), source.height());
    for (int y = 0; y < source.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            icon.SetPixel(x, y, row[x]);
            icon.SetTransparent(x, y, qAlpha(row[x]) < 128);
        }
    }
    return icon;
}

}  // namespace vs::gui
