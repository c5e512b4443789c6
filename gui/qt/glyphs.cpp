#include "gui/qt/glyphs.h"

#include <QFile>
#include <QImageReader>

#include <mutex>
#include <span>

// Q_INIT_RESOURCE must stand outside any namespace; calling it from here makes
// a static library's resources reach every program that uses the glyphs.
static void initIconResources() { Q_INIT_RESOURCE(icons); }

namespace vs::gui {

namespace {

void ensureResources() {
    static std::once_flag once;
    std::call_once(once, initIconResources);
}

bool svgSupported() {
    static const bool supported = QImageReader::supportedImageFormats().contains("svg");
    return supported;
}

}  // namespace

QStringList GlyphNames() {
    return {QStringLiteral("files"),    QStringLiteral("appearance"), QStringLiteral("dimensions"),
            QStringLiteral("behaviour"), QStringLiteral("build"),     QStringLiteral("help"),
            QStringLiteral("menu"),     QStringLiteral("datetime"),   QStringLiteral("printing"),
            QStringLiteral("launch"),   QStringLiteral("storage"),    QStringLiteral("preview"),
            QStringLiteral("run")};
}

QIcon Glyph(const QString& name) {
    ensureResources();
    if (!GlyphNames().contains(name)) return {};
    const QString base = QStringLiteral(":/vexelscreen/glyphs/") + name;
    QIcon icon;
    if (svgSupported()) icon.addFile(base + QStringLiteral(".svg"));
    icon.addFile(base + QStringLiteral("-24.png"), QSize(24, 24));
    icon.addFile(base + QStringLiteral("-48.png"), QSize(48, 48));
    return icon;
}

QIcon ProgramIcon() {
    ensureResources();
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/vexelscreen/icon/vexelscreen-%1.png").arg(side), QSize(side, side));
    return icon;
}

QByteArray ProgramIconFile() {
    ensureResources();
    QFile file(QStringLiteral(":/vexelscreen/icon/vexelscreen.ico"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

TIcon MainIcon() {
    const QByteArray bytes = ProgramIconFile();
    return ReadIconFile(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())));
}

}  // namespace vs::gui
