#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tarvo::gui {

// The login dialog: user name, password, command port and, for cameras, the stream. It sends
// nothing; the caller reads the values after OK.
class CLog final : public QDialog {
    Q_OBJECT
public:
    explicit CLog(QWidget* parent = nullptr);  // default port 5505
    CLog(int port, QWidget* parent);

    // 1: NVR mode (no stream choice, port 5500). Call before the dialog is shown.
    void SetNvrMode(int nvrMode) { nvrMode_ = nvrMode; }
    // The device is an NVR (also without NVR mode, as for its preview): the user name and port
    // last confirmed for NVRs are offered instead of those for cameras.
    void setNvrDevice(bool nvr) { nvrDevice_ = nvr; }
    [[nodiscard]] int GetPort() const { return port_; }
    // For a window with a stream choice of its own (the wall): the dialog offers none.
    void hideStreamChoice() { streamHidden_ = true; }

    // Filled on OK.
    QString userName;
    QString password;
    int StreamChoice = 0;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void onInitDialog();
    void checkRadio(QRadioButton* chosen);

    int port_;
    int nvrMode_ = 0;
    bool nvrDevice_ = false;
    bool streamHidden_ = false;
    bool initialised_ = false;
    QLineEdit* userEdit_ = nullptr;
    QLineEdit* passwordEdit_ = nullptr;
    QLineEdit* portEdit_ = nullptr;
    QLabel* userLabel_ = nullptr;
    QLabel* passwordLabel_ = nullptr;
    QLabel* streamLabel_ = nullptr;
    QRadioButton* radios_[3] = {nullptr, nullptr, nullptr};
    QPushButton* okButton_ = nullptr;
};

}  // namespace tarvo::gui
