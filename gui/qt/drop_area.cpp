#include "gui/qt/drop_area.h"

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace vs::gui {

QStringList DroppedFiles(const QMimeData* mime) {
    QStringList files;
    if (!mime || !mime->hasUrls()) return files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) files << QDir::toNativeSeparators(url.toLocalFile());
    return files;
}

DropArea::DropArea(QWidget* parent) : QFrame(parent) { setAcceptDrops(true); }

void DropArea::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void DropArea::dragMoveEvent(QDragMoveEvent* event) {
    if (!DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void DropArea::dropEvent(QDropEvent* event) {
    const QStringList files = DroppedFiles(event->mimeData());
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    for (const QString& file : files) emit fileDropped(file);
}

}  // namespace vs::gui
