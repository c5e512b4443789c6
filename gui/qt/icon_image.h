#pragma once
// TIcon and QImage of each other. A TIcon keeps a colour image and a mask; a
// QImage keeps alpha. A pixel the mask clears becomes fully transparent, and
// an image pixel with alpha below one half becomes a masked pixel.
#include <QImage>

#include "exe/icon.h"

namespace vs::gui {

// An ARGB32 image of the icon's size; a null image for an icon without one.
QImage ToQImage(const TIcon& icon);
// The icon of the image's size (at most kMaxIconSide a side, larger images
// are scaled down to fit); an empty icon for a null image.
TIcon ToTIcon(const QImage& image);

}  // namespace vs::gui
