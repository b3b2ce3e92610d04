#include "upgrade/UpgradeDialog.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <mutex>

#include "common/MessageBoxes.h"
#include "common/RememberedChoices.h"
#include "common/UiText.h"
#include "controls/CGradientProgressCtrl.h"
#include "controls/COwnerEdit.h"
#include "controls/CXPButton.h"
#include "controls/DialogBuilder.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "upgrade/EnterEscapeFilter.h"

namespace tarvo::gui {

UpgradeDialog::UpgradeDialog(const upgrade::UpgradeProfile& profile,
                             const tmpl::UpgradeLayout& layout, bool nvr, QWidget* parent)
    : QDialog(parent), uploader_(profile, reports_), profile_(profile), layout_(layout), nvr_(nvr) {
    chooseFile_ = [nvr](QWidget* owner, const QString& filter) {
        // Existing files only (the dialog's open mode); read-only files are offered as any other.
        return QFileDialog::getOpenFileName(owner, QString(),
                                            RememberedChoices::firmwareFolder(nvr), filter);
    };
    build();
}

UpgradeDialog::~UpgradeDialog() {
    uploader_.cancel();
}

int UpgradeDialog::SetTarget(int port, std::string_view address) {
    return uploader_.SetTarget(port, address);
}

void UpgradeDialog::build() {
    const auto& l = layout_;
    const DialogBuilder ui(*this,
                           {l.objectName, l.caption, l.font, l.fontPoints, l.width, l.height});

    auto edit = [&](const tmpl::Control& c) {
        auto* e = ui.add<COwnerEdit>(c);
        e->setReadOnly(l.valuesInEdits);
        return e;
    };
    auto button = [&](const tmpl::Control& c) {
        auto* b = ui.button(c);
        b->setAutoDefault(false);
        return b;
    };

    if (l.addressLabel != nullptr) {
        ui.label(*l.addressLabel, Qt::AlignRight);
        address_ = edit(*l.addressEdit);
    }
    ui.label(l.versionLabel, Qt::AlignRight);
    if (l.valuesInEdits) {
        versionEdit_ = edit(l.versionValue);
    } else {
        versionText_ = ui.label(l.versionValue, Qt::AlignLeft);
        versionText_->setWordWrap(false);
    }
    if (l.checkVersionButton != nullptr) button(*l.checkVersionButton)->hide();
    ui.label(l.pathLabel, Qt::AlignRight);
    path_ = edit(l.pathEdit);
    QPushButton* browse = button(l.browseButton);
    progress_ = new CGradientProgressCtrl(CGradientProgressCtrl::upgradeColours(), this);
    ui.place(progress_, l.progressBar);
    progress_->setTextVisible(true);
    progress_->hide();
    status_ = ui.label(l.statusText, Qt::AlignLeft);
    status_->hide();
    for (const tmpl::Control* note : l.notes) {
        if (note != nullptr) ui.label(*note, Qt::AlignLeft);
    }
    upgrade_ = button(l.upgradeButton);
    upgrade_->setDefault(true);
    QPushButton* cancel = button(l.cancelButton);

    connect(browse, &QPushButton::clicked, this, &UpgradeDialog::onBrowse);
    connect(upgrade_, &QPushButton::clicked, this, &UpgradeDialog::onUpgrade);
    connect(cancel, &QPushButton::clicked, this, &UpgradeDialog::reject);
    new EnterEscapeFilter(this);
}

void UpgradeDialog::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        onInitDialog();
    }
    QDialog::showEvent(event);
}

void UpgradeDialog::onInitDialog() {
    // The dialog shows at once; the version field says it waits until the device answered.
    showVersion(uiText(text::msg::kWaitingForDevice));
    connecting_.start(
        [&profile = profile_, address = uploader_.address(), port = uploader_.port()] {
            return ops::openConnection(profile, address, port);
        },
        [this](ops::UpgradeConnection& connection) { onConnected(connection); });
    if (address_ != nullptr)
        address_->setText(QString::fromStdU16String(text::widenString(uploader_.address())));
    progress_->setValue(0);
    progress_->hide();
    status_->hide();
}

void UpgradeDialog::showVersion(const QString& version) {
    if (versionEdit_ != nullptr) versionEdit_->setText(version);
    if (versionText_ != nullptr) versionText_->setText(version);
}

void UpgradeDialog::onConnected(ops::UpgradeConnection& connection) {
    uploader_.adopt(std::move(connection.socket), std::move(connection.version));
    showVersion(QString::fromStdU16String(uploader_.currentVersion()));
}

QString UpgradeDialog::choosePackage() {
    const QString chosen = chooseFile_(this, uiText(layout_.fileFilter));
    if (chosen.isEmpty()) return chosen;
    RememberedChoices::rememberFirmwareFile(nvr_, chosen);
    packagePath_ = chosen;
    path_->setText(chosen);
    return chosen;
}

void UpgradeDialog::onReport(const UploadReports::Report& report) {
    switch (report.kind) {
        case UploadReports::Report::Kind::Started: {
            const int progressUpper = report.value;
            progress_->show();
            status_->show();  // an NVR's still names the part chosen at Browse
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

void UpgradeDialog::onFinished(const upgrade::UploadOutcome& outcome) {
    progress_->hide();
    status_->hide();
    if (outcome.status == upgrade::UploadStatus::Cancelled) return;
    if (!outcome.message.empty()) showMessage(this, uiText(outcome.message));
    if (outcome.closeDialog) closeAfterAttempt();
}

void UpgradeDialog::done(int result) {
    // A connection still being made is not waited for: it closes on its own.
    connecting_.cancel();
    // The worker reports to this dialog: it is stopped and joined before the dialog goes.
    uploader_.cancel();
    // A connection the device does not keep after an upload is not kept beyond its dialog, on
    // any path: the next dialog connects again anyway.
    if (!profile_.keepConnection) {
        auto& slot = profile_.slot;
        std::lock_guard guard(slot.mutex);
        slot.socket.close();
    }
    QDialog::done(result);
}

}  // namespace tarvo::gui
