#include "dialogs/CBatchAddressDlg.h"

#include <arpa/inet.h>

#include <algorithm>
#include <initializer_list>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/MessageBoxes.h"
#include "common/ResultTable.h"
#include "common/UiText.h"
#include "common/UiWait.h"
#include "controls/IpAddressEdit.h"
#include "core/discovery/DeviceCapabilities.h"
#include "core/discovery/DeviceTypes.h"
#include "core/net/NetworkInterfaces.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"

namespace tarvo::gui {

namespace {

// The batch's messages become each device's result; no box pops up from its thread.
class QuietNotifier final : public text::Notifier {
public:
    void message(std::u16string_view) override {}
    void systemError(std::u16string_view) override {}
};

constexpr double kSearchSeconds = 3.0;

bool samePlan(const std::vector<ops::AddressAssignment>& a,
              const std::vector<ops::AddressAssignment>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.oldAddress == y.oldAddress && x.newAddress == y.newAddress && x.result == y.result;
    });
}

}  // namespace

CBatchAddressDlg::CBatchAddressDlg(std::vector<discovery::DeviceRow> rows, QWidget* parent)
    : QDialog(parent), rows_(std::move(rows)) {
    namespace msg = text::msg;
    setObjectName(QStringLiteral("batchAddress"));
    setWindowTitle(uiText(msg::kAddressBatchTitle));
    // Addresses are never cut; a long result wraps in its row (and shows whole on hover).
    table_ = newResultTable(this, static_cast<int>(rows_.size()),
                            {uiText(msg::kAddressBatchOld), uiText(msg::kAddressBatchMac),
                             uiText(msg::kAddressBatchName), uiText(msg::kAddressBatchNew),
                             uiText(msg::kAddressBatchResult)},
                            kColResult);
    table_->setObjectName(QStringLiteral("devices"));
    fillRows();
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!filling_ && item->column() == kColAddress) dropPlan();
    });

    QFormLayout* form = addressForm();
    // The plan depends on the start and the mask only.
    for (auto* edit : {start_, mask_})
        connect(edit, &QLineEdit::textChanged, this, [this] { dropPlan(); });

    auto* copy = new QPushButton(uiText(msg::kCopyResults), this);
    planButton_ = new QPushButton(uiText(msg::kAddressBatchShowPlan), this);
    startButton_ = new QPushButton(uiText(msg::kAddressBatchStart), this);
    closeButton_ = new QPushButton(uiText(msg::kBatchClose), this);
    copy->setObjectName(QStringLiteral("copyButton"));
    planButton_->setObjectName(QStringLiteral("planButton"));
    startButton_->setObjectName(QStringLiteral("startButton"));
    closeButton_->setObjectName(QStringLiteral("closeButton"));
    startButton_->setEnabled(false);
    planButton_->setDefault(true);
    enableTableCopy(*table_, *copy);
    enableInputs(true);
    connect(planButton_, &QPushButton::clicked, this, &CBatchAddressDlg::showPlan);
    connect(startButton_, &QPushButton::clicked, this, &CBatchAddressDlg::start);
    connect(closeButton_, &QPushButton::clicked, this, &CBatchAddressDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(copy);
    buttons->addStretch();
    buttons->addWidget(planButton_);
    buttons->addWidget(startButton_);
    buttons->addWidget(closeButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(form);
    layout->addLayout(buttons);
    // Every column whole and a result of some forty-five characters beside them, at most as
    // wide as a small screen.
    resize(std::min(tableWidth(*table_, kColResult, 45) + 24, 1280), 480);
}

void CBatchAddressDlg::fillRows() {
    filling_ = true;
    for (int r = 0; r < table_->rowCount(); ++r) {
        const auto& row = rows_[static_cast<std::size_t>(r)];
        auto* address = new QTableWidgetItem(dataText(row.address));
        const bool camera = discovery::allows(row.type, discovery::Operation::NetworkSettings);
        address->setCheckState(camera ? Qt::Checked : Qt::Unchecked);
        table_->setItem(r, kColAddress, address);
        table_->setItem(r, kColMac, new QTableWidgetItem(dataText(row.mac)));
        table_->setItem(r, kColName, new QTableWidgetItem(dataText(row.name)));
        table_->setItem(r, kColNew, new QTableWidgetItem());
        table_->setItem(r, kColResult, new QTableWidgetItem());
        if (!camera) setResult(r, uiText(text::msg::kAssignNotCamera));
    }
    filling_ = false;
}

QFormLayout* CBatchAddressDlg::addressForm() {
    auto* form = new QFormLayout;
    start_ = new IpAddressEdit(this);
    mask_ = new IpAddressEdit(this);
    mask_->setText(QStringLiteral("255.255.255.0"));
    gateway_ = new IpAddressEdit(this);
    dns_ = new IpAddressEdit(this);
    user_ = new QLineEdit(QStringLiteral("admin"), this);
    password_ = new QLineEdit(this);
    password_->setEchoMode(QLineEdit::Password);
    start_->setObjectName(QStringLiteral("start"));
    gateway_->setObjectName(QStringLiteral("gateway"));
    password_->setObjectName(QStringLiteral("password"));
    form->addRow(uiText(text::msg::kAddressBatchStartAddress), start_);
    form->addRow(uiText(text::msg::kAddressBatchMask), mask_);
    form->addRow(uiText(text::msg::kAddressBatchGateway), gateway_);
    form->addRow(uiText(text::msg::kAddressBatchDns), dns_);
    form->addRow(uiText(text::msg::kAddressBatchUser), user_);
    form->addRow(uiText(text::msg::kAddressBatchPassword), password_);
    return form;
}

CBatchAddressDlg::~CBatchAddressDlg() {
    if (worker_.joinable()) worker_.join();
}

void CBatchAddressDlg::reject() {
    // Devices are being searched for or changed: the dialog waits for that to end.
    if (!running_.load()) QDialog::reject();
}

void CBatchAddressDlg::setResult(int row, const QString& text) {
    QTableWidgetItem* item = table_->item(row, kColResult);
    item->setText(text);
    item->setToolTip(text);
}

void CBatchAddressDlg::enableInputs(bool enabled) {
    for (QWidget* input : std::initializer_list<QWidget*>{start_, mask_, gateway_, dns_, user_,
                                                          password_, planButton_})
        input->setEnabled(enabled);
    // The check boxes stay visible; only devices that take addresses can be chosen, and none
    // while the batch runs.
    filling_ = true;
    for (int r = 0; r < table_->rowCount(); ++r) {
        const bool camera = discovery::allows(rows_[static_cast<std::size_t>(r)].type,
                                              discovery::Operation::NetworkSettings);
        Qt::ItemFlags flags = Qt::ItemIsSelectable;
        if (camera) flags |= Qt::ItemIsEnabled;
        if (camera && enabled) flags |= Qt::ItemIsUserCheckable;
        table_->item(r, kColAddress)->setFlags(flags);
    }
    filling_ = false;
}

void CBatchAddressDlg::dropPlan() {
    ++generation_;
    if (plan_.empty() && planRows_.empty()) return;
    filling_ = true;
    for (const int r : planRows_) {
        table_->item(r, kColNew)->setText(QString());
        setResult(r, QString());
    }
    filling_ = false;
    plan_.clear();
    planRows_.clear();
    startButton_->setEnabled(false);
}

bool CBatchAddressDlg::prepare(Job& job) {
    if (!net::parseIPv4(start_->dottedText().toStdString(), job.start) || job.start == 0 ||
        !net::parseIPv4(mask_->dottedText().toStdString(), job.mask)) {
        showMessage(this, uiText(text::msg::kAddressBatchBadStart));
        return false;
    }
    for (int r = 0; r < table_->rowCount(); ++r) {
        if (table_->item(r, kColAddress)->checkState() == Qt::Checked) job.tableRows.push_back(r);
    }
    job.generation = generation_;
    return !job.tableRows.empty();
}

void CBatchAddressDlg::showPlan() {
    Job job;
    if (!prepare(job)) return;
    for (const int r : job.tableRows) setResult(r, uiText(text::msg::kAddressBatchSearching));
    launch(std::move(job));
}

void CBatchAddressDlg::start() {
    Job job;
    if (planGeneration_ != generation_ || plan_.empty() || !prepare(job)) return;
    job.write = true;
    job.shown = plan_;
    job.tableRows = planRows_;
    job.entry.user = user_->text().toStdU16String();
    job.entry.password = password_->text().toStdU16String();
    job.entry.mask = mask_->dottedText().toStdString();
    // An empty field keeps each device's own value.
    if (!gateway_->text().isEmpty()) job.entry.gateway = gateway_->dottedText().toStdString();
    if (!dns_->text().isEmpty()) job.entry.dns = dns_->dottedText().toStdString();
    for (std::size_t i = 0; i < plan_.size(); ++i) {
        if (plan_[i].result == ops::AddressAssignment::Result::Planned)
            setResult(planRows_[i], uiText(text::msg::kAddressBatchWriting));
    }
    launch(std::move(job));
}

void CBatchAddressDlg::launch(Job job) {
    running_.store(true);
    showWorking(*this, true);
    enableInputs(false);
    startButton_->setEnabled(false);
    closeButton_->setEnabled(false);
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread([this, job = std::move(job)] { run(job); });
}

void CBatchAddressDlg::run(const Job& job) {
    QuietNotifier notifier;
    ops::AddressBatch batch(notifier);
    batch.search(kSearchSeconds);
    std::vector<discovery::DeviceRow> chosen;
    for (const int r : job.tableRows) chosen.push_back(rows_[static_cast<std::size_t>(r)]);
    auto assignments = batch.plan(chosen, job.start, job.mask);
    // A batch that cannot be carried out completely sends nothing; each row shows why.
    const bool complete = std::none_of(assignments.begin(), assignments.end(),
                                       [](const auto& a) { return a.failed(); });
    if (!job.write || !complete || !samePlan(assignments, job.shown)) {
        // Nothing is written but the plan the user saw.
        post(job, assignments, job.write ? Stage::PlanChanged : Stage::Plan);
        return;
    }
    post(job, assignments, Stage::Writing);
    // Each row shows its device's outcome as its write ends.
    batch.write(assignments, {job.entry}, kSearchSeconds, ops::AddressBatch::kDefaultParallel,
                [&](std::size_t) { post(job, assignments, Stage::Writing); });
    batch.confirm(assignments, kSearchSeconds);
    post(job, assignments, Stage::Done);
}

void CBatchAddressDlg::post(const Job& job, const std::vector<ops::AddressAssignment>& assignments,
                            Stage stage) {
    calls_.push([this, rows = job.tableRows, generation = job.generation, assignments, stage] {
        using Result = ops::AddressAssignment::Result;
        const bool plan = stage == Stage::Plan || stage == Stage::PlanChanged;
        const bool incomplete = std::any_of(assignments.begin(), assignments.end(),
                                            [](const auto& a) { return a.failed(); });
        filling_ = true;
        for (std::size_t i = 0; i < assignments.size() && i < rows.size(); ++i) {
            const auto& a = assignments[i];
            // A device that did not take its planned address keeps its old one.
            const bool untouched = a.result == Result::Refused || a.result == Result::NotFound;
            table_->item(rows[i], kColNew)
                ->setText(untouched ? QString() : QString::fromStdString(a.newAddress));
            if (a.result == Result::Written || a.result == Result::Moved ||
                a.result == Result::NotMoved)
                changedAddresses_ = true;
            // A device being written keeps "changing…" until the confirming search.
            const bool pending = stage != Stage::Done && a.result == Result::Written;
            if (plan && incomplete && a.result == Result::Planned)
                setResult(rows[i], uiText(text::msg::kBatchNotSent));
            else if (plan || (!pending && a.result != Result::Planned))
                setResult(rows[i],
                          dataText(a.resultText()) +
                              (a.searchOnly && plan
                                   ? QStringLiteral("  ") + uiText(text::msg::kPlanSearchOnly)
                                   : QString()));
        }
        filling_ = false;
        if (stage == Stage::Writing) return;
        running_.store(false);
        showWorking(*this, false);
        closeButton_->setEnabled(true);
        if (stage == Stage::Done) return;  // the devices have moved: the list is history
        enableInputs(true);
        plan_ = assignments;
        planRows_ = rows;
        planGeneration_ = generation;
        // Something the planned devices can do; the values may have changed meanwhile.
        const bool any = std::any_of(assignments.begin(), assignments.end(),
                                     [](const auto& a) { return a.result == Result::Planned; });
        startButton_->setEnabled(any && !incomplete && generation == generation_);
        if (stage == Stage::PlanChanged)
            showMessage(this, uiText(text::msg::kAddressBatchPlanChanged));
    });
}

}  // namespace tarvo::gui
