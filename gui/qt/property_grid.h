#pragma once
// The two-column property grid (pgMovieInfo, pgVI, pgDateTime): labels in
// column 0, values in column 1. Rows are counted as the window counts them:
// with a title row, that is row 0 and the entries start at row 1. Labels and
// the title row never take edits; a value takes them unless its row is read
// only. Editing starts by typing, F2 or a double click, and ends with Enter.
#include <QTableWidget>

namespace vs::gui {

class PropertyGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit PropertyGrid(QWidget* parent = nullptr);

    // Gives the grid a title row 0 with the two headings ("Value:", "Variable name:").
    void setTitleRow(const QString& labelHeading, const QString& valueHeading);
    bool hasTitleRow() const { return titleRow_; }

    // Adds an entry row at the end and returns its row number.
    int addRow(const QString& label, const QString& value = {}, bool readOnly = false);
    // Entry rows stay, the values become empty.
    void clearValues();

    QString label(int row) const;
    void setLabel(int row, const QString& label);
    QString value(int row) const;
    // A row that does not exist is ignored; setting a value emits nothing.
    void setValue(int row, const QString& value);
    bool rowReadOnly(int row) const;
    void setRowReadOnly(int row, bool readOnly);

signals:
    // The user changed the value of a row.
    void valueEdited(int row, const QString& value);

private:
    QTableWidgetItem* valueItem(int row) const;
    void onItemChanged(QTableWidgetItem* item);

    bool titleRow_ = false;
    bool settingByCode_ = false;
};

}  // namespace vs::gui
