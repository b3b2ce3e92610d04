#include "controls/DeviceListModel.h"

#include <QApplication>
#include <QColor>
#include <QStyle>

#include <algorithm>

#include "common/UiText.h"
#include "core/discovery/DeviceTable.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/UiTextTable.h"

namespace tarvo::gui {

DeviceListModel::DeviceListModel(QObject* parent) : QAbstractTableModel(parent) {}

void DeviceListModel::setHeaders(const QStringList& headers) {
    beginResetModel();
    headers_ = headers;
    for (auto& row : rows_) {
        while (row.cells.size() < headers_.size()) row.cells.append(QString());
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
    if (index.row() >= static_cast<int>(rows_.size())) return {};
    const Row& row = rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::BackgroundRole && !row.conflict.isEmpty()) return QColor(255, 205, 205);
    // The MAC cell of a conflict carries a warning sign, seen also while the row is selected.
    if (role == Qt::DecorationRole && !row.conflict.isEmpty() &&
        index.column() == discovery::kColMac) {
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    }
    if (role == Qt::ForegroundRole && row.otherNetwork) return QColor(0, 70, 190);
    if (role == Qt::ToolTipRole) {
        QStringList notes;
        if (!row.conflict.isEmpty()) notes.append(row.conflict);
        if (row.otherNetwork) {
            const auto ui = text::fieldView(text::uiText().notSameNetwork);
            notes.append(uiText(ui.empty() ? text::msg::kRowOtherNetwork : ui));
        }
        if (!notes.isEmpty()) return notes.join(QLatin1Char('\n'));
    }
    return {};
}

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= headers_.size()) return {};
    if (role == Qt::DisplayRole) return headers_[section];
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && section == discovery::kColumnCount && !siteFailure_.isEmpty())
        return siteFailure_;
    return {};
}

void DeviceListModel::insertRowTexts(int row, const QStringList& texts, int type) {
    const int at = std::clamp(row, 0, static_cast<int>(rows_.size()));
    QStringList cells = texts;
    while (cells.size() < headers_.size()) cells.append(QString());
    beginInsertRows({}, at, at);
    rows_.insert(rows_.begin() + at, Row{cells, type, false, {}});
    endInsertRows();
}

void DeviceListModel::setRowMarks(int row, bool otherNetwork, const QString& conflict) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    auto& target = rows_[static_cast<std::size_t>(row)];
    target.otherNetwork = otherNetwork;
    target.conflict = conflict;
    emit dataChanged(index(row, 0), index(row, static_cast<int>(headers_.size()) - 1));
}

void DeviceListModel::setCellText(int row, int column, const QString& text) {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    auto& cells = rows_[static_cast<std::size_t>(row)].cells;
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
    std::vector<Row> sorted;
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
    const auto& cells = rows_[static_cast<std::size_t>(row)].cells;
    if (column == discovery::kColumnCount && column < headers_.size())
        return siteStates_.value(cells.value(discovery::kColAddress));
    return column >= 0 && column < cells.size() ? cells[column] : QString();
}

int DeviceListModel::type(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return 0;
    return rows_[static_cast<std::size_t>(row)].type;
}

void DeviceListModel::setSiteStates(QHash<QString, QString> byAddress) {
    siteStates_ = std::move(byAddress);
    if (rows_.empty() || headers_.size() <= discovery::kColumnCount) return;
    emit dataChanged(index(0, discovery::kColumnCount),
                     index(static_cast<int>(rows_.size()) - 1, discovery::kColumnCount));
}

void DeviceListModel::setSiteFailure(const QString& reason) {
    if (reason == siteFailure_) return;
    siteFailure_ = reason;
    if (headers_.size() > discovery::kColumnCount)
        emit headerDataChanged(Qt::Horizontal, discovery::kColumnCount, discovery::kColumnCount);
}

}  // namespace tarvo::gui
