#include "common/ResultTable.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>

#include <algorithm>
#include <set>

namespace tarvo::gui {

namespace {

// A cell's text on one line, without the tabs that would shift the columns.
QString cellText(const QTableWidgetItem* item) {
    if (item == nullptr) return {};
    QString text = item->text();
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\n' || c == u'\r') c = u' ';
    }
    return text;
}

// Sizes the result column whenever the view or another column changes size.
class ResultColumnFitter final : public QObject {
public:
    ResultColumnFitter(QTableWidget& table, int column, int minWidth)
        : QObject(&table), table_(table), column_(column), minWidth_(minWidth) {
        table.horizontalHeader()->setSectionResizeMode(column, QHeaderView::Interactive);
        table.viewport()->installEventFilter(this);
        connect(table.horizontalHeader(), &QHeaderView::sectionResized, this, [this](int logical) {
            if (logical != column_) fit();
        });
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize) fit();
        return QObject::eventFilter(watched, event);
    }

private:
    void fit() {
        QHeaderView& header = *table_.horizontalHeader();
        int others = 0;
        for (int c = 0; c < header.count(); ++c) {
            if (c != column_) others += header.sectionSize(c);
        }
        header.resizeSection(column_, std::max(table_.viewport()->width() - others, minWidth_));
    }

    QTableWidget& table_;
    const int column_;
    const int minWidth_;
};

}  // namespace

QTableWidget* newResultTable(QWidget* parent, int rows, const QStringList& headers,
                             int resultColumn) {
    auto* table = new QTableWidget(rows, static_cast<int>(headers.size()), parent);
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(true);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    fitResultColumn(*table, resultColumn, 30);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return table;
}

void fitResultColumn(QTableWidget& table, int resultColumn, int minChars) {
    new ResultColumnFitter(table, resultColumn, table.fontMetrics().averageCharWidth() * minChars);
}

QString tableText(const QTableWidget& table, int skipColumn) {
    std::set<int> rows;
    for (const QModelIndex& index : table.selectionModel()->selectedIndexes())
        rows.insert(index.row());
    if (rows.empty()) {
        for (int r = 0; r < table.rowCount(); ++r) rows.insert(r);
    }
    auto line = [&](auto cell) {
        QStringList cells;
        for (int c = 0; c < table.columnCount(); ++c) {
            if (c != skipColumn) cells.append(cell(c));
        }
        return cells.join(u'\t') + u'\n';
    };
    QString out = line([&](int c) { return cellText(table.horizontalHeaderItem(c)); });
    for (const int r : rows) out += line([&](int c) { return cellText(table.item(r, c)); });
    return out;
}

void enableTableCopy(QTableWidget& table, QPushButton& button, int skipColumn) {
    auto copy = [&table, skipColumn] {
        QApplication::clipboard()->setText(tableText(table, skipColumn));
    };
    auto* action = new QAction(&table);
    action->setShortcut(QKeySequence::Copy);
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    table.addAction(action);
    QObject::connect(action, &QAction::triggered, &table, copy);
    QObject::connect(&button, &QPushButton::clicked, &table, copy);
}

int tableWidth(QTableWidget& table, int resultColumn, int resultChars) {
    table.resizeColumnsToContents();
    int width = 2 * table.frameWidth() + table.verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < table.columnCount(); ++c) {
        const int room =
            c == resultColumn ? table.fontMetrics().averageCharWidth() * resultChars : 0;
        width += std::max(table.columnWidth(c), room);
    }
    return width;
}

}  // namespace tarvo::gui
