#include "controls/DeviceTableBridge.h"

#include <QMetaObject>
#include <QStringList>

namespace tarvo::gui {

namespace {

template <typename Call>
void post(DeviceListModel* model, Call&& call) {
    // Queued even on the window's own thread: earlier changes from receive threads may still be
    // waiting in the queue, and the model must see every change in table order.
    if (model != nullptr)
        QMetaObject::invokeMethod(model, std::forward<Call>(call), Qt::QueuedConnection);
}

}  // namespace

void DeviceTableBridge::rowInserted(int row, const discovery::RowTexts& texts) {
    QStringList cells;
    cells.reserve(static_cast<qsizetype>(texts.cells.size()));
    for (const auto& cell : texts.cells) cells.append(QString::fromStdU16String(cell));
    DeviceListModel* model = model_;
    post(model, [model, row, cells] { model->insertRowTexts(row, cells); });
}

void DeviceTableBridge::cellChanged(int row, int column, const std::u16string& text) {
    DeviceListModel* model = model_;
    post(model, [model, row, column, cell = QString::fromStdU16String(text)] {
        model->setCellText(row, column, cell);
    });
}

void DeviceTableBridge::rowRemoved(int row) {
    DeviceListModel* model = model_;
    post(model, [model, row] { model->removeRowAt(row); });
}

void DeviceTableBridge::rowsSorted(const std::vector<int>& order, int /*column*/,
                                   bool /*ascending*/) {
    DeviceListModel* model = model_;
    post(model, [model, order] { model->reorder(order); });
}

}  // namespace tarvo::gui
