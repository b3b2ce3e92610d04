#pragma once

#include <QDialog>

#include <functional>

#include "common/BoxNotifier.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvo::ops {
class NetSettingsForm;
class UdpSession;
}  // namespace tarvo::ops

namespace tarvo::gui {

class IpAddressEdit;

// The network settings dialog: address, mask, gateway, DNS, the switches, and the credentials
// its OK proves to the device with a UDP login. Lives as long as the main window; every opening
// shows the form it is run on.
class CSetNet final : public QDialog {
    Q_OBJECT
public:
    using Wait = std::function<void(int)>;

    // `wait` lets the login reply come in while the windows keep repainting.
    CSetNet(ops::UdpSession& session, Wait wait, QWidget* parent);

    // Shows the form's values, runs modally; on OK the form holds the new values.
    bool run(ops::NetSettingsForm& form);

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void onInitDialog();

    ops::UdpSession& session_;
    Wait wait_;
    BoxNotifier boxes_{this};  // the refusals, over this dialog
    ops::NetSettingsForm* form_ = nullptr;
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
    bool checking_ = false;
};

}  // namespace tarvo::gui
