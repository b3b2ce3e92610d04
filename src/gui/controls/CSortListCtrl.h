#pragma once

#include <QTableView>

#include <memory>
#include <optional>
#include <vector>

#include "controls/CSortHeaderCtrl.h"
#include "controls/DeviceListModel.h"
#include "controls/DeviceTableBridge.h"
#include "core/discovery/DeviceTable.h"
#include "core/ops/presenter/MainPresenter.h"

namespace tarvo::gui {

// The report-style device list over the core device table: grid lines, full-row selection,
// click-to-sort with the header's arrow. Rows change only through the table; this view shows
// the copy the table's changes keep up to date.
class CSortListCtrl final : public QTableView {
    Q_OBJECT
public:
    explicit CSortListCtrl(QWidget* parent = nullptr);
    ~CSortListCtrl() override;

    // Shows `table` from now on; its changes arrive through queued calls.
    void attach(discovery::DeviceTable& table);
    // Stops following the table (before the table or this view goes away).
    void detach();

    void insertColumn(int column, const QString& header, int width);
    // Sorts by `column` and moves the header's arrow there.
    void Sort(int column, bool ascending);

    // The address and type code of a row as the list holds them; nothing for -1.
    [[nodiscard]] std::optional<ops::RowHit> rowHit(int row) const;
    [[nodiscard]] DeviceListModel* listModel() const { return model_; }
    [[nodiscard]] CSortHeaderCtrl* sortHeader() const { return header_; }

signals:
    // A press on the list: the row under the pointer, or -1 beside the rows.
    void leftClicked(int row);
    void rightClicked(int row, QPoint globalPosition);
    // The Menu key or Shift+F10: the current row (-1: none) and where its menu goes.
    void keyboardMenu(int row, QPoint globalPosition);
    void doubleClickedRow(int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void columnClicked(int column);
    void fitColumns();
    void menuFromKeyboard();

    DeviceListModel* model_;
    CSortHeaderCtrl* header_;
    std::unique_ptr<DeviceTableBridge> bridge_;
    discovery::DeviceTable* table_ = nullptr;
    QStringList headers_;
    QList<int> widths_;  // each column's width at the list's base width
    int baseWidth_ = 0;
    QString emptyText_;

public:
    // Takes away the columns from `column` on (the site's, when the site is closed).
    void removeColumnsFrom(int column);
    // The list's width at which its columns have the widths they were given; a list wider than
    // that shares the difference among them (0: never).
    void setBaseWidth(int width);
    // Shown in the list while it shows no row (empty: nothing).
    void setEmptyText(const QString& text);
    [[nodiscard]] const QString& emptyText() const { return emptyText_; }
    // The rows selected, top to bottom as listed.
    [[nodiscard]] std::vector<int> selectedRowNumbers() const;
    // No row is shown: none listed, or every one hidden by a filter.
    [[nodiscard]] bool showsNoRow() const;
};

}  // namespace tarvo::gui
