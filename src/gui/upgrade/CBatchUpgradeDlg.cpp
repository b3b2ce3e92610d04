#include "upgrade/CBatchUpgradeDlg.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <optional>
#include <utility>

#include "common/BackgroundStep.h"
#include "common/RememberedChoices.h"
#include "common/ResultTable.h"
#include "common/UiText.h"
#include "common/UiWait.h"
#include "controls/CGradientProgressCtrl.h"
#include "core/discovery/DeviceCapabilities.h"
#include "core/discovery/DeviceTypes.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/ops/forms/UpgradeSequence.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/TextConvert.h"
#include "core/upgrade/PackageDigest.h"
#include "dialogs/CSiteDlg.h"

namespace tarvo::gui {

// One device's line; hears its upload on the worker thread and hands the news to the dialog.
struct CBatchUpgradeDlg::Row final : upgrade::UploadObserver {
    Row(CBatchUpgradeDlg& owner, Device d)
        : dialog(owner),
          device(std::move(d)),
          calls(owner.calls_),
          stop(owner.stop_),
          nvr(discovery::capabilitiesOf(device.type).upgrade == discovery::UpgradeKind::Nvr),
          uploader(nvr ? upgrade::nvrUpgrade() : upgrade::cameraUpgrade(), *this,
                   upgrade::FirmwareUploader::Connection::Own) {
        uploader.SetTarget(discovery::capabilitiesOf(device.type).defaultPort, device.address);
    }
    ~Row() override = default;
    Row(const Row&) = delete;
    Row& operator=(const Row&) = delete;

    void uploadStarted(int upper, std::uint32_t /*fileSize*/) override {
        post([this, upper] {
            bar->setRange(0, upper);
            bar->setValue(0);
            dialog.showText(*this, uiText(text::msg::kUpgrading));
        });
    }
    void uploadProgress(int position, std::uint64_t /*bytesSent*/) override {
        post([this, position] { bar->setValue(std::min(position, bar->maximum())); });
    }
    // Kept for the batch's thread, which waits for it; the row's line shows the whole outcome
    // once the device was read back.
    void uploadFinished(const upgrade::UploadOutcome& outcome) override {
        {
            std::lock_guard guard(outcomeMutex);
            finished = outcome;
        }
        outcomeReady.notify_all();
    }
    // The upload's outcome, once its worker ends; nothing when the dialog stopped first (the
    // upload is then cancelled).
    std::optional<upgrade::UploadOutcome> awaitUpload() {
        std::unique_lock lock(outcomeMutex);
        while (!finished) {
            if (*stop) {
                lock.unlock();
                uploader.cancel();
                return std::nullopt;
            }
            outcomeReady.wait_for(lock, std::chrono::milliseconds(200));
        }
        return std::exchange(finished, std::nullopt);
    }
    // Calls that arrive after the dialog went are dropped by its queue.
    void post(std::function<void()> call) { calls->push(std::move(call)); }

