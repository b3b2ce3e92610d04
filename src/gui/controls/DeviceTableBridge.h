#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include <QString>
#include <QStringList>

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
    // Shared with the queued call that empties it, which may run after this bridge is gone.
    struct Queue {
        std::mutex mutex;
        std::vector<Change> changes;  // guarded by mutex
        bool scheduled = false;       // guarded by mutex: an emptying call is on its way
        bool closed = false;          // guarded by mutex: the bridge was detached
    };
    void push(Change change);
    static void drain(const std::shared_ptr<Queue>& queue, DeviceListModel* model);

    DeviceListModel* model_;
    std::shared_ptr<Queue> queue_;
};

}  // namespace tarvo::gui
