#pragma once

#include <QDialog>

#include <functional>

class QLineEdit;

namespace tarvo::ops {
class CloudForm;
class UdpSession;
}  // namespace tarvo::ops

namespace tarvo::gui {

// The cloud settings dialog: the device ID (not editable), the cloud connection password in
// clear, and the record's first text carried through an invisible edit. OK sends the record
// itself. Lives as long as the main window; every opening shows the form it is run on.
class CSetOstra final : public QDialog {
    Q_OBJECT
public:
    using Wait = std::function<void(int)>;

    CSetOstra(ops::UdpSession& session, Wait wait, QWidget* parent);

    // Shows the form's record and runs modally. OK has sent the edited record.
    bool run(ops::CloudForm& form);

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void onInitDialog();

    ops::UdpSession& session_;
    Wait wait_;
    ops::CloudForm* form_ = nullptr;
    QLineEdit* identity_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* deviceId_ = nullptr;
    bool sending_ = false;
};

}  // namespace tarvo::gui
