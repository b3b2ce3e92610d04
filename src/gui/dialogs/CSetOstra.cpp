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

namespace tCloud = tmpl::cloud;

CSetOstra::CSetOstra(QWidget* parent) : FormDialog(parent) {
    build();
}

void CSetOstra::build() {
    const DialogBuilder ui(*this, {"CSetOstra", tCloud::kCaption, tCloud::kFont,
                                   tCloud::kFontPoints, tCloud::kWidth, tCloud::kHeight});

    ui.label(tCloud::kDeviceIdLabel);
    deviceId_ = ui.add<QLineEdit>(tCloud::kDeviceIdEdit);
    deviceId_->setEnabled(false);  // the ID goes back exactly as the device sent it
    identity_ = ui.add<QLineEdit>(tCloud::kIdentityEdit);
    identity_->hide();
    ui.label(tCloud::kPasswordLabel);
    password_ = ui.add<QLineEdit>(tCloud::kPasswordEdit);

    auto* ok = ui.button(tCloud::kOkButton);
    auto* cancel = ui.button(tCloud::kCancelButton);
    wireButtons(ok, cancel);
}

std::optional<ops::CloudEntry> CSetOstra::run(const ops::CloudForm& form) {
    form_ = &form;
    const bool accepted = runModal();
    form_ = nullptr;
    if (!accepted) return std::nullopt;
    return ops::CloudEntry{identity_->text().toStdU16String(), password_->text().toStdU16String(),
                           deviceId_->text().toStdU16String()};
}

void CSetOstra::onInitDialog() {
    if (form_ == nullptr) return;
    identity_->setText(dataText(form_->identityText()));
    password_->setText(dataText(form_->passwordText()));
    deviceId_->setText(dataText(form_->deviceIdText()));
    password_->setFocus();
}

bool CSetOstra::onOk() {
    if (form_ == nullptr) return false;
    // A password the field cannot hold would be dropped by the device: say so, stay open.
    if (!ops::CloudForm::passwordFits(password_->text().toStdU16String())) {
        showMessage(this, uiText(text::msg::kCloudPasswordTooLong));
        password_->setFocus();
        return false;
    }
    return true;
}

}  // namespace tarvo::gui
