#include "controls/DeviceListModel.h"

#include <algorithm>

namespace tarvo::gui {

DeviceListModel::DeviceListModel(QObject* parent) : QAbstractTableModel(parent) {}

void DeviceListModel::setHeaders(const QStringList& headers) {
    beginResetModel();
    headers_ = headers;
    for (auto& row : rows_) {
        while (row.size() < headers_.size()) row.append(QString());
    }
    endResetModel();
}

int DeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) return text(index.row(), index.column());
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= headers_.size()) return {};
    if (role == Qt::DisplayRole) return headers_[section];
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void DeviceListModel::insertRowTexts(int row, const QStringList& texts) {
    const int at = std::clamp(row, 0, static_cast<int>(rows_.size()));
    QStringList cells = texts;
    while (cells.size() < headers_.size()) cells.append(QString());
    beginInsertRows({}, at, at);
    rows_.insert(rows_.begin() + at, cells);
    endInsertRows();
}

void DeviceListModel::setCellText(int row, int column, const QString& text) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    auto& cells = rows_[static_cast<std::size_t>(row)];
    if (column < 0 || column >= cells.size()) return;
    cells[column] = text;
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell);
}

void DeviceListModel::removeRowAt(int row) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
}

void DeviceListModel::reorder(const std::vector<int>& order) {
    // The table and this copy always agree; anything but a permutation of our rows is ignored.
    if (order.size() != rows_.size()) return;
    std::vector<int> newIndexOf(order.size(), -1);
    for (std::size_t i = 0; i < order.size(); ++i) {
        const int from = order[i];
        if (from < 0 || from >= static_cast<int>(rows_.size()) ||
            newIndexOf[static_cast<std::size_t>(from)] >= 0)
            return;
        newIndexOf[static_cast<std::size_t>(from)] = static_cast<int>(i);
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<QStringList> sorted;
    sorted.reserve(rows_.size());
    for (int from : order) sorted.push_back(std::move(rows_[static_cast<std::size_t>(from)]));
    rows_ = std::move(sorted);
    // Selected rows stay selected where they moved to.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        after.append(index(newIndexOf[static_cast<std::size_t>(old.row())], old.column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString DeviceListModel::text(int row, int column) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
    const auto& cells = rows_[static_cast<std::size_t>(row)];
    return column >= 0 && column < cells.size() ? cells[column] : QString();
}

}  // namespace tarvo::gui
