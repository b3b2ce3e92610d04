#include "controls/DeviceTableBridge.h"

#include <QMetaObject>
#include <QStringList>

#include "controls/UiText.h"
#include "core/discovery/DeviceTable.h"
#include "core/text/Messages.h"

namespace tarvo::gui {

QString DeviceTableBridge::cellText(int column, std::u16string_view text) {
    return column == discovery::kColNote ? uiText(text) : dataText(text);
}

QStringList DeviceTableBridge::cellTexts(const discovery::DeviceRow& row) {
    QStringList cells;
    cells.reserve(discovery::kColumnCount);
    for (int column = 0; column < discovery::kColumnCount; ++column)
        cells.append(cellText(column, row.cell(column)));
    return cells;
}

DeviceTableBridge::DeviceTableBridge(DeviceListModel* model)
    : model_(model), queue_(std::make_shared<Queue>()) {}

DeviceTableBridge::~DeviceTableBridge() {
    std::lock_guard guard(queue_->mutex);
    queue_->closed = true;
    queue_->changes.clear();
}

void DeviceTableBridge::push(Change change) {
    bool post = false;
    {
        std::lock_guard guard(queue_->mutex);
        if (queue_->closed) return;
        queue_->changes.push_back(std::move(change));
        post = !queue_->scheduled;
        queue_->scheduled = true;
    }
    // One queued call per burst; it runs on the model's thread, after everything posted before.
    // Queued even on the window's own thread, so that a sort never overtakes earlier inserts.
    if (post) {
        QMetaObject::invokeMethod(
            model_, [queue = queue_, model = model_] { drain(queue, model); },
            Qt::QueuedConnection);
    }
}

void DeviceTableBridge::drain(const std::shared_ptr<Queue>& queue, DeviceListModel* model) {
    std::vector<Change> changes;
    {
        std::lock_guard guard(queue->mutex);
        changes.swap(queue->changes);
        queue->scheduled = false;
        if (queue->closed) return;
    }
    for (auto& change : changes) change(*model);
}

void DeviceTableBridge::rowInserted(int row, const discovery::DeviceRow& texts) {
    push([row, cells = cellTexts(texts), type = texts.type](DeviceListModel& model) {
        model.insertRowTexts(row, cells, type);
    });
    rowMarked(row, texts);
}

void DeviceTableBridge::rowMarked(int row, const discovery::DeviceRow& texts) {
    if (texts.sameNetwork && texts.conflictMacs.empty()) return;
    QString conflict;
    if (!texts.conflictMacs.empty()) {
        conflict = uiText(text::msg::kRowConflict);
        for (const auto& mac : texts.conflictMacs) conflict += u' ' + dataText(mac);
    }
    push([row, other = !texts.sameNetwork, conflict](DeviceListModel& model) {
        model.setRowMarks(row, other, conflict);
    });
}

void DeviceTableBridge::cellChanged(int row, int column, const std::u16string& text) {
    push([row, column, cell = cellText(column, text)](DeviceListModel& model) {
        model.setCellText(row, column, cell);
    });
}

void DeviceTableBridge::rowRemoved(int row) {
    push([row](DeviceListModel& model) { model.removeRowAt(row); });
}

void DeviceTableBridge::rowsSorted(const std::vector<int>& order, int /*column*/,
                                   bool /*ascending*/) {
    push([order](DeviceListModel& model) { model.reorder(order); });
}

}  // namespace tarvo::gui
