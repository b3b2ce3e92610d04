#include "dialogs/CSetNet.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/UiText.h"
#include "controls/CXPButton.h"
#include "controls/DialogBuilder.h"
#include "controls/IpAddressEdit.h"
#include "core/ops/forms/NetSettingsForm.h"
#include "core/text/UiTextTable.h"
#include "resources/SettingsTemplates.h"

namespace tarvo::gui {

namespace tNet = tmpl::net;

CSetNet::CSetNet(QWidget* parent) : FormDialog(parent) {
    build();
}

void CSetNet::build() {
    const DialogBuilder ui(*this, {"CSetNet", tNet::kCaption, tNet::kFont, tNet::kFontPoints,
                                   tNet::kWidth, tNet::kHeight});

    labels_[0] = ui.label(tNet::kAddressLabelCtl);
    address_ = ui.add<IpAddressEdit>(tNet::kAddressEdit);
    labels_[1] = ui.label(tNet::kNetmaskLabelCtl);
    netmask_ = ui.add<IpAddressEdit>(tNet::kNetmaskEdit);
    labels_[2] = ui.label(tNet::kGatewayLabelCtl);
    gateway_ = ui.add<IpAddressEdit>(tNet::kGatewayEdit);
    labels_[3] = ui.label(tNet::kDnsLabelCtl);
    dns_ = ui.add<IpAddressEdit>(tNet::kDnsEdit);
    ui.label(tNet::kHttpPortLabel);
    httpPort_ = ui.readOnlyEdit(tNet::kHttpPortEdit);
    labels_[4] = ui.label(tNet::kUserLabelCtl);
    user_ = ui.add<QLineEdit>(tNet::kUserEdit);
    labels_[5] = ui.label(tNet::kPasswordLabelCtl);
    password_ = ui.add<QLineEdit>(tNet::kPasswordEdit);
    dhcp_ = ui.addWithText<QCheckBox>(tNet::kDhcpCheck);
    audio_ = ui.addWithText<QCheckBox>(tNet::kAudioCheck);

    okButton_ = ui.button(tNet::kOkButton);
    cancelButton_ = ui.button(tNet::kCancelButton);
    wireButtons(okButton_, cancelButton_);
}

bool CSetNet::run(ops::NetSettingsForm& form, const ops::SettingsDialogs::NetCheck& check) {
    form_ = &form;
    check_ = &check;
    const bool accepted = runModal();
    form_ = nullptr;
    check_ = nullptr;
    return accepted;
}

void CSetNet::onInitDialog() {
    if (form_ == nullptr) return;
    const auto& form = *form_;
    audio_->setChecked(form.audio() != 0);
    // Decoders have no such switches; their values are still read back and sent.
    dhcp_->setVisible(form.showsDhcpAndAudio());
    audio_->setVisible(form.showsDhcpAndAudio());

    const auto& table = text::uiText();
    labels_[0]->setText(uiText(text::fieldView(table.netIpAddress)));
    labels_[1]->setText(uiText(text::fieldView(table.netMask)));
    labels_[2]->setText(uiText(text::fieldView(table.netGateway)));
    labels_[3]->setText(uiText(text::fieldView(table.netDns)));
    labels_[4]->setText(uiText(text::fieldView(table.netUser)));
    labels_[5]->setText(uiText(text::fieldView(table.netPassword)));
    okButton_->setText(uiText(text::fieldView(table.netOk)));
    cancelButton_->setText(uiText(text::fieldView(table.btnCancel)));
    setWindowTitle(uiText(text::fieldView(table.netTitle)));

    address_->setText(dataText(form.addressText()));
    netmask_->setText(dataText(form.netmaskText()));
    gateway_->setText(dataText(form.gatewayText()));
    dns_->setText(dataText(form.dnsText()));
    httpPort_->setText(dataText(form.httpPortText()));
    dhcp_->setChecked(form.netParams().dhcp != 0);
    user_->setText(dataText(ops::NetSettingsForm::defaultUser()));
    password_->clear();
    address_->setFocus();
}

bool CSetNet::onOk() {
    if (form_ == nullptr || check_ == nullptr || !*check_) return false;
    ops::NetSettingsEntry entry;
    entry.user = user_->text().toStdU16String();
    entry.password = password_->text().toStdU16String();
    entry.address = address_->dottedText().toStdU16String();
    entry.netmask = netmask_->dottedText().toStdU16String();
    entry.gateway = gateway_->dottedText().toStdU16String();
    entry.dns = dns_->dottedText().toStdU16String();
    entry.httpPort = httpPort_->text().toStdU16String();
    entry.dhcp = dhcp_->isChecked();
    entry.audio = audio_->isChecked();
    return (*check_)(entry, boxes_) == ops::NetSettingsOutcome::Accepted;
}

}  // namespace tarvo::gui
