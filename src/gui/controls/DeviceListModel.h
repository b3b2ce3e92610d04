#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

#include <vector>

namespace tarvo::gui {

// The rows the device list shows: a copy of the core device table, kept in step by the changes
// the table reports (delivered on the window's thread, in the order they were made).
class DeviceListModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DeviceListModel(QObject* parent = nullptr);

    void setHeaders(const QStringList& headers);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The changes of the core table, replayed.
    void insertRowTexts(int row, const QStringList& texts, int type);
    // Marks of a row, shown as its colour and tooltip: the device lies outside the subnet of the
    // interface that heard it; `conflict` names the MACs answering from its one address.
    void setRowMarks(int row, bool otherNetwork, const QString& conflict);
    void setCellText(int row, int column, const QString& text);
    void removeRowAt(int row);
    // `order[i]` is the former index of the row now at i.
    void reorder(const std::vector<int>& order);

    [[nodiscard]] QString text(int row, int column) const;
    // The device type code of a row (0 for no such row).
    [[nodiscard]] int type(int row) const;

private:
    struct Row {
        QStringList cells;
        int type = 0;
        bool otherNetwork = false;
        QString conflict;
    };
    QStringList headers_;
    std::vector<Row> rows_;

public:
    // The site's state of each listed address, shown in the column after the table's own while
    // the list has one; it follows its device through sorts and searches.
    void setSiteStates(QHash<QString, QString> byAddress);
    // Why the site could not be read again (empty: it was), on the column header's tooltip.
    void setSiteFailure(const QString& reason);

private:
    QHash<QString, QString> siteStates_;
    QString siteFailure_;
};

}  // namespace tarvo::gui
