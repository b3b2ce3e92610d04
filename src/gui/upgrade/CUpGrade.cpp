#include "upgrade/CUpGrade.h"

#include "core/upgrade/UploadSlot.h"

namespace tarvo::gui {

CUpGrade::CUpGrade(QWidget* parent)
    : UpgradeDialog(upgrade::cameraUpgrade(), tmpl::cameraUpgrade::kLayout, false, parent) {}

void CUpGrade::OnBrowse() {
    if (upgrade::g_cameraUpgradeBusy.load()) return;
    choosePackage();
}

void CUpGrade::OnUpgrade() {
    // One upload at a time, also before its header frames are out.
    if (upgrade::g_cameraUpgradeBusy.load() || uploader_.running()) return;
    uploader_.start(packagePath_.toStdString());
}

}  // namespace tarvo::gui