    CBatchUpgradeDlg& dialog;  // only in calls that run on its thread while it is open
    const Device device;
    // The row may outlive its dialog on its worker; the upload's reports need these.
    const std::shared_ptr<UiQueue<std::function<void()>>> calls;
    const std::shared_ptr<std::atomic<bool>> stop;
    const bool nvr;  // takes NVR part files
    // The row's cells, owned by the dialog's table.
    QTableWidgetItem* check = nullptr;
    CGradientProgressCtrl* bar = nullptr;
    QTableWidgetItem* result = nullptr;
    std::mutex outcomeMutex;
    std::condition_variable outcomeReady;
    std::optional<upgrade::UploadOutcome> finished;
    // Used by the batch's thread only while a batch runs, by the dialog's thread otherwise.
    upgrade::FirmwareUploader uploader;
};

std::vector<CBatchUpgradeDlg::Device> CBatchUpgradeDlg::devicesOf(
    const discovery::DeviceTable& table, std::u16string_view selected) {
    std::vector<Device> devices;
    std::lock_guard guard(table.lock());
    for (int row = 0; row < table.rowCount(); ++row) {
        const discovery::DeviceRow device = table.row(row);
        if (!discovery::allows(device.type, discovery::Operation::Upgrade)) continue;
        devices.push_back({text::toUtf8(device.address), device.type, device.address == selected,
                           device.name, device.mac});
    }
    return devices;
}

CBatchUpgradeDlg::CBatchUpgradeDlg(std::vector<Device> devices, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CBatchUpgradeDlg"));
    setWindowTitle(uiText(text::msg::kBatchUpgradeCaption));
    chooseFile_ = [](QWidget* owner) {
        return QFileDialog::getOpenFileName(owner, QString(),
                                            RememberedChoices::firmwareFolder(false));
    };
    auto* layout = new QVBoxLayout(this);
    namespace msg = text::msg;
    // Every column fits its text; a long result wraps in its row and shows whole on hover.
    table_ = newResultTable(this, static_cast<int>(devices.size()),
                            {uiText(msg::kBatchColName), uiText(msg::kBatchColAddress),
                             uiText(msg::kBatchColType), uiText(msg::kBatchColVersion),
                             uiText(msg::kBatchColProgress), uiText(msg::kBatchColResult)},
                            kColResult);
    table_->setObjectName(QStringLiteral("devices"));
    addRows(std::move(devices));
    layout->addWidget(table_, 1);

    auto* fileLine = new QHBoxLayout;
    fileLine->addWidget(new QLabel(uiText(text::msg::kBatchFileLabel), this));
    path_ = new QLineEdit(this);
    path_->setReadOnly(true);
    fileLine->addWidget(path_, 1);
    auto* browse = new QPushButton(uiText(text::msg::kBatchBrowse), this);
    fileLine->addWidget(browse);
    layout->addLayout(fileLine);

    canary_ = new QCheckBox(uiText(text::msg::kGuardCanaryBox), this);
    canary_->setObjectName(QStringLiteral("canary"));
    layout->addWidget(canary_);

    layout->addLayout(buttonLine());

    // Every column whole and a result of some forty-eight characters beside them (the longest
    // wrap), at most as wide as a small screen.
    const int height =
        table_->horizontalHeader()->sizeHint().height() + table_->verticalHeader()->length() + 160;
    resize(std::min(tableWidth(*table_, kColResult, 48) + 24, 1280), std::clamp(height, 360, 720));
    askVersions();

    connect(browse, &QPushButton::clicked, this, &CBatchUpgradeDlg::onBrowse);
    connect(upgrade_, &QPushButton::clicked, this, &CBatchUpgradeDlg::onUpgrade);
}

void CBatchUpgradeDlg::addRows(std::vector<Device> devices) {
    int line = 0;
    for (Device& device : devices) {
        auto row = std::make_shared<Row>(*this, std::move(device));
        auto item = [&](int column, const QString& text) {
            auto* cell = new QTableWidgetItem(text);
            table_->setItem(line, column, cell);
            return cell;
        };
        row->check = item(kColName, dataText(row->device.name));
        row->check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        row->check->setCheckState(row->device.checked ? Qt::Checked : Qt::Unchecked);
        item(kColAddress, QString::fromStdString(row->device.address));
        item(kColType, uiText(discovery::typeLabel(row->device.type)));
        item(kColVersion, uiText(text::msg::kWaitingForDevice));
        row->result = item(kColResult, QString());
        row->bar = new CGradientProgressCtrl(CGradientProgressCtrl::upgradeColours(), this);
        row->bar->setTextVisible(true);
        row->bar->setMinimumWidth(160);
        row->bar->setValue(0);
        table_->setCellWidget(line, kColProgress, row->bar);
        rows_.push_back(std::move(row));
        ++line;
    }
}

QHBoxLayout* CBatchUpgradeDlg::buttonLine() {
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(uiText(text::msg::kBatchUser), this));
    user_ = new QLineEdit(QStringLiteral("admin"), this);
    bottom->addWidget(user_);
    bottom->addWidget(new QLabel(uiText(text::msg::kBatchPassword), this));
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    bottom->addWidget(password_);
    bottom->addStretch(1);
    upgrade_ = new QPushButton(uiText(text::msg::kBatchStart), this);
    upgrade_->setEnabled(false);
    bottom->addWidget(upgrade_);
    auto* close = new QPushButton(uiText(text::msg::kBatchClose), this);
    bottom->addWidget(close);
    connect(close, &QPushButton::clicked, this, &CBatchUpgradeDlg::reject);
    auto* copy = new QPushButton(uiText(text::msg::kCopyResults), this);
    copy->setObjectName(QStringLiteral("copyButton"));
    bottom->insertWidget(0, copy);
    bottom->insertSpacing(1, 12);
    enableTableCopy(*table_, *copy, kColProgress);
    return bottom;
}

CBatchUpgradeDlg::~CBatchUpgradeDlg() {
    stopAll();
}

void CBatchUpgradeDlg::onBrowse() {
    const QString chosen = chooseFile_(this);
    if (chosen.isEmpty()) return;
    RememberedChoices::rememberFirmwareFile(false, chosen);
    path_->setText(chosen);
    upgrade_->setEnabled(true);
}

