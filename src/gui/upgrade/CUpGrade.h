#pragma once

#include "upgrade/UpgradeDialog.h"

namespace tarvo::gui {

// The camera firmware upgrade dialog. The connection stays open for the next camera upgrade;
// the dialog closes after a successful upload only.
class CUpGrade final : public UpgradeDialog {
    Q_OBJECT
public:
    explicit CUpGrade(QWidget* parent = nullptr);

private:
    void onBrowse() override;
    void onUpgrade() override;
};

}  // namespace tarvo::gui
