#include "upgrade/CNVRUpgradeDlg.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <mutex>

#include "app/MessageBoxes.h"
#include "app/RememberedChoices.h"
#include "controls/CGradientProgressCtrl.h"
#include "controls/COwnerEdit.h"
#include "controls/CXPButton.h"
#include "controls/DialogBuilder.h"
#include "controls/UiText.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/upgrade/PackageRules.h"
#include "core/upgrade/UploadSlot.h"
#include "resources/UpgradeTemplates.h"
#include "upgrade/EnterEscapeFilter.h"

namespace tarvo::gui {

namespace t = tmpl::nvrUpgrade;

namespace {

constexpr auto kUpgradeDone = static_cast<QEvent::Type>(t::kUpgradeDoneEvent);

}  // namespace

CNVRUpgradeDlg::CNVRUpgradeDlg(QWidget* parent)
    : QDialog(parent), uploader_(upgrade::nvrUpgrade(), reports_) {
    chooseFile_ = [](QWidget* owner, const QString& filter) {
        return QFileDialog::getOpenFileName(owner, QString(),
                                            RememberedChoices::firmwareFolder(true), filter);
    };
    build();
}

CNVRUpgradeDlg::~CNVRUpgradeDlg() {
    uploader_.cancel();
}

int CNVRUpgradeDlg::SetTarget(int port, std::string_view address) {
    return uploader_.SetTarget(port, address);
}

void CNVRUpgradeDlg::build() {
    const DialogBuilder ui(
        *this, {"CNVRUpgradeDlg", t::kCaption, t::kFont, t::kFontPoints, t::kWidth, t::kHeight});

    auto label = [&](const tmpl::Control& c, Qt::Alignment alignment = Qt::AlignLeft) {
        return ui.label(c, alignment);
    };
    auto edit = [&](const tmpl::Control& c) {
        auto* e = ui.add<COwnerEdit>(c);
        e->setReadOnly(true);
        return e;
    };
    auto button = [&](const tmpl::Control& c) {
        auto* b = ui.button(c);
        b->setAutoDefault(false);
        return b;
    };

    label(t::kAddressLabel, Qt::AlignRight);
    address_ = edit(t::kAddressEdit);
    label(t::kVersionLabel, Qt::AlignRight);
    version_ = edit(t::kVersionEdit);
    label(t::kPathLabel, Qt::AlignRight);
    path_ = edit(t::kPathEdit);
    QPushButton* browse = button(t::kBrowseButton);
    progress_ = new CGradientProgressCtrl(CGradientProgressCtrl::upgradeColours(), this);
    ui.place(progress_, t::kProgressBar);
    progress_->setTextVisible(true);
    progress_->hide();
    status_ = label(t::kStatusText);
    status_->hide();
    label(t::kNote);
    upgrade_ = button(t::kUpgradeButton);
    upgrade_->setDefault(true);
    upgrade_->setEnabled(false);
    QPushButton* cancel = button(t::kCancelButton);

    connect(browse, &QPushButton::clicked, this, &CNVRUpgradeDlg::OnBrowse);
    connect(upgrade_, &QPushButton::clicked, this, &CNVRUpgradeDlg::OnUpgrade);
    connect(cancel, &QPushButton::clicked, this, &CNVRUpgradeDlg::reject);
    new EnterEscapeFilter(this);
}

void CNVRUpgradeDlg::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CNVRUpgradeDlg::OnInitDialog() {
    uploader_.connect();
    uploader_.QueryFirmwareVersion();
    version_->setText(QString::fromStdU16String(uploader_.currentVersion()));
    progress_->setValue(0);
    progress_->hide();
    address_->setText(QString::fromStdU16String(text::widenString(uploader_.address())));
    upgrade_->setEnabled(false);
}

void CNVRUpgradeDlg::OnBrowse() {
    if (uploader_.busy()) return;
    const QString chosen = chooseFile_(this, templateText(t::kFileFilter));
    if (chosen.isEmpty()) return;
    RememberedChoices::rememberFirmwareFile(true, chosen);
    partPath_ = chosen;
    path_->setText(chosen);
    status_->show();
    upgrade_->setEnabled(true);
    const std::u16string name = text::fromUtf8(upgrade::fileNameOf(chosen.toStdString()));
    const auto part = upgrade::nvrPartOf(name);
    if (part) {
        status_->setText(uiText(part->text));
        return;
    }
    status_->setText(uiText(text::msg::kWrongUpgradeFile));
    upgrade_->setEnabled(false);
    showMessage(this, uiText(text::msg::kWrongUpgradeFile));
}

void CNVRUpgradeDlg::OnUpgrade() {
    if (uploader_.busy()) return;
    uploader_.start(partPath_.toStdString());
}

void CNVRUpgradeDlg::onReport(const UploadReports::Report& report) {
    switch (report.kind) {
        case UploadReports::Report::Kind::Started: {
            const int progressUpper = report.value;
            progress_->show();
            status_->show();  // still names the part chosen at Browse
            progress_->setRange(0, progressUpper);
            progress_->setValue(0);
            break;
        }
        case UploadReports::Report::Kind::Progress: {
            const int position = report.value;
            progress_->setValue(std::min(position, progress_->maximum()));
            break;
        }
        case UploadReports::Report::Kind::Finished:
            onFinished(report.outcome);
            break;
    }
}

void CNVRUpgradeDlg::onFinished(const upgrade::UploadOutcome& outcome) {
    progress_->hide();
    status_->hide();
    if (outcome.status == upgrade::UploadStatus::Cancelled) return;
    if (!outcome.message.empty()) showMessage(this, uiText(outcome.message));
    // Every attempt ends the dialog, once its message has been read.
    QCoreApplication::postEvent(this, new QEvent(kUpgradeDone));
}

bool CNVRUpgradeDlg::event(QEvent* event) {
    if (event->type() == kUpgradeDone) {
        reject();
        return true;
    }
    return QDialog::event(event);
}

void CNVRUpgradeDlg::done(int result) {
    uploader_.cancel();
    // The NVR connection is not kept beyond its dialog, on any path: the next dialog connects
    // again anyway.
    {
        auto& slot = upgrade::nvrUpgrade().slot;
        std::lock_guard guard(slot.mutex);
        slot.socket.close();
    }
    QDialog::done(result);
}

}  // namespace tarvo::gui
