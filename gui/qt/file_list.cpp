#include "gui/qt/file_list.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

#include <algorithm>

namespace vs::gui {

namespace {

constexpr int kFileNameColumnWidth = 200;
constexpr int kFullNameRole = Qt::UserRole + 1;

}  // namespace

FileList::FileList(QWidget* parent) : QTreeWidget(parent), menu_(new QMenu(this)), delete_(new QAction(tr("Delete"), this)) {
    setColumnCount(2);
    setHeaderLabels({tr("Filename"), tr("Path")});
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setIconSize(QSize(16, 16));
    header()->setStretchLastSection(true);
    header()->setSectionsMovable(false);
    setColumnWidth(0, kFileNameColumnWidth);

    // The shortcut is shown in the menu; the key itself is handled in
    // keyPressEvent, so that it works whenever the list has the keyboard.
    delete_->setShortcut(QKeySequence::Delete);
    delete_->setShortcutContext(Qt::WidgetShortcut);
    menu_->addAction(delete_);
    connect(delete_, &QAction::triggered, this, &FileList::deleteRequested);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { menu_->popup(viewport()->mapToGlobal(at)); });
}

int FileList::addFile(const QString& caption, const QString& folder, const QString& fullName, const QIcon& icon) {
    auto* item = new QTreeWidgetItem({caption, folder});
    item->setIcon(0, icon);
    item->setData(0, kFullNameRole, fullName);
    item->setToolTip(0, fullName);
    item->setToolTip(1, fullName);
    addTopLevelItem(item);
    return topLevelItemCount() - 1;
}

void FileList::removeFileAt(int row) {
    if (row >= 0 && row < topLevelItemCount()) delete takeTopLevelItem(row);
}

void FileList::clearFiles() { clear(); }

QString FileList::caption(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(0) : QString();
}

QString FileList::folder(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(1) : QString();
}

QString FileList::fullName(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->data(0, kFullNameRole).toString() : QString();
}

QList<int> FileList::selectedRows() const {
    QList<int> rows;
    for (QTreeWidgetItem* item : selectedItems()) rows << indexOfTopLevelItem(item);
    std::sort(rows.begin(), rows.end());
    return rows;
}

void FileList::setSelectedRows(const QList<int>& rows) {
    clearSelection();
    for (int row : rows)
        if (QTreeWidgetItem* item = topLevelItem(row)) item->setSelected(true);
}

void FileList::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Delete)) {
        event->accept();
        emit deleteRequested();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace vs::gui
