#pragma once

#include "upgrade/UpgradeDialog.h"

namespace tarvo::gui {

// The NVR firmware upgrade dialog: one part file (boot loader, environment, root file system or
// kernel, told by the file name). The dialog closes after every attempt and closes its
// connection; the next upgrade connects again.
class CNVRUpgradeDlg final : public UpgradeDialog {
    Q_OBJECT
public:
    explicit CNVRUpgradeDlg(QWidget* parent = nullptr);

    [[nodiscard]] const QString& partPath() const { return packagePath(); }

protected:
    bool event(QEvent* event) override;

private:
    void onInitDialog() override;
    void onBrowse() override;
    void onUpgrade() override;
    void closeAfterAttempt() override;
};

}  // namespace tarvo::gui
