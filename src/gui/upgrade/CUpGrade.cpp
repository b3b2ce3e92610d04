#include "upgrade/CUpGrade.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

#include "app/MessageBoxes.h"
#include "app/RememberedChoices.h"
#include "controls/CGradientProgressCtrl.h"
#include "controls/COwnerEdit.h"
#include "controls/CXPButton.h"
#include "controls/DialogBuilder.h"
#include "controls/UiText.h"
#include "core/upgrade/UploadSlot.h"
#include "resources/UpgradeTemplates.h"
#include "upgrade/EnterEscapeFilter.h"

namespace tarvo::gui {

namespace t = tmpl::cameraUpgrade;

CUpGrade::CUpGrade(QWidget* parent)
    : QDialog(parent), uploader_(upgrade::cameraUpgrade(), reports_) {
    chooseFile_ = [](QWidget* owner, const QString& filter) {
        // Existing files only (the dialog's open mode); read-only files are offered as any other.
        return QFileDialog::getOpenFileName(owner, QString(),
                                            RememberedChoices::firmwareFolder(false), filter);
    };
    build();
}

CUpGrade::~CUpGrade() {
    uploader_.cancel();
}

int CUpGrade::SetTarget(int port, std::string_view address) {
    return uploader_.SetTarget(port, address);
}

void CUpGrade::build() {
    const DialogBuilder ui(
        *this, {"CUpGrade", t::kCaption, t::kFont, t::kFontPoints, t::kWidth, t::kHeight});

    auto label = [&](const tmpl::Control& c, Qt::Alignment alignment = Qt::AlignLeft) {
        return ui.label(c, alignment);
    };
    auto button = [&](const tmpl::Control& c) {
        auto* b = ui.button(c);
        b->setAutoDefault(false);
        return b;
    };

    label(t::kVersionLabel, Qt::AlignRight);
    version_ = label(t::kVersionText);
    version_->setWordWrap(false);
    button(t::kCheckVersionButton)->hide();  // no operation is reachable through it
    label(t::kPathLabelCtl, Qt::AlignRight);
    path_ = ui.add<COwnerEdit>(t::kPathEdit);
    QPushButton* browse = button(t::kBrowseButton);
    progress_ = new CGradientProgressCtrl(CGradientProgressCtrl::upgradeColours(), this);
    ui.place(progress_, t::kProgressBar);
    progress_->setTextVisible(true);
    status_ = label(t::kStatusText);
    label(t::kVersionNote);
    label(t::kTypeNote);
    QPushButton* upgrade = button(t::kUpgradeButton);
    upgrade->setDefault(true);
    QPushButton* cancel = button(t::kCancelButton);

    connect(browse, &QPushButton::clicked, this, &CUpGrade::OnBrowse);
    connect(upgrade, &QPushButton::clicked, this, &CUpGrade::OnUpgrade);
    connect(cancel, &QPushButton::clicked, this, &CUpGrade::reject);
    new EnterEscapeFilter(this);
}

void CUpGrade::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CUpGrade::OnInitDialog() {
    uploader_.connect();
    uploader_.QueryFirmwareVersion();
    const std::u16string version = uploader_.currentVersion();
    version_->setText(QString::fromStdU16String(version));
    progress_->setValue(0);
    progress_->hide();
    status_->hide();
}

void CUpGrade::OnBrowse() {
    if (uploader_.busy()) return;
    const QString chosen = chooseFile_(this, templateText(t::kFileFilter));
    if (chosen.isEmpty()) return;
    RememberedChoices::rememberFirmwareFile(false, chosen);
    packagePath_ = chosen;
    path_->setText(chosen);
}

void CUpGrade::OnUpgrade() {
    // One upload per device, also before its header frames are out.
    if (uploader_.busy()) return;
    uploader_.start(packagePath_.toStdString());
}

void CUpGrade::onReport(const UploadReports::Report& report) {
    switch (report.kind) {
        case UploadReports::Report::Kind::Started: {
            const int progressUpper = report.value;
            progress_->show();
            status_->show();
            progress_->setRange(0, progressUpper);
            progress_->setValue(0);
            break;
        }
        case UploadReports::Report::Kind::Progress: {
            const int position = report.value;
            // The piece count ends one above the range when the size is not a multiple of a piece;
            // like the last piece of an even-sized file it shows as a finished (empty) bar.
            progress_->setValue(std::min(position, progress_->maximum()));
            break;
        }
        case UploadReports::Report::Kind::Finished:
            onFinished(report.outcome);
            break;
    }
}

void CUpGrade::onFinished(const upgrade::UploadOutcome& outcome) {
    progress_->hide();
    status_->hide();
    if (outcome.status == upgrade::UploadStatus::Cancelled) return;
    if (!outcome.message.empty()) showMessage(this, uiText(outcome.message));
    if (outcome.closeDialog) reject();
}

void CUpGrade::done(int result) {
    // The worker reports to this dialog: it is stopped and joined before the dialog goes.
    uploader_.cancel();
    QDialog::done(result);
}

}  // namespace tarvo::gui
