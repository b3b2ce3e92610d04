#include "dialogs/CLog.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include "common/MessageBoxes.h"
#include "common/RememberedChoices.h"
#include "common/UiText.h"
#include "controls/COwnerEdit.h"
#include "controls/CXPButton.h"
#include "controls/DialogBuilder.h"
#include "core/ops/forms/LoginForm.h"
#include "core/protocol/CommandCodes.h"
#include "core/text/Messages.h"
#include "core/text/UiTextTable.h"

namespace tarvo::gui {

namespace tLogin = tmpl::login;

CLog::CLog(QWidget* parent) : CLog(protocol::kCameraCommandPort, parent) {}

CLog::CLog(int port, QWidget* parent) : QDialog(parent), port_(port) {
    build();
}

void CLog::build() {
    const DialogBuilder ui(*this, {"CLog", tLogin::kCaption, tLogin::kFont, tLogin::kFontPoints,
                                   tLogin::kWidth, tLogin::kHeight});

    userLabel_ = ui.label(tLogin::kUserLabelCtl);
    userEdit_ = ui.add<COwnerEdit>(tLogin::kUserEdit);
    passwordLabel_ = ui.label(tLogin::kPasswordLabelCtl);
    passwordEdit_ =
        ui.add<COwnerEdit>(tLogin::kPasswordEdit);  // shown in clear, as installers expect
    ui.label(tLogin::kPortLabel);
    portEdit_ = ui.add<COwnerEdit>(tLogin::kPortEdit);
    streamLabel_ = ui.label(tLogin::kStreamLabelCtl);
    for (int i = 0; i < 3; ++i) {
        const auto& c = tLogin::kRadios[i];
        auto* radio = ui.add<QRadioButton>(c);
        radio->setText(uiText(c.text));
        // Not automatic: the dialog keeps exactly one checked.
        radio->setAutoExclusive(false);
        connect(radio, &QRadioButton::clicked, this, [this, radio] { checkRadio(radio); });
        radios_[i] = radio;
    }
    okButton_ = ui.button(tLogin::kOkButton);
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &CLog::accept);
    auto* cancel = ui.button(tLogin::kCancelButton);
    connect(cancel, &QPushButton::clicked, this, &CLog::reject);
}

void CLog::showEvent(QShowEvent* event) {
    if (!initialised_) {
        initialised_ = true;
        onInitDialog();
    }
    QDialog::showEvent(event);
}

void CLog::onInitDialog() {
    if (nvrMode_ != 0) {
        streamLabel_->hide();
        for (auto* radio : radios_) radio->hide();
        port_ = protocol::kNvrCommandPort;
    }
    if (streamHidden_) {
        streamLabel_->hide();
        for (auto* radio : radios_) radio->hide();
    }
    const auto& table = text::uiText();
    userLabel_->setText(uiText(text::fieldView(table.logUser)));
    passwordLabel_->setText(uiText(text::fieldView(table.logPassword)));
    okButton_->setText(uiText(text::fieldView(table.logOk)));
    checkRadio(radios_[0]);
    // "admin" and the port above unless a login for this kind of device was confirmed before.
    const auto last = RememberedChoices::login(nvrMode_ != 0 || nvrDevice_, port_);
    port_ = last.port;
    userEdit_->setText(last.user);
    portEdit_->setText(QString::asprintf("%d", port_));
    userEdit_->setFocus();
}

void CLog::checkRadio(QRadioButton* chosen) {
    for (auto* radio : radios_) radio->setChecked(radio == chosen);
}

void CLog::accept() {
    const auto check = ops::checkLoginPort(portEdit_->text().toStdU16String());
    if (!portEdit_->text().isEmpty()) port_ = check.port;
    if (!check.valid) {
        showMessage(this, uiText(text::msg::kPortInputError));
        return;
    }
    userName = userEdit_->text();
    password = passwordEdit_->text();
    RememberedChoices::rememberLogin(nvrMode_ != 0 || nvrDevice_, userName, port_);
    if (radios_[0]->isChecked()) {
        StreamChoice = 0;
    } else if (radios_[2]->isChecked()) {
        StreamChoice = 2;
    } else {
        StreamChoice = 1;
    }
    QDialog::accept();
}

}  // namespace tarvo::gui
