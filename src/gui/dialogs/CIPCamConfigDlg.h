#pragma once

#include "common/FormDialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarvo::ops {
class CameraConfigForm;
class UdpSession;
}  // namespace tarvo::ops

namespace tarvo::gui {

// The camera configuration dialog: protocol support (shown, never changeable here), main-stream
// resolution, date/time overlay and ONVIF sub-stream, and the button that has the camera pick a
// new MAC address. Lives as long as the main window; every opening shows the form it is run on.
class CIPCamConfigDlg final : public FormDialog {
    Q_OBJECT
public:
    CIPCamConfigDlg(ops::UdpSession& session, QWidget* parent);

    // Shows the form's values, runs modally; on OK the form holds the four selections.
    bool run(ops::CameraConfigForm& form);

protected:
    void onInitDialog() override;
    bool onOk() override;

private:
    void build();
    // Asks the camera to resolve a MAC conflict; its answer arrives as a message of its own.
    void fixMac();

    ops::UdpSession& session_;
    ops::CameraConfigForm* form_ = nullptr;
    QLineEdit* cameraIp_ = nullptr;
    QLineEdit* version_ = nullptr;
    QComboBox* protocol_ = nullptr;
    QComboBox* resolution_ = nullptr;
    QComboBox* overlay_ = nullptr;
    QComboBox* subStream_ = nullptr;
};

}  // namespace tarvo::gui
