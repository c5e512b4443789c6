#pragma once
// The report-style list of additional files (lvAddFiles): columns "Filename"
// (200 pixels) and "Path" (the rest), a small icon per row, several rows
// selectable. Each row keeps the full name of its file besides what it shows.
// The context menu's single entry "Delete" and the Delete key both ask for the
// selected rows to go; the window decides.
#include <QIcon>
#include <QList>
#include <QTreeWidget>

class QAction;
class QMenu;

namespace vs::gui {

class FileList : public QTreeWidget {
    Q_OBJECT
public:
    explicit FileList(QWidget* parent = nullptr);

    // Appends a row: caption (file name without folder), folder (with its
    // trailing separator, shown under "Path") and the full name (not shown).
    int addFile(const QString& caption, const QString& folder, const QString& fullName, const QIcon& icon = {});
    void removeFileAt(int row);
    void clearFiles();

    int fileCount() const { return topLevelItemCount(); }
    QString caption(int row) const;
    QString folder(int row) const;
    QString fullName(int row) const;
    // Selected rows in ascending order.
    QList<int> selectedRows() const;
    void setSelectedRows(const QList<int>& rows);

    QMenu* contextMenu() const { return menu_; }
    QAction* deleteAction() const { return delete_; }

signals:
    void deleteRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QMenu* menu_;
    QAction* delete_;
};

}  // namespace vs::gui
