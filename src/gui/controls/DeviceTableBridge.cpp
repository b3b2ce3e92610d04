#include "controls/DeviceTableBridge.h"

#include <QStringList>

#include "common/UiText.h"
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
    : queue_(model, [model](Change& change) { change(*model); }) {}

DeviceTableBridge::~DeviceTableBridge() = default;

void DeviceTableBridge::push(Change change) {
    // Queued even on the window's own thread, so that a sort never overtakes earlier inserts.
    queue_.push(std::move(change));
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
