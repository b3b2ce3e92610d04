#include "upgrade/CBatchUpgradeDlg.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

#include "common/BackgroundStep.h"
#include "common/RememberedChoices.h"
#include "common/ResultTable.h"
#include "common/UiText.h"
#include "controls/CGradientProgressCtrl.h"
#include "core/discovery/DeviceTypes.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/ops/forms/UpgradeSequence.h"
#include "core/ops/presenter/DeviceCapabilities.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/TextConvert.h"

namespace tarvo::gui {

// One device's line; hears its upload on the worker thread and hands the news to the dialog.
struct CBatchUpgradeDlg::Row final : upgrade::UploadObserver {
    Row(CBatchUpgradeDlg& owner, Device d)
        : dialog(owner),
          device(std::move(d)),
          calls(owner.calls_),
          stop(owner.stop_),
          nvr(ops::capabilitiesOf(device.type).upgrade == ops::UpgradeKind::Nvr),
          uploader(nvr ? upgrade::nvrUpgrade() : upgrade::cameraUpgrade(), *this,
                   upgrade::FirmwareUploader::Connection::Own) {
        uploader.SetTarget(ops::capabilitiesOf(device.type).defaultPort, device.address);
    }
    ~Row() override {
        if (worker.joinable()) worker.join();
    }
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
    void uploadFinished(const upgrade::UploadOutcome& outcome) override {
        if (outcome.status == upgrade::UploadStatus::Cancelled) return;
        const std::u16string_view said =
            !outcome.message.empty()                                ? outcome.message
            : outcome.status == upgrade::UploadStatus::NotNewer     ? text::msg::kBatchNotNewer
            : outcome.status == upgrade::UploadStatus::NotConnected ? text::msg::kBatchNotConnected
                                                                    : text::msg::kBatchFailed;
        QString text = uiText(said);
        post([this, text] { dialog.showResult(*this, text); });
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
    upgrade::FirmwareUploader uploader;
    std::thread worker;  // login and connection, until the upload starts
    std::shared_ptr<std::atomic<bool>> workerEnded;
};

std::vector<CBatchUpgradeDlg::Device> CBatchUpgradeDlg::devicesOf(
    const discovery::DeviceTable& table, std::u16string_view selected) {
    std::vector<Device> devices;
    std::lock_guard guard(table.lock());
    for (int row = 0; row < table.rowCount(); ++row) {
        const discovery::DeviceRow device = table.row(row);
        if (!ops::allows(device.type, ops::Operation::Upgrade)) continue;
        devices.push_back(
            {text::toUtf8(device.address), device.type, device.address == selected, device.name});
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
        item(kColVersion, uiText(msg::kWaitingForDevice));
        row->result = item(kColResult, QString());
        row->bar = new CGradientProgressCtrl(CGradientProgressCtrl::upgradeColours(), this);
        row->bar->setTextVisible(true);
        row->bar->setMinimumWidth(160);
        row->bar->setValue(0);
        table_->setCellWidget(line, kColProgress, row->bar);
        rows_.push_back(std::move(row));
        ++line;
    }
    layout->addWidget(table_, 1);

    auto* fileLine = new QHBoxLayout;
    fileLine->addWidget(new QLabel(uiText(text::msg::kBatchFileLabel), this));
    path_ = new QLineEdit(this);
    path_->setReadOnly(true);
    fileLine->addWidget(path_, 1);
    auto* browse = new QPushButton(uiText(text::msg::kBatchBrowse), this);
    fileLine->addWidget(browse);
    layout->addLayout(fileLine);

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
    auto* copy = new QPushButton(uiText(text::msg::kCopyResults), this);
    copy->setObjectName(QStringLiteral("copyButton"));
    bottom->insertWidget(0, copy);
    bottom->insertSpacing(1, 12);
    layout->addLayout(bottom);
    enableTableCopy(*table_, *copy, kColProgress);

    // Every column whole and a result of some forty-eight characters beside them (the longest
    // wrap), at most as wide as a small screen.
    const int height =
        table_->horizontalHeader()->sizeHint().height() + table_->verticalHeader()->length() + 160;
    resize(std::min(tableWidth(*table_, kColResult, 48) + 24, 1280), std::clamp(height, 360, 720));
    askVersions();

    connect(browse, &QPushButton::clicked, this, &CBatchUpgradeDlg::onBrowse);
    connect(upgrade_, &QPushButton::clicked, this, &CBatchUpgradeDlg::onUpgrade);
    connect(close, &QPushButton::clicked, this, &CBatchUpgradeDlg::reject);
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
    const std::string path = path_->text().toStdString();
    const std::u16string user = user_->text().toStdU16String();
    const std::u16string password = password_->text().toStdU16String();
    for (auto& row : rows_) {
        // A device whose last upload still runs, or whose connection is still being made,
        // keeps it: one upload per device.
        if (row->check->checkState() != Qt::Checked || row->uploader.busy() ||
            row->worker.joinable())
            continue;
        row->bar->setValue(0);
        showText(*row, uiText(text::msg::kBatchWaiting));
        row->workerEnded = std::make_shared<std::atomic<bool>>(false);
        row->worker = std::thread([r = row, path, user, password, ended = row->workerEnded] {
            runDevice(*r, path, user, password);
            *ended = true;
        });
    }
}

void CBatchUpgradeDlg::runDevice(Row& row, std::string path, std::u16string user,
                                 std::u16string password) {
    const auto fail = [&row](std::u16string_view why) {
        const QString text = uiText(why);
        row.post([&row, text] { row.dialog.showResult(row, text); });
    };
    const ops::UpgradeRequest request{
        row.device.address, row.uploader.port(), row.device.type, row.nvr,
        std::move(user),    std::move(password), std::move(path)};
    const ops::UpgradeProgress steps =
        ops::runUpgrade(request, row.uploader, [&row] { return row.stop->load(); });
    if (*row.stop) return;
    switch (steps.reached) {
        case ops::UpgradeStep::Package:
        case ops::UpgradeStep::PartRule:
        case ops::UpgradeStep::Connect:
            return fail(steps.outcome.message);
        case ops::UpgradeStep::Login:
            return fail(steps.outcome.message.empty() ? text::msg::kControlFailed
                                                      : steps.outcome.message);
        case ops::UpgradeStep::Start:
            // Refused only while the device receives a package from elsewhere.
            return fail(text::msg::kBatchFailed);
        case ops::UpgradeStep::Started:
            return;
    }
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
    // The worker has ended or ends now: the row may run again.
    if (row.worker.joinable()) row.worker.join();
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
    for (auto& row : rows_) {
        if (row->worker.joinable() && !*row->workerEnded) {
            // Still logging in or connecting: it stops before its upload and ends by its own
            // time-outs, keeping its row; the dialog does not wait for it. An upload it started
            // all the same stops when the row goes.
            detail::keepUntilDone(std::move(row->worker), row->workerEnded);
            continue;
        }
        if (row->worker.joinable()) row->worker.join();
        row->uploader.cancel();  // a running upload stops at its next piece
    }
}

void CBatchUpgradeDlg::done(int result) {
    stopAll();
    QDialog::done(result);
}

}  // namespace tarvo::gui