void CBatchUpgradeDlg::onUpgrade() {
    if (batch_.joinable()) return;  // one batch at a time
    const std::string path = path_->text().toStdString();
    const std::u16string user = user_->text().toStdU16String();
    const std::u16string password = password_->text().toStdU16String();
    std::vector<std::shared_ptr<Row>> chosen;
    std::vector<site::UpgradeTarget> targets;
    for (auto& row : rows_) {
        // A device receiving a package from elsewhere keeps it: one upload per device.
        if (row->check->checkState() != Qt::Checked || row->uploader.busy()) continue;
        row->bar->setValue(0);
        showText(*row, uiText(text::msg::kBatchWaiting));
        chosen.push_back(row);
        targets.push_back({row->device.address, row->device.type, text::toUtf8(row->device.mac)});
    }
    if (chosen.empty()) return;
    upgrade_->setEnabled(false);
    canary_->setEnabled(false);
    showWorking(*this, true);
    site::GuardedOptions options;
    options.packagePath = path;
    options.canary = canary_->isChecked();
    options.wait = waitForDevice_;
    // As before the box: every device at once unless the first goes alone.
    options.parallel = static_cast<int>(chosen.size());
    // Opened by the batch's threads, never here: another program may hold the site a while.
    options.sitePath = CSiteDlg::currentSitePath().toStdString();
    batchEnded_ = std::make_shared<std::atomic<bool>>(false);
    batch_ =
        std::thread([rows = std::move(chosen), targets = std::move(targets), options, user,
                     password, calls = calls_, stop = stop_, ended = batchEnded_, this]() mutable {
            if (!options.sitePath.empty())
                options.packageSha256 = upgrade::packageSha256(options.packagePath).value_or("");
            site::GuardedHooks hooks;
            hooks.upload = [&](std::size_t i) {
                return runDevice(*rows[i], options.packagePath, user, password);
            };
            hooks.waiting = [&](std::size_t i) {
                Row* row = rows[i].get();
                row->post([row, text = uiText(text::msg::kGuardWaiting)] {
                    row->dialog.showText(*row, text);
                });
            };
            hooks.finished = [&](std::size_t i, const site::GuardedResult& result) {
                Row* row = rows[i].get();
                const QString text = uiText(result.text());
                const QString version = dataText(result.newVersion);
                row->post([row, text, version] {
                    row->dialog.showResult(*row, text);
                    if (!version.isEmpty()) {
                        const int line = row->check->row();
                        row->dialog.table_->item(line, kColVersion)->setText(version);
                    }
                });
            };
            const auto results = site::runGuardedUpgrade(targets, options, hooks, stop.get());
            for (std::size_t i = 0; i < results.size(); ++i) {
                if (results[i].started || *stop) continue;
                Row* row = rows[i].get();
                row->post([row, text = uiText(results[i].text())] {
                    row->dialog.showResult(*row, text);
                });
            }
            // Runs only while the dialog is open, which then still owns the thread.
            calls->push([this] {
                if (batch_.joinable()) batch_.join();
                showWorking(*this, false);
                upgrade_->setEnabled(true);
                canary_->setEnabled(true);
            });
            *ended = true;
        });
}

site::UploadAttempt CBatchUpgradeDlg::runDevice(Row& row, const std::string& path,
                                                const std::u16string& user,
                                                const std::u16string& password) {
    const ops::UpgradeRequest request{
        row.device.address, row.uploader.port(), row.device.type, row.nvr, user, password, path};
    const ops::UpgradeProgress steps =
        ops::runUpgrade(request, row.uploader, [&row] { return row.stop->load(); });
    std::optional<upgrade::UploadOutcome> outcome;
    if (steps.reached == ops::UpgradeStep::Started) outcome = row.awaitUpload();
    return ops::attemptOf(steps, row.nvr, outcome);
}

void CBatchUpgradeDlg::askVersions() {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const Row& row = *rows_[i];
        auto ended = std::make_shared<std::atomic<bool>>(false);
        std::thread query([calls = calls_, this, line = static_cast<int>(i), nvr = row.nvr,
                           address = row.device.address, port = row.uploader.port(), ended] {
            // The connection closes at once; the upload makes its own.
            const std::u16string version =
                ops::openConnection(nvr ? upgrade::nvrUpgrade() : upgrade::cameraUpgrade(), address,
                                    port)
                    .version;
            // Runs only while the dialog is open (a closed queue drops it).
            calls->push([this, line, version] {
                table_->item(line, kColVersion)->setText(dataText(version));
            });
            *ended = true;
        });
        versionQueries_.emplace_back(std::move(query), std::move(ended));
    }
}

void CBatchUpgradeDlg::showText(Row& row, const QString& text) {
    row.result->setText(text);
    row.result->setToolTip(text);
}

void CBatchUpgradeDlg::showResult(Row& row, const QString& text) {
    showText(row, text);
}

void CBatchUpgradeDlg::stopAll() {
    *stop_ = true;
    calls_->close();
    for (auto& [query, ended] : versionQueries_) {
        if (*ended) {
            query.join();
        } else {
            detail::keepUntilDone(std::move(query), std::move(ended));
        }
    }
    versionQueries_.clear();
    if (batch_.joinable() && !*batchEnded_) {
        // Its logins and connections stop before their uploads and end by their own time-outs,
        // its uploads at their next piece, its waits at once; it keeps its rows, and the dialog
        // does not wait for it.
        for (auto& row : rows_) row->outcomeReady.notify_all();
        detail::keepUntilDone(std::move(batch_), batchEnded_);
    } else if (batch_.joinable()) {
        batch_.join();
    }
}

void CBatchUpgradeDlg::done(int result) {
    stopAll();
    QDialog::done(result);
}

}  // namespace tarvo::gui
