#include "app/SiteListState.h"

#include <QAction>
#include <QActionGroup>
#include <QHash>
#include <QTimer>

#include <unordered_map>

#include "common/UiText.h"
#include "controls/CSortListCtrl.h"
#include "core/text/Messages.h"

namespace tarvo::gui {

namespace {

using State = site::DeviceStatus::State;

constexpr int kRecomputeMs = 100;
constexpr int kSiteColumnWidth = 150;

}  // namespace

SiteListState::SiteListState(discovery::DeviceTable& table, CSortListCtrl& list,
                             std::function<QString()> sitePath, QObject* parent)
    : QObject(parent), table_(table), list_(list), sitePath_(std::move(sitePath)) {
    group_ = new QActionGroup(this);
    group_->setExclusive(true);
    const QString texts[kFilters] = {
        uiText(text::msg::kSiteShowAll),   uiText(text::msg::kSiteInPlace),
        uiText(text::msg::kSiteElsewhere), uiText(text::msg::kSiteNew),
        uiText(text::msg::kSiteMissing),   uiText(text::msg::kSiteFirmwareChanged)};
    for (int f = 0; f < kFilters; ++f) {
        auto* action = new QAction(texts[f], group_);
        action->setCheckable(true);
        action->setChecked(f == kAll);
        action->setObjectName(QStringLiteral("siteFilter%1").arg(f));
        connect(action, &QAction::triggered, this, [this, f] {
            setFilter(f);
            if (f == kMissing) emit missingWanted();
        });
        actions_.push_back(action);
    }

    // A search empties the list and fills it as replies come: once it has been quiet for a
    // while, the search is taken as done and recorded in the site.
    settle_ = new QTimer(this);
    settle_->setSingleShot(true);
    settle_->setInterval(kSettleMs);
    connect(settle_, &QTimer::timeout, this, [this] { reload(true); });
    recompute_ = new QTimer(this);
    recompute_->setSingleShot(true);
    recompute_->setInterval(kRecomputeMs);
    connect(recompute_, &QTimer::timeout, this, &SiteListState::showStates);
    auto* model = list_.listModel();
    const auto changed = [this] {
        settle_->start();
        recompute_->start();
    };
    connect(model, &QAbstractItemModel::rowsInserted, this, changed);
    connect(model, &QAbstractItemModel::rowsRemoved, this, changed);
    connect(model, &QAbstractItemModel::modelReset, recompute_, qOverload<>(&QTimer::start));
}

SiteListState::~SiteListState() {
    calls_.close();
    if (worker_.joinable()) worker_.join();
}

void SiteListState::reload(bool record) {
    if (reading_) {
        again_ = again_.value_or(false) || record;
        return;
    }
    startReading(record);
}

void SiteListState::startReading(bool record) {
    const QString path = sitePath_();
    if (path.isEmpty()) {
        readingDone(Reading{});
        return;
    }
    reading_ = true;
    if (worker_.joinable()) worker_.join();  // it handed its reading over: it has ended
    std::vector<discovery::DeviceRow> rows;
    if (record) rows = table_.rows();
    worker_ = std::thread([this, path, rows = std::move(rows)] {
        Reading r;
        r.path = path;
        try {
            auto site = site::SiteFile::open(path.toStdString(), false);
            if (!rows.empty()) site->recordSearch(rows, site::SiteFile::now());
            r.name = site->name();
            r.plan = site->plan();
            r.known = site->knownDevices();
        } catch (const site::SiteError& e) {
            r.failure = e.what();
        }
        calls_.push([this, r = std::move(r)]() mutable { readingDone(std::move(r)); });
    });
}

void SiteListState::readingDone(Reading reading) {
    reading_ = false;
    ++readings_;
    if (reading.path.isEmpty()) {
        site_.reset();
    } else if (reading.failure.empty()) {
        site_ = std::move(reading);
        list_.listModel()->setSiteFailure({});
    } else if (!site_ || site_->path != reading.path) {
        // A site that cannot be read is not shown as if it had no devices.
        site_.reset();
        list_.listModel()->setSiteFailure(QString::fromStdString(reading.failure));
    } else {
        // Busy or gone bad since the last reading: that reading stays, with the reason on hover.
        list_.listModel()->setSiteFailure(QString::fromStdString(reading.failure));
    }
    const QString name = site_ ? QString::fromStdString(site_->name) : QString();
    const bool nameChanged = name != name_;
    name_ = name;
    setColumn(site_.has_value());
    showStates();
    if (nameChanged) emit siteChanged();
    if (again_) {
        const bool record = *again_;
        again_.reset();
        startReading(record);
    }
}

void SiteListState::setColumn(bool shown) {
    const bool has = list_.listModel()->columnCount() > discovery::kColumnCount;
    if (shown && !has) {
        list_.insertColumn(discovery::kColumnCount, uiText(text::msg::kSiteColumn),
                           kSiteColumnWidth);
    } else if (!shown && has) {
        list_.removeColumnsFrom(discovery::kColumnCount);
    }
    group_->setEnabled(shown);
}

void SiteListState::showStates() {
    recompute_->stop();
    rowStates_.clear();
    if (!site_) {
        status_.clear();
        list_.listModel()->setSiteStates({});
        applyFilter();
        return;
    }
    status_ = site::siteStatus(site_->plan, site_->known, table_.rows());
    for (const auto& s : status_) {
        if (s.address.empty()) continue;
        const QString address = QString::fromStdString(s.address);
        QString shown = dataText(site::stateText(s.state));
        unsigned bits = 1u << (static_cast<int>(s.state) + kInPlace);
        if (s.firmwareChanged) {
            shown += uiText(text::msg::kVerifySeparator) + uiText(text::msg::kSiteFirmwareChanged);
            bits |= 1u << kFirmwareChanged;
        }
        auto& row = rowStates_[address];
        if (!row.text.isEmpty() && !row.text.contains(shown))
            row.text += uiText(text::msg::kStatesSeparator) + shown;
        else if (row.text.isEmpty())
            row.text = shown;
        row.filters |= bits;
    }
    QHash<QString, QString> texts;
    for (auto it = rowStates_.cbegin(); it != rowStates_.cend(); ++it)
        texts.insert(it.key(), it.value().text);
    list_.listModel()->setSiteStates(std::move(texts));
    // The state column is the last one: wide enough for its longest text in either language.
    if (list_.listModel()->columnCount() > discovery::kColumnCount) {
        list_.resizeColumnToContents(discovery::kColumnCount);
        if (list_.columnWidth(discovery::kColumnCount) < kSiteColumnWidth)
            list_.setColumnWidth(discovery::kColumnCount, kSiteColumnWidth);
    }
    applyFilter();
}

void SiteListState::setFilter(int filter) {
    const int before = filter_;
    filter_ = filter >= 0 && filter < kFilters ? filter : kAll;
    actions_[static_cast<std::size_t>(filter_)]->setChecked(true);
    applyFilter();
    if (filter_ != before) emit siteChanged();
}

void SiteListState::applyFilter() {
    const auto* model = list_.listModel();
    const bool filtering = site_.has_value() && filter_ != kAll;
    bool hidSelection = false;
    for (int r = 0; r < model->rowCount(); ++r) {
        bool hide = false;
        if (filtering) {
            const auto found = rowStates_.find(model->text(r, discovery::kColAddress));
            hide = found == rowStates_.end() || (found->filters & (1u << filter_)) == 0;
        }
        if (list_.isRowHidden(r) != hide) list_.setRowHidden(r, hide);
        if (hide && list_.selectionModel()->isRowSelected(r, {})) hidSelection = true;
    }
    if (hidSelection) {
        list_.clearSelection();
        emit selectionHidden();
    }
}

}  // namespace tarvo::gui

namespace tarvo::gui {

QString SiteListState::filterText() const {
    return site_ && filter_ != kAll ? actions_[static_cast<std::size_t>(filter_)]->text()
                                    : QString();
}

}  // namespace tarvo::gui
