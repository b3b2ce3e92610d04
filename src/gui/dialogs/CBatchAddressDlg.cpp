#include "dialogs/CBatchAddressDlg.h"

#include <arpa/inet.h>

#include <algorithm>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/MessageBoxes.h"
#include "common/UiText.h"
#include "controls/IpAddressEdit.h"
#include "core/discovery/DeviceTypes.h"
#include "core/net/NetworkInterfaces.h"
#include "core/ops/presenter/DeviceCapabilities.h"
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

}  // namespace

CBatchAddressDlg::CBatchAddressDlg(std::vector<discovery::DeviceRow> rows, QWidget* parent)
    : QDialog(parent), rows_(std::move(rows)) {
    setObjectName(QStringLiteral("batchAddress"));
    setWindowTitle(uiText(u"批量修改IP…"));
    table_ = new QTableWidget(static_cast<int>(rows_.size()), kColumns, this);
    table_->setHorizontalHeaderLabels({uiText(u"旧地址"), uiText(u"mac地址"), uiText(u"名称"),
                                       uiText(u"新地址"), uiText(u"结果")});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    for (int r = 0; r < table_->rowCount(); ++r) {
        const auto& row = rows_[static_cast<std::size_t>(r)];
        auto* address = new QTableWidgetItem(dataText(row.address));
        const bool camera = ops::allows(row.type, ops::Operation::NetworkSettings);
        address->setFlags(camera ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable : Qt::NoItemFlags);
        address->setCheckState(camera ? Qt::Checked : Qt::Unchecked);
        table_->setItem(r, kColAddress, address);
        table_->setItem(r, kColMac, new QTableWidgetItem(dataText(row.mac)));
        table_->setItem(r, kColName, new QTableWidgetItem(dataText(row.name)));
        table_->setItem(r, kColNew, new QTableWidgetItem());
        table_->setItem(
            r, kColResult,
            new QTableWidgetItem(camera ? QString() : uiText(text::msg::kAssignNotCamera)));
    }
    table_->resizeColumnsToContents();

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
    password_->setObjectName(QStringLiteral("password"));
    table_->setObjectName(QStringLiteral("devices"));
    form->addRow(uiText(u"起始地址"), start_);
    form->addRow(uiText(u"子网掩码"), mask_);
    form->addRow(uiText(u"网关"), gateway_);
    form->addRow(uiText(u"DNS服务器"), dns_);
    form->addRow(uiText(u"用户名"), user_);
    form->addRow(uiText(u"密码"), password_);

    startButton_ = new QPushButton(uiText(u"开始"), this);
    closeButton_ = new QPushButton(uiText(u"关闭"), this);
    startButton_->setObjectName(QStringLiteral("startButton"));
    connect(startButton_, &QPushButton::clicked, this, &CBatchAddressDlg::start);
    connect(closeButton_, &QPushButton::clicked, this, &CBatchAddressDlg::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(startButton_);
    buttons->addWidget(closeButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(form);
    layout->addLayout(buttons);
    resize(640, 480);
}

CBatchAddressDlg::~CBatchAddressDlg() {
    if (worker_.joinable()) worker_.join();
}

void CBatchAddressDlg::reject() {
    // Devices are being changed one after another: the dialog waits for the batch to end.
    if (!running_.load()) QDialog::reject();
}

void CBatchAddressDlg::start() {
    std::uint32_t start = 0;
    std::uint32_t mask = 0;
    if (!net::parseIPv4(start_->dottedText().toStdString(), start) || start == 0 ||
        !net::parseIPv4(mask_->dottedText().toStdString(), mask)) {
        showMessage(this, uiText(u"起始地址无效"));
        return;
    }
    std::vector<int> chosen;
    for (int r = 0; r < table_->rowCount(); ++r) {
        if (table_->item(r, kColAddress)->checkState() == Qt::Checked) chosen.push_back(r);
    }
    if (chosen.empty()) return;
    ops::AddressBatchEntry entry;
    entry.user = user_->text().toStdU16String();
    entry.password = password_->text().toStdU16String();
    entry.mask = mask_->dottedText().toStdString();
    // An empty field keeps each device's own value.
    if (!gateway_->text().isEmpty()) entry.gateway = gateway_->dottedText().toStdString();
    if (!dns_->text().isEmpty()) entry.dns = dns_->dottedText().toStdString();
    running_.store(true);
    startButton_->setEnabled(false);
    closeButton_->setEnabled(false);
    for (int r = 0; r < table_->rowCount(); ++r) {
        table_->item(r, kColAddress)->setFlags(Qt::ItemIsEnabled);
        if (table_->item(r, kColAddress)->checkState() == Qt::Checked)
            table_->item(r, kColResult)->setText(uiText(u"正在修改…"));
    }
    if (worker_.joinable()) worker_.join();
    worker_ = std::thread([this, chosen, start, mask, entry] { run(chosen, start, mask, entry); });
}

void CBatchAddressDlg::run(std::vector<int> tableRows, std::uint32_t start, std::uint32_t mask,
                           ops::AddressBatchEntry entry) {
    QuietNotifier notifier;
    ops::AddressBatch batch(notifier);
    batch.search(kSearchSeconds);
    std::vector<discovery::DeviceRow> chosen;
    for (const int r : tableRows) chosen.push_back(rows_[static_cast<std::size_t>(r)]);
    auto assignments = batch.plan(chosen, start, mask);
    // A batch that cannot be carried out completely sends nothing; each row shows why.
    if (std::any_of(assignments.begin(), assignments.end(),
                    [](const auto& a) { return a.failed(); })) {
        post(tableRows, assignments, true);
        return;
    }
    post(tableRows, assignments, false);
    for (auto& a : assignments) {
        batch.write(a, entry, kSearchSeconds);
        post(tableRows, assignments, false);
    }
    batch.confirm(assignments, kSearchSeconds);
    post(tableRows, assignments, true);
}

void CBatchAddressDlg::post(const std::vector<int>& tableRows,
                            const std::vector<ops::AddressAssignment>& assignments, bool done) {
    calls_.push([this, tableRows, assignments, done] {
        for (std::size_t i = 0; i < assignments.size() && i < tableRows.size(); ++i) {
            const auto& a = assignments[i];
            table_->item(tableRows[i], kColNew)->setText(QString::fromStdString(a.newAddress));
            const bool pending = !done && a.result == ops::AddressAssignment::Result::Written;
            using Result = ops::AddressAssignment::Result;
            if (a.result == Result::Written || a.result == Result::Moved ||
                a.result == Result::NotMoved)
                changedAddresses_ = true;
            if (!pending && a.result != ops::AddressAssignment::Result::Planned)
                table_->item(tableRows[i], kColResult)->setText(dataText(a.resultText()));
            else if (done && a.result == ops::AddressAssignment::Result::Planned)
                table_->item(tableRows[i], kColResult)->setText(uiText(text::msg::kBatchNotSent));
        }
        if (done) {
            running_.store(false);
            closeButton_->setEnabled(true);
        }
    });
}

}  // namespace tarvo::gui
