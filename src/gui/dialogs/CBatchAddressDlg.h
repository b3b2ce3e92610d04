#pragma once

#include <QDialog>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "common/UiQueue.h"
#include "core/discovery/DeviceTable.h"
#include "core/ops/forms/AddressBatch.h"

class QFormLayout;
class QLineEdit;
class QPushButton;
class QString;
class QTableWidget;

namespace tarvo::gui {

class IpAddressEdit;

// "Batch addresses…": the devices of the list with check boxes, the start address, mask,
// gateway and DNS. "Show plan" searches and shows, before anything is sent, each device's new
// address or why it is skipped; Start (possible only with the plan of the current values shown)
// writes it, filling in a result per device as the batch goes. The searches and the batch run
// on a thread of their own; the dialog stays responsive and cannot be closed until they are
// done. The results can be copied as tab-separated text.
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
    // What a report of the batch's thread is: a plan (shown, or found different from the one
    // shown when Start was pressed), the writes going on, or the end.
    enum class Stage { Plan, PlanChanged, Writing, Done };
    struct Job {
        std::vector<int> tableRows;
        std::uint32_t start = 0;
        std::uint32_t mask = 0;
        int generation = 0;
        bool write = false;  // Start: write `shown` if a new search plans the same
        std::vector<ops::AddressAssignment> shown;
        ops::AddressBatchEntry entry;
    };

    // The devices' lines: cameras checked, the others marked as no camera.
    void fillRows();
    // Start address, mask, gateway, DNS and the login, under the table.
    QFormLayout* addressForm();
    void showPlan();
    void start();
    // Reads the values and the chosen rows; false (with a message) when the start is invalid.
    bool prepare(Job& job);
    void launch(Job job);
    // Runs on the batch's thread: the search, the plan, and with Start each write and the
    // confirming search.
    void run(const Job& job);
    // Shows `assignments` (of `tableRows`) on the UI thread.
    void post(const Job& job, const std::vector<ops::AddressAssignment>& assignments, Stage stage);
    // A value or the choice of devices changed: the plan shown no longer holds.
    void dropPlan();
    void setResult(int row, const QString& text);
    void enableInputs(bool enabled);

    std::vector<discovery::DeviceRow> rows_;
    QTableWidget* table_ = nullptr;
    IpAddressEdit* start_ = nullptr;
    IpAddressEdit* mask_ = nullptr;
    IpAddressEdit* gateway_ = nullptr;
    IpAddressEdit* dns_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* planButton_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    std::atomic<bool> running_{false};
    bool changedAddresses_ = false;
    // The plan shown and what it was made for; any change of the values counts up generation_.
    std::vector<ops::AddressAssignment> plan_;
    std::vector<int> planRows_;
    int generation_ = 0;
    int planGeneration_ = -1;
    bool filling_ = false;  // the dialog itself changes the table
    // The batch's results on their way to this dialog's thread.
    UiQueue<std::function<void()>> calls_{this, [](std::function<void()>& call) { call(); }};
    std::thread worker_;
};

}  // namespace tarvo::gui
