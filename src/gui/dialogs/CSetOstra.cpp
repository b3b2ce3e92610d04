#include "dialogs/CSetOstra.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/MessageBoxes.h"
#include "common/UiText.h"
#include "controls/CXPButton.h"
#include "controls/DialogBuilder.h"
#include "core/ops/forms/CloudForm.h"
#include "core/text/Messages.h"
#include "resources/SettingsTemplates.h"

namespace tarvo::gui {

namespace t = tmpl::cloud;

CSetOstra::CSetOstra(ops::UdpSession& session, Wait wait, QWidget* parent)
    : QDialog(parent), session_(session), wait_(std::move(wait)) {
    build();
}

void CSetOstra::build() {
    const DialogBuilder ui(
        *this, {"CSetOstra", t::kCaption, t::kFont, t::kFontPoints, t::kWidth, t::kHeight});

    ui.label(t::kDeviceIdLabel);
    deviceId_ = ui.add<QLineEdit>(t::kDeviceIdEdit);
    deviceId_->setEnabled(false);  // the ID goes back exactly as the device sent it
    identity_ = ui.add<QLineEdit>(t::kIdentityEdit);
    identity_->hide();
    ui.label(t::kPasswordLabel);
    password_ = ui.add<QLineEdit>(t::kPasswordEdit);

    auto* ok = ui.button(t::kOkButton);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CSetOstra::accept);
    auto* cancel = ui.button(t::kCancelButton);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &CSetOstra::reject);
}

bool CSetOstra::run(ops::CloudForm& form) {
    form_ = &form;
    const bool accepted = exec() == QDialog::Accepted;
    form_ = nullptr;
    return accepted;
}

void CSetOstra::showEvent(QShowEvent* event) {
    onInitDialog();  // every opening: the dialog is reused for each device
    QDialog::showEvent(event);
}

void CSetOstra::onInitDialog() {
    if (form_ == nullptr) return;
    identity_->setText(dataText(form_->identityText()));
    password_->setText(dataText(form_->passwordText()));
    deviceId_->setText(dataText(form_->deviceIdText()));
    password_->setFocus();
}

void CSetOstra::accept() {
    // The short wait after the send runs an event loop; a queued second OK must not send twice.
    if (form_ == nullptr || sending_) return;
    // A password the field cannot hold would be dropped by the device: say so, stay open.
    if (!ops::CloudForm::passwordFits(password_->text().toStdU16String())) {
        showMessage(this, uiText(text::msg::kCloudPasswordTooLong));
        password_->setFocus();
        return;
    }
    sending_ = true;
    form_->ok(identity_->text().toStdU16String(), password_->text().toStdU16String(),
              deviceId_->text().toStdU16String(), session_, wait_);
    sending_ = false;
    QDialog::accept();
}

}  // namespace tarvo::gui
