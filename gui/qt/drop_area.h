#pragma once
// A panel that takes files dropped on it or on any widget inside it that does
// not take drops itself (DragDropPorjector, paAddFiles).
#include <QFrame>
#include <QStringList>

class QMimeData;

namespace vs::gui {

// The local files of a drop, in the order the drop delivers them, as native
// paths; other addresses are left out.
QStringList DroppedFiles(const QMimeData* mime);

class DropArea : public QFrame {
    Q_OBJECT
public:
    explicit DropArea(QWidget* parent = nullptr);

signals:
    // Once for each dropped file, in drop order.
    void fileDropped(const QString& fileName);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

}  // namespace vs::gui
