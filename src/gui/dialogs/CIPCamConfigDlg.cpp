#include "dialogs/CIPCamConfigDlg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/UiText.h"
#include "controls/CXPButton.h"
#include "controls/DialogBuilder.h"
#include "core/ops/forms/CameraConfigForm.h"
#include "core/ops/forms/UdpSession.h"
#include "resources/SettingsTemplates.h"

namespace tarvo::gui {

namespace t = tmpl::camera;

namespace {

// Two items at their fixed indices, whatever order sorting would give.
void fill(QComboBox* combo, const std::array<std::u16string_view, 2>& items, int current) {
    combo->clear();
    for (int i = 0; i < 2; ++i) combo->insertItem(i, uiText(items[static_cast<std::size_t>(i)]));
    combo->setCurrentIndex(current == 0 || current == 1 ? current : -1);
}

}  // namespace

CIPCamConfigDlg::CIPCamConfigDlg(ops::UdpSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
    build();
}

void CIPCamConfigDlg::build() {
    const DialogBuilder ui(
        *this, {"CIPCamConfigDlg", t::kCaption, t::kFont, t::kFontPoints, t::kWidth, t::kHeight});

    // Drop-down lists to choose from, not to type into.
    auto combo = [&](const tmpl::Control& c) {
        auto* box = ui.add<QComboBox>(c);
        box->setEditable(false);
        return box;
    };

    ui.label(t::kCameraIpLabel);
    cameraIp_ = ui.readOnlyEdit(t::kCameraIpEdit);
    ui.label(t::kVersionLabel);
    version_ = ui.readOnlyEdit(t::kVersionEdit);
    ui.label(t::kProtocolLabel);
    protocol_ = combo(t::kProtocolCombo);
    ui.label(t::kResolutionLabel);
    resolution_ = combo(t::kResolutionCombo);
    ui.label(t::kOverlayLabel);
    overlay_ = combo(t::kOverlayCombo);
    ui.label(t::kSubStreamLabel);
    subStream_ = combo(t::kSubStreamCombo);
    for (const auto& note : t::kNotes) ui.label(note);

    auto* fixMac = ui.button(t::kFixMacButton);
    fixMac->setAutoDefault(false);
    connect(fixMac, &QPushButton::clicked, this, &CIPCamConfigDlg::fixMac);

    auto* ok = ui.button(t::kOkButton);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CIPCamConfigDlg::accept);
    auto* cancel = ui.button(t::kCancelButton);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &CIPCamConfigDlg::reject);
}

bool CIPCamConfigDlg::run(ops::CameraConfigForm& form) {
    form_ = &form;
    const bool accepted = exec() == QDialog::Accepted;
    form_ = nullptr;
    return accepted;
}

void CIPCamConfigDlg::showEvent(QShowEvent* event) {
    onInitDialog();  // every opening: the dialog is reused for each camera
    QDialog::showEvent(event);
}

void CIPCamConfigDlg::onInitDialog() {
    if (form_ == nullptr) return;
    using Form = ops::CameraConfigForm;
    const auto& form = *form_;
    cameraIp_->setText(QString::fromStdString(form.cameraIp()));
    fill(protocol_, Form::kProtocolItems, form.protocolIndex());
    fill(overlay_, Form::kOverlayItems, form.overlayIndex());
    fill(resolution_, Form::kResolutionItems, form.resolutionIndex());
    fill(subStream_, Form::kSubStreamItems, form.subStreamIndex());
    resolution_->setEnabled(form.resolutionEnabled());
    version_->setText(dataText(form.version()));
    // Shown for information: which protocols a camera speaks is not changed from here.
    protocol_->setEnabled(false);
}

void CIPCamConfigDlg::accept() {
    if (form_ == nullptr) return;
    form_->accept(protocol_->currentIndex(), overlay_->currentIndex(), resolution_->currentIndex(),
                  subStream_->currentIndex());
    QDialog::accept();
}

void CIPCamConfigDlg::fixMac() {
    if (form_ == nullptr) return;
    form_->fixMac(session_);
}

}  // namespace tarvo::gui
