#pragma once

#include <QDialog>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/UiQueue.h"
#include "core/discovery/DeviceTable.h"
#include "core/site/GuardedUpgrade.h"
#include "core/upgrade/FirmwareUploader.h"

class QCheckBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace tarvo::gui {

class CGradientProgressCtrl;

// Firmware for several devices at once: the devices of the list (name, address, type and the
// version each says as the window opens) with a check box each, one package, and per device a
// progress bar and its result as it comes, whole (wrapped, and on hover). Each device gets its
// own connection and the same rules as the single upgrade dialogs (login first, a camera
// package newer than the camera's version, an NVR part file by name). The results can be
// copied as tab-separated text. Each device that took the package is waited for until it answers
// again and says a new version; the outcome goes to the window's site when one is open.
class CBatchUpgradeDlg : public QDialog {
    Q_OBJECT
public:
    struct Device {
        std::string address;
        int type = 0;
        bool checked = false;
        std::u16string name;
        std::u16string mac = {};  // for the site's record; may be empty
    };
    // The list's devices, the one at `selected` (an address) checked.
    static std::vector<Device> devicesOf(const discovery::DeviceTable& table,
                                         std::u16string_view selected);

    CBatchUpgradeDlg(std::vector<Device> devices, QWidget* parent = nullptr);
    ~CBatchUpgradeDlg() override;

    // The file chooser; tests replace it.
    std::function<QString(QWidget*)> chooseFile_;
    // How long a device that took the package may take to come back; tests shorten it.
    std::chrono::milliseconds waitForDevice_{std::chrono::seconds(300)};

    void done(int result) override;

private:
    struct Row;
    enum Column {
        kColName,
        kColAddress,
        kColType,
        kColVersion,
        kColProgress,
        kColResult,
        kColumns
    };

    // The devices' lines, each with its check box and progress bar.
    void addRows(std::vector<Device> devices);
    // Copy, user, password, start and close, under the table.
    QHBoxLayout* buttonLine();
    void onBrowse();
    void onUpgrade();
    // The work of one device on a thread of the batch: login, rules, connection, upload, up to
    // the device's answer.
    static site::UploadAttempt runDevice(Row& row, const std::string& path,
                                         const std::u16string& user,
                                         const std::u16string& password);
    void showResult(Row& row, const QString& text);
    void showText(Row& row, const QString& text);
    // Asks each device for its version on a thread of its own; the answers fill the column.
    void askVersions();
    void stopAll();

    // Shared with the rows' workers, which a closing dialog does not wait for.
    std::vector<std::shared_ptr<Row>> rows_;
    QTableWidget* table_ = nullptr;
    // The version queries, which a closing dialog does not wait for either.
    std::vector<std::pair<std::thread, std::shared_ptr<std::atomic<bool>>>> versionQueries_;
    QLineEdit* path_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* upgrade_ = nullptr;
    std::shared_ptr<std::atomic<bool>> stop_ = std::make_shared<std::atomic<bool>>(false);
    // The rows' reports on their way to this dialog's thread; dropped once it closed.
    // One device first, the rest once it came back upgraded; a failure then stops the rest.
    QCheckBox* canary_ = nullptr;
    // The batch: one thread at a time, which a closing dialog does not wait for.
    std::thread batch_;
    std::shared_ptr<std::atomic<bool>> batchEnded_;
    std::shared_ptr<UiQueue<std::function<void()>>> calls_ =
        std::make_shared<UiQueue<std::function<void()>>>(
            this, [](std::function<void()>& call) { call(); });
};

}  // namespace tarvo::gui
