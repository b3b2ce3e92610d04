#include "upgrade/CNVRUpgradeDlg.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPushButton>

#include "common/MessageBoxes.h"
#include "common/UiText.h"
#include "core/text/Messages.h"
#include "core/upgrade/PackageRules.h"
#include "core/upgrade/UploadSlot.h"

namespace tarvo::gui {

namespace tNvrUpgrade = tmpl::nvrUpgrade;

namespace {

constexpr auto kUpgradeDone = static_cast<QEvent::Type>(tNvrUpgrade::kUpgradeDoneEvent);

}  // namespace

CNVRUpgradeDlg::CNVRUpgradeDlg(QWidget* parent)
    : UpgradeDialog(upgrade::nvrUpgrade(), tNvrUpgrade::kLayout, true, parent) {
    upgrade_->setEnabled(false);  // until a part file is chosen
}

void CNVRUpgradeDlg::onInitDialog() {
    UpgradeDialog::onInitDialog();
    upgrade_->setEnabled(false);
}

void CNVRUpgradeDlg::onBrowse() {
    if (uploader_.busy()) return;
    const QString chosen = choosePackage();
    if (chosen.isEmpty()) return;
    status_->show();
    upgrade_->setEnabled(true);
    const auto part = upgrade::nvrPartOfPath(chosen.toStdString());
    if (part) {
        status_->setText(uiText(part->text));
        return;
    }
    status_->setText(uiText(text::msg::kWrongUpgradeFile));
    upgrade_->setEnabled(false);
    showMessage(this, uiText(text::msg::kWrongUpgradeFile));
}

void CNVRUpgradeDlg::onUpgrade() {
    if (uploader_.busy() || uploader_.running() || waiting()) return;
    uploader_.start(packagePath_.toStdString());
}

void CNVRUpgradeDlg::closeAfterAttempt() {
    QCoreApplication::postEvent(this, new QEvent(kUpgradeDone));
}

bool CNVRUpgradeDlg::event(QEvent* event) {
    if (event->type() == kUpgradeDone) {
        reject();
        return true;
    }
    return UpgradeDialog::event(event);
}

}  // namespace tarvo::gui
