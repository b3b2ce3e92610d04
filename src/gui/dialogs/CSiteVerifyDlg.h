#pragma once

#include <QDialog>
#include <QImage>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "common/UiQueue.h"
#include "core/discovery/DeviceTable.h"
#include "core/site/SiteVerify.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace tarvo::gui {

// "Verify": every device of the window's list checked (connect, login, firmware version, a
// camera's stream and snapshot), a few at a time on workers, each result recorded in the site.
// The table fills with results and the grid with snapshots as they arrive, so that the installer
// sees where each camera points. Closing stops the run without waiting for it: the workers end
// within their time-outs and record the devices they were on as stopped.
class CSiteVerifyDlg final : public QDialog {
    Q_OBJECT
public:
    // `heard`: the window's rows; `sitePath`: where results go (empty: shown only).
    CSiteVerifyDlg(std::vector<discovery::DeviceRow> heard, QString sitePath,
                   QWidget* parent = nullptr);
    ~CSiteVerifyDlg() override;

    void reject() override;

    // Starts with the fields' values; nothing while a run goes on.
    void start();
    void setCredentials(const QString& user, const QString& password);
    void setSeconds(int seconds);

    [[nodiscard]] bool running() const { return running_; }
    // Results shown so far, and the snapshots among them (for tests).
    [[nodiscard]] int resultCount() const { return done_; }
    [[nodiscard]] int snapshotCount() const;
    [[nodiscard]] QTableWidget* table() const { return table_; }

signals:
    // The run ended (every device has its result).
    void finished();

private:
    // What a worker hands over: one device's result with its thumbnail, or the end of the run.
    struct Item {
        std::optional<site::VerifyResult> result;
        QImage thumbnail;
    };
    void showResult(Item& item);
    void stopRun();

    std::vector<discovery::DeviceRow> heard_;
    QString sitePath_;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QSpinBox* seconds_ = nullptr;
    QSpinBox* parallel_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QLabel* progress_ = nullptr;
    QTableWidget* table_ = nullptr;
    QListWidget* snapshots_ = nullptr;
    bool running_ = false;
    int total_ = 0;
    int done_ = 0;
    int failed_ = 0;
    std::vector<site::VerifyTarget> targets_;
    std::shared_ptr<std::atomic<bool>> stop_;
    std::shared_ptr<std::atomic<bool>> ended_;
    std::shared_ptr<UiQueue<Item>> queue_;
    std::thread worker_;
};

}  // namespace tarvo::gui
