#pragma once

#include "common/BoxNotifier.h"
#include "common/FormDialog.h"
#include "core/ops/forms/SettingsFlows.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvo::gui {

class IpAddressEdit;

// The network settings dialog: address, mask, gateway, DNS, the switches, and the credentials
// its OK hands to the check it is run with (which proves them to the device with a UDP login).
// It writes nothing itself. Lives as long as the main window; every opening shows the form it
// is run on.
class CSetNet final : public FormDialog {
    Q_OBJECT
public:
    explicit CSetNet(QWidget* parent);

    // Shows the form's values, runs modally; on OK (which `check` accepted) the form holds the
    // new values. Without a check OK does nothing.
    bool run(ops::NetSettingsForm& form, const ops::SettingsDialogs::NetCheck& check = {});

protected:
    void onInitDialog() override;
    bool onOk() override;

private:
    void build();

    BoxNotifier boxes_{this};  // the refusals, over this dialog
    ops::NetSettingsForm* form_ = nullptr;
    const ops::SettingsDialogs::NetCheck* check_ = nullptr;
    IpAddressEdit* address_ = nullptr;
    IpAddressEdit* netmask_ = nullptr;
    IpAddressEdit* gateway_ = nullptr;
    IpAddressEdit* dns_ = nullptr;
    QLineEdit* httpPort_ = nullptr;
    QCheckBox* dhcp_ = nullptr;
    QCheckBox* audio_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLabel* labels_[6] = {};
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace tarvo::gui
