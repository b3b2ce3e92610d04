#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include <QString>
#include <QStringList>

#include "common/UiQueue.h"
#include "controls/DeviceListModel.h"
#include "core/discovery/DeviceTable.h"

namespace tarvo::gui {

// Carries the core table's changes to the list model. The table reports them on the thread that
// made them (often a receive thread) with its lock held; each change, with copies of its texts,
// joins a queue that the window's thread empties in order, so widgets are touched only there.
class DeviceTableBridge final : public discovery::DeviceTableListener {
public:
    // A cell as shown: the note column's device type labels are the program's texts, every
    // other column is the device's data.
    static QString cellText(int column, std::u16string_view text);
    // Every cell of a row as shown, in column order.
    static QStringList cellTexts(const discovery::DeviceRow& row);

    explicit DeviceTableBridge(DeviceListModel* model);
    ~DeviceTableBridge() override;
    DeviceTableBridge(const DeviceTableBridge&) = delete;
    DeviceTableBridge& operator=(const DeviceTableBridge&) = delete;

    void rowInserted(int row, const discovery::DeviceRow& texts) override;
    void cellChanged(int row, int column, const std::u16string& text) override;
    void rowRemoved(int row) override;
    void rowMarked(int row, const discovery::DeviceRow& texts) override;
    void rowsSorted(const std::vector<int>& order, int column, bool ascending) override;

private:
    using Change = std::function<void(DeviceListModel&)>;
    void push(Change change);

    UiQueue<Change> queue_;  // closed with the bridge: nothing reaches the model afterwards
};

}  // namespace tarvo::gui
