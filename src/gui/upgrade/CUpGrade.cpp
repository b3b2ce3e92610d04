#include "upgrade/CUpGrade.h"

#include "core/upgrade/UploadSlot.h"

namespace tarvo::gui {

CUpGrade::CUpGrade(QWidget* parent)
    : UpgradeDialog(upgrade::cameraUpgrade(), tmpl::cameraUpgrade::kLayout, false, parent) {}

void CUpGrade::onBrowse() {
    if (uploader_.busy()) return;
    choosePackage();
}

void CUpGrade::onUpgrade() {
    // One upload per device, also before its header frames are out.
    if (uploader_.busy() || waiting()) return;
    uploader_.start(packagePath_.toStdString());
}

}  // namespace tarvo::gui
