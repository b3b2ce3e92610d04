#pragma once

#include <QString>
#include <QStringList>

class QPushButton;
class QTableWidget;
class QWidget;

namespace tarvo::gui {

// A read-only table of results, one row a device: whole rows are selected, every column fits its
// text, and a long result wraps in its row of `resultColumn` (see fitResultColumn).
QTableWidget* newResultTable(QWidget* parent, int rows, const QStringList& headers,
                             int resultColumn);

// The table as tab-separated text, header line first: the selected rows, or every row when none
// is selected. Columns listed in `skipColumn` (one, or -1 for none) are left out.
QString tableText(const QTableWidget& table, int skipColumn = -1);

// Ctrl+C in `table` and a click on `button` copy tableText() to the clipboard: the installer
// writes the results down.
void enableTableCopy(QTableWidget& table, QPushButton& button, int skipColumn = -1);

// `resultColumn` takes the room the other columns leave, but never less than `minChars` average
// characters: in a narrow window the table scrolls rather than squeeze the results.
void fitResultColumn(QTableWidget& table, int resultColumn, int minChars);

// The width `table` needs to show every column whole, with room for `resultChars` average
// characters in `resultColumn` (longer results wrap there).
int tableWidth(QTableWidget& table, int resultColumn, int resultChars);

}  // namespace tarvo::gui
