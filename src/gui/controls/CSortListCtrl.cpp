#include "controls/CSortListCtrl.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace tarvo::gui {

CSortListCtrl::CSortListCtrl(QWidget* parent)
    : QTableView(parent), model_(new DeviceListModel(this)), header_(new CSortHeaderCtrl(this)) {
    setHorizontalHeader(header_);
    setModel(model_);
    header_->setStretchLastSection(false);
    header_->setSectionResizeMode(QHeaderView::Interactive);
    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(1);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Ctrl and Shift select several rows (the wall of several cameras); a plain click one.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSortingEnabled(false);  // the header click goes to the table's own sort
    // The right button is handled on press; the Menu key and Shift+F10 come as menu events.
    setContextMenuPolicy(Qt::DefaultContextMenu);
    setFrameShape(QFrame::StyledPanel);
    connect(header_, &QHeaderView::sectionClicked, this, &CSortListCtrl::columnClicked);
}

CSortListCtrl::~CSortListCtrl() {
    detach();
}

void CSortListCtrl::attach(discovery::DeviceTable& table) {
    detach();
    table_ = &table;
    bridge_ = std::make_unique<DeviceTableBridge>(model_);
    std::lock_guard guard(table.lock());
    // Start from what the table holds now; later changes come through the bridge.
    while (model_->rowCount() > 0) model_->removeRowAt(model_->rowCount() - 1);
    const auto rows = table.rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        model_->insertRowTexts(static_cast<int>(i), DeviceTableBridge::cellTexts(rows[i]),
                               rows[i].type);
    }
    table.setListener(bridge_.get());
}

void CSortListCtrl::detach() {
    if (table_ != nullptr) table_->setListener(nullptr);
    table_ = nullptr;
    bridge_.reset();
}

void CSortListCtrl::insertColumn(int column, const QString& header, int width) {
    while (headers_.size() <= column) headers_.append(QString());
    headers_[column] = header;
    model_->setHeaders(headers_);
    while (widths_.size() <= column) widths_.append(0);
    widths_[column] = width;
    fitColumns();
}

// Columns keep their widths while they fit; a wider list shares its extra width among them by
// their widths, so that a wider window shows longer names and states, not an empty strip.
void CSortListCtrl::fitColumns() {
    int total = 0;
    for (int c = 0; c < widths_.size(); ++c) total += widths_[c];
    // What the list grew by, as far as the columns then still fit beside the scroll bar (which
    // comes with the rows): columns wider than the room would only move the last out of sight.
    const int room = width() - 2 * frameWidth() - verticalScrollBar()->sizeHint().width();
    const int extra = baseWidth_ > 0 ? std::min(width() - baseWidth_, room - total) : 0;
    int given = 0;
    for (int c = 0; c < widths_.size(); ++c) {
        int w = widths_[c];
        if (extra > 0 && total > 0) {
            w += c + 1 == widths_.size() ? extra - given : extra * widths_[c] / total;
            given += w - widths_[c];
        }
        setColumnWidth(c, w);
    }
}

void CSortListCtrl::Sort(int column, bool ascending) {
    header_->SetSortArrow(column, ascending);
    if (table_ != nullptr) table_->Sort(column, ascending);
}

void CSortListCtrl::columnClicked(int column) {
    // Columns past the table's own (the site's state) are not the table's to sort.
    if (table_ == nullptr || column >= discovery::kColumnCount) return;
    // The same column again reverses the order; another column starts ascending.
    Sort(column, column == table_->sortColumn() ? !table_->ascending() : true);
}

std::optional<ops::RowHit> CSortListCtrl::rowHit(int row) const {
    if (row < 0 || row >= model_->rowCount()) return std::nullopt;
    return ops::RowHit{model_->text(row, discovery::kColAddress).toStdU16String(),
                       model_->type(row)};
}

void CSortListCtrl::mousePressEvent(QMouseEvent* event) {
    QTableView::mousePressEvent(event);
    const QModelIndex hit = indexAt(event->position().toPoint());
    const int row = hit.isValid() ? hit.row() : -1;
    if (!hit.isValid()) clearSelection();
    if (event->button() == Qt::LeftButton) emit leftClicked(row);
    if (event->button() == Qt::RightButton)
        emit rightClicked(row, event->globalPosition().toPoint());
}

void CSortListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton) return;
    const QModelIndex hit = indexAt(event->position().toPoint());
    emit doubleClickedRow(hit.isValid() ? hit.row() : -1);
}

void CSortListCtrl::removeColumnsFrom(int column) {
    if (column < 0 || column >= headers_.size()) return;
    headers_.resize(column);
    if (widths_.size() > column) widths_.resize(column);
    model_->setHeaders(headers_);
    fitColumns();
}

std::vector<int> CSortListCtrl::selectedRowNumbers() const {
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool CSortListCtrl::showsNoRow() const {
    for (int row = 0; row < model_->rowCount(); ++row)
        if (!isRowHidden(row)) return false;
    return true;
}

void CSortListCtrl::setBaseWidth(int width) {
    baseWidth_ = width;
    fitColumns();
}

void CSortListCtrl::setEmptyText(const QString& text) {
    if (text == emptyText_) return;
    emptyText_ = text;
    viewport()->update();
}

void CSortListCtrl::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (event->reason() != QContextMenuEvent::Mouse) menuFromKeyboard();  // the mouse's on press
}

void CSortListCtrl::keyPressEvent(QKeyEvent* event) {
    // The desktop turns the Menu key into a menu event; Shift+F10 is the list's own.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        event->accept();
        menuFromKeyboard();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CSortListCtrl::menuFromKeyboard() {
    const QModelIndex current = currentIndex();
    const int row =
        current.isValid() && selectionModel()->isRowSelected(current.row()) ? current.row() : -1;
    const QRect at = row >= 0 ? visualRect(model_->index(row, 0)) : QRect(8, 8, 0, 0);
    emit keyboardMenu(row, viewport()->mapToGlobal(at.bottomLeft()));
}

void CSortListCtrl::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (emptyText_.isEmpty() || !showsNoRow()) return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    const QRect room = viewport()->rect().adjusted(24, 24, -24, -24);
    painter.drawText(room, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, emptyText_);
}

void CSortListCtrl::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    fitColumns();
}

}  // namespace tarvo::gui
