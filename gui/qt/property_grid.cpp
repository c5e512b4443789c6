#include "gui/qt/property_grid.h"

#include <QHeaderView>

namespace vs::gui {

namespace {

constexpr Qt::ItemFlags kFixedFlags = Qt::ItemIsEnabled;
constexpr Qt::ItemFlags kValueFlags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;

}  // namespace

PropertyGrid::PropertyGrid(QWidget* parent) : QTableWidget(0, 2, parent) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked);
    setTabKeyNavigation(false);
    setWordWrap(false);
    connect(this, &QTableWidget::itemChanged, this, &PropertyGrid::onItemChanged);
}

void PropertyGrid::setTitleRow(const QString& labelHeading, const QString& valueHeading) {
    settingByCode_ = true;
    if (!titleRow_) insertRow(0);
    titleRow_ = true;
    QFont bold = font();
    bold.setBold(true);
    for (int column = 0; column < 2; ++column) {
        auto* item = new QTableWidgetItem(column == 0 ? labelHeading : valueHeading);
        item->setFlags(kFixedFlags);
        item->setFont(bold);
        item->setBackground(palette().button());
        setItem(0, column, item);
    }
    settingByCode_ = false;
}

int PropertyGrid::addRow(const QString& label, const QString& value, bool readOnly) {
    settingByCode_ = true;
    const int row = rowCount();
    insertRow(row);
    auto* labelItem = new QTableWidgetItem(label);
    labelItem->setFlags(kFixedFlags);
    setItem(row, 0, labelItem);
    auto* valueItem = new QTableWidgetItem(value);
    valueItem->setFlags(readOnly ? kValueFlags : kValueFlags | Qt::ItemIsEditable);
    setItem(row, 1, valueItem);
    settingByCode_ = false;
    return row;
}

void PropertyGrid::clearValues() {
    for (int row = titleRow_ ? 1 : 0; row < rowCount(); ++row) setValue(row, QString());
}

QTableWidgetItem* PropertyGrid::valueItem(int row) const {
    if (row < 0 || row >= rowCount()) return nullptr;
    return item(row, 1);
}

QString PropertyGrid::label(int row) const {
    const QTableWidgetItem* i = (row >= 0 && row < rowCount()) ? item(row, 0) : nullptr;
    return i ? i->text() : QString();
}

void PropertyGrid::setLabel(int row, const QString& label) {
    if (QTableWidgetItem* i = (row >= 0 && row < rowCount()) ? item(row, 0) : nullptr) {
        settingByCode_ = true;
        i->setText(label);
        settingByCode_ = false;
    }
}

QString PropertyGrid::value(int row) const {
    const QTableWidgetItem* i = valueItem(row);
    return i ? i->text() : QString();
}

void PropertyGrid::setValue(int row, const QString& value) {
    if (QTableWidgetItem* i = valueItem(row)) {
        settingByCode_ = true;
        i->setText(value);
        settingByCode_ = false;
    }
}

bool PropertyGrid::rowReadOnly(int row) const {
    const QTableWidgetItem* i = valueItem(row);
    return !i || !(i->flags() & Qt::ItemIsEditable);
}

void PropertyGrid::setRowReadOnly(int row, bool readOnly) {
    if (titleRow_ && row == 0) return;
    if (QTableWidgetItem* i = valueItem(row)) {
        settingByCode_ = true;  // a change of flags counts as a change of the item
        i->setFlags(readOnly ? kValueFlags : kValueFlags | Qt::ItemIsEditable);
        settingByCode_ = false;
    }
}

void PropertyGrid::onItemChanged(QTableWidgetItem* item) {
    if (settingByCode_ || item->column() != 1) return;
    emit valueEdited(item->row(), item->text());
}

}  // namespace vs::gui
