#include "controls/DeviceTableBridge.h"

#include <QStringList>

#include "common/UiText.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/text/Messages.h"

namespace tarvo::gui {

QString DeviceTableBridge::cellText(int column, std::u16string_view text) {
    return column == discovery::kColNote ? uiText(text) : dataText(text);
}

DeviceTableBridge::DeviceTableBridge(DeviceListModel* model)
    : queue_(model, [model](Change& change) { change(*model); }) {}

DeviceTableBridge::~DeviceTableBridge() = default;

void DeviceTableBridge::push(Change change) {
    // Queued even on the window's own thread, so that a sort never overtakes earlier inserts.
    queue_.push(std::move(change));
}

void DeviceTableBridge::rowInserted(int row, const discovery::RowTexts& texts) {
    QStringList cells;
    cells.reserve(static_cast<qsizetype>(texts.cells.size()));
    for (const auto& cell : texts.cells)
        cells.append(cellText(static_cast<int>(cells.size()), cell));
    push([row, cells = std::move(cells)](DeviceListModel& model) {
        model.insertRowTexts(row, cells);
    });
    rowMarked(row, texts);
}

void DeviceTableBridge::rowMarked(int row, const discovery::RowTexts& texts) {
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
