#pragma once

#include <QHeaderView>
#include <QSet>

namespace tarvo::gui {

// The device list's header: draws a small raised triangle in the column the list is sorted by,
// pointing up for ascending and down for descending order.
class CSortHeaderCtrl final : public QHeaderView {
    Q_OBJECT
public:
    explicit CSortHeaderCtrl(QWidget* parent = nullptr);

    void SetSortArrow(int column, bool ascending);
    [[nodiscard]] int sortColumn() const { return sortColumn_; }
    [[nodiscard]] bool ascending() const { return ascending_; }

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // One item drawn by this control rather than the style (every column that was sorted once).
    void DrawItem(QPainter* painter, const QRect& rect, int logicalIndex) const;

    int sortColumn_ = -1;
    bool ascending_ = true;
    int pressed_ = -1;
    QSet<int> ownerDrawn_;
};

}  // namespace tarvo::gui
