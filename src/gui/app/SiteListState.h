#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/UiQueue.h"
#include "core/discovery/DeviceTable.h"
#include "core/site/PlanCsv.h"
#include "core/site/SiteFile.h"
#include "core/site/SiteStatus.h"

class QAction;
class QActionGroup;
class QTimer;

namespace tarvo::gui {

class CSortListCtrl;

// The main list against the window's site: a state column at the end while a site is open and a
// filter per state. The site is read (and each settled search recorded in it) on a worker, as it
// may be busy in another program for a while; the window keeps the last reading meanwhile and
// sets each row's state from it as rows come and go.
class SiteListState final : public QObject {
    Q_OBJECT
public:
    // The filter's choices, in the order of its menu entries.
    enum Filter { kAll = 0, kInPlace, kElsewhere, kNew, kMissing, kFirmwareChanged, kFilters };

    // `sitePath` says which site the window has now (empty: none).
    SiteListState(discovery::DeviceTable& table, CSortListCtrl& list,
                  std::function<QString()> sitePath, QObject* parent);
    ~SiteListState() override;
    SiteListState(const SiteListState&) = delete;
    SiteListState& operator=(const SiteListState&) = delete;

    // Reads the window's site again; `record` also records the rows listed now as a search.
    void reload(bool record = false);
    void setFilter(int filter);
    [[nodiscard]] int filter() const { return filter_; }
    // The filter's entries (one checkable group), for the menus.
    [[nodiscard]] const std::vector<QAction*>& filterActions() const { return actions_; }

    // The site shown: its name (the file's when it has none); empty while none is read.
    [[nodiscard]] const QString& siteName() const { return name_; }
    // The state the list is filtered on, as its menu entry reads; empty when it shows all.
    [[nodiscard]] QString filterText() const;
    // The devices of the last reading against the listed rows, the missing ones included.
    [[nodiscard]] const std::vector<site::DeviceStatus>& status() const { return status_; }
    // Readings finished since start (for tests: the one wanted has arrived).
    [[nodiscard]] int readings() const { return readings_; }
    // How long the list waits after its last change before it takes the search as settled.
    static constexpr int kSettleMs = 1500;

signals:
    // The site shown or the filter changed.
    void siteChanged();
    // The "missing" filter was chosen: those devices answer no search, so the list cannot show
    // them.
    void missingWanted();
    // The selected row went out of sight under the filter.
    void selectionHidden();

private:
    struct Reading {
        QString path;
        std::string name;
        std::vector<site::PlanRow> plan;
        std::vector<site::KnownDevice> known;
        std::string failure;
    };
    void startReading(bool record);
    void readingDone(Reading reading);
    void showStates();
    void applyFilter();
    void setColumn(bool shown);

    discovery::DeviceTable& table_;
    CSortListCtrl& list_;
    std::function<QString()> sitePath_;
    int filter_ = kAll;
    std::vector<QAction*> actions_;
    QActionGroup* group_ = nullptr;
    QTimer* settle_ = nullptr;
    QTimer* recompute_ = nullptr;

    // What a row shows of its device(s): an address from which several MACs answer has a state
    // for each.
    struct RowState {
        QString text;
        unsigned filters = 0;  // bit i: the row passes filter i
    };

    std::optional<Reading> site_;         // the last reading of the site now open
    QHash<QString, RowState> rowStates_;  // by address
    QString name_;
    std::vector<site::DeviceStatus> status_;
    int readings_ = 0;

    bool reading_ = false;
    // A reading asked for while one runs: done after it (with recording when any asked for it).
    std::optional<bool> again_;
    UiQueue<std::function<void()>> calls_{this, [](std::function<void()>& call) { call(); }};
    std::thread worker_;
};

}  // namespace tarvo::gui
