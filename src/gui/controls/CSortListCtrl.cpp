#include "controls/CSortListCtrl.h"

#include <QMouseEvent>

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
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setSortingEnabled(false);                      // the header click goes to the table's own sort
    setContextMenuPolicy(Qt::PreventContextMenu);  // the right button is handled on press
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
    setColumnWidth(column, width);
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
    model_->setHeaders(headers_);
}

}  // namespace tarvo::gui
