#pragma once

#include <QDialog>
#include <QHash>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "common/UiQueue.h"
#include "core/discovery/DeviceTable.h"
#include "core/site/SiteApply.h"
#include "core/site/SiteFile.h"
#include "core/site/SiteStatus.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tarvo::gui {

struct WallCamera;

// "Site": the open site file, its devices' states against the window's last search (with a
// filter per state), the import of an address plan and its application. Reopens the last site.
// The plan is applied on a thread of its own, which first shows what would change and asks.
class CSiteDlg final : public QDialog {
    Q_OBJECT
public:
    // `heard` gives the rows of the window's list.
    CSiteDlg(std::function<std::vector<discovery::DeviceRow>()> heard, QWidget* parent = nullptr);
    ~CSiteDlg() override;

    void reject() override;

    // What the menu entries do once a file was chosen; each reports a failure in a box.
    bool openSite(const QString& path);
    bool importPlan(const QString& path);
    // Asks for the files, then does the above.
    void chooseNewSite();
    void chooseSite();
    void choosePlan();
    // Checks the plan against a new search, shows what changes and, when confirmed, applies it.
    void apply();
    // Verifies the devices of the window's list into this site.
    void verify();
    // The wall of the plan's cameras, with the credentials of the window's fields.
    void wall();
    // The plan's cameras in the plan's order, with its names and locations, where each answers
    // now (where it was planned when it does not).
    [[nodiscard]] std::vector<WallCamera> wallCameras() const;

    // The devices shown (after the filter), for tests.
    [[nodiscard]] const std::vector<site::DeviceStatus>& shown() const { return shown_; }
    void setFilter(int index);  // 0: all, then the states, then "firmware changed"

    // The key under which the last site's path is remembered.
    static constexpr const char* kLastSiteKey = "site/last";
    // The window's site: the one last opened, while its file is there (empty otherwise). Work on
    // devices done elsewhere in the window (upgrades) is recorded in it.
    static QString currentSitePath();

    // Asks for the report's file (HTML or PDF), then makes it.
    void chooseReport();
    // Makes the site's report at `path` on the dialog's worker, then says where it went or why
    // not. False when it was not started (no site, another task running, a wrong file name).
    bool makeReport(const QString& path);
    // Whether a task (the plan's application, a report) runs, for tests.
    [[nodiscard]] bool busy() const { return running_.load(); }

private:
    // The site open when the window was last closed, if it can still be read.
    void reopenLastSite();
    void refresh();
    void runApply(site::ApplyOptions options, bool dryRun);
    void showApplied(const site::ApplyReport& report, bool dryRun,
                     const site::ApplyOptions& options);

    std::function<std::vector<discovery::DeviceRow>()> heard_;
    std::unique_ptr<site::SiteFile> site_;
    std::vector<site::DeviceStatus> status_;
    std::vector<site::DeviceStatus> shown_;
    QLabel* path_ = nullptr;
    QComboBox* filter_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QPushButton* applyButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    std::atomic<bool> running_{false};
    UiQueue<std::function<void()>> calls_{this, [](std::function<void()>& call) { call(); }};
    std::thread worker_;

public:
    // The result of the apply running (or last run) of the row of `mac`, as it shows it.
    [[nodiscard]] QString resultOf(const QString& mac) const { return results_.value(mac); }
    // Shows the result of the row of `mac`; the apply calls it as each device is done.
    void showResult(const QString& mac, const QString& result);

private:
    QHash<QString, QString> results_;  // by MAC
    QHash<QString, int> lines_;        // the plan's lines by MAC
    QPushButton* reportButton_ = nullptr;
};

}  // namespace tarvo::gui
