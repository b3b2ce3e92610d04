#pragma once

#include "controls/DeviceListModel.h"
#include "core/discovery/DeviceTable.h"

namespace tarvo::gui {

// Carries the core table's changes to the list model. The table reports them on the thread that
// made them (often a receive thread) with its lock held; each becomes a queued call carrying
// copies of the texts, so widgets are touched only on the window's thread and in order.
class DeviceTableBridge final : public discovery::DeviceTableListener {
public:
    explicit DeviceTableBridge(DeviceListModel* model) : model_(model) {}

    void rowInserted(int row, const discovery::RowTexts& texts) override;
    void cellChanged(int row, int column, const std::u16string& text) override;
    void rowRemoved(int row) override;
    void rowsSorted(const std::vector<int>& order, int column, bool ascending) override;

private:
    // Outlives every thread that changes the table: the owner detaches this bridge first.
    DeviceListModel* model_;
};

}  // namespace tarvo::gui
