#pragma once
// The program's own pictures, kept in the Qt resources: its icon (window icon
// and the "MAINICON" that a build without a chosen icon gives its output) and
// the glyphs of the header and bottom bar buttons.
#include <QIcon>
#include <QString>
#include <QStringList>

#include "exe/icon.h"

namespace vs::gui {

// The glyph names: header buttons "files", "appearance", "dimensions",
// "behaviour", "build", "help", "menu"; bottom bar "datetime", "printing",
// "launch", "storage", "preview", "run".
QStringList GlyphNames();
// A glyph by name; a null icon for an unknown name. Drawn from its SVG where
// Qt's SVG support is installed, else from its 24 and 48 pixel renderings.
QIcon Glyph(const QString& name);

// The program's icon at every size it was rendered at, for windows.
QIcon ProgramIcon();
// The multi-image icon file of the program, as bytes.
QByteArray ProgramIconFile();
// The program's icon as the build takes it: the image of ProgramIconFile that
// the platform's loader would choose (32 x 32).
TIcon MainIcon();

}  // namespace vs::gui
