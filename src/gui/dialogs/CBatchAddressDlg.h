#pragma once

#include <QDialog>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "common/UiQueue.h"
#include "core/discovery/DeviceTable.h"
#include "core/ops/forms/AddressBatch.h"

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tarvo::gui {

class IpAddressEdit;

// "Batch addresses…": the devices of the list with check boxes, the start address, mask,
// gateway and DNS, and a result per device filled in as the batch goes. The batch runs on a
// thread of its own; the dialog stays responsive and cannot be closed until it is done.
class CBatchAddressDlg final : public QDialog {
    Q_OBJECT
public:
    CBatchAddressDlg(std::vector<discovery::DeviceRow> rows, QWidget* parent = nullptr);
    ~CBatchAddressDlg() override;

    void reject() override;
    // Whether a device took new parameters (the window's list no longer shows where it is).
    [[nodiscard]] bool changedAddresses() const { return changedAddresses_; }

private:
    enum Column { kColAddress, kColMac, kColName, kColNew, kColResult, kColumns };

    void start();
    // Runs on the batch's thread: the search, the plan, each write, the confirming search.
    void run(std::vector<int> tableRows, std::uint32_t start, std::uint32_t mask,
             ops::AddressBatchEntry entry);
    // Shows `assignments` (of `tableRows`) on the UI thread.
    void post(const std::vector<int>& tableRows,
              const std::vector<ops::AddressAssignment>& assignments, bool done);

    std::vector<discovery::DeviceRow> rows_;
    QTableWidget* table_ = nullptr;
    IpAddressEdit* start_ = nullptr;
    IpAddressEdit* mask_ = nullptr;
    IpAddressEdit* gateway_ = nullptr;
    IpAddressEdit* dns_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    std::atomic<bool> running_{false};
    bool changedAddresses_ = false;
    // The batch's results on their way to this dialog's thread.
    UiQueue<std::function<void()>> calls_{this, [](std::function<void()>& call) { call(); }};
    std::thread worker_;
};

}  // namespace tarvo::gui
