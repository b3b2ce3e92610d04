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

namespace tCamera = tmpl::camera;

namespace {

// Two items at their fixed indices, whatever order sorting would give.
void fill(QComboBox* combo, const std::array<std::u16string_view, 2>& items, int current) {
    combo->clear();
    for (int i = 0; i < 2; ++i) combo->insertItem(i, uiText(items[static_cast<std::size_t>(i)]));
    combo->setCurrentIndex(current == 0 || current == 1 ? current : -1);
}

}  // namespace

CIPCamConfigDlg::CIPCamConfigDlg(ops::UdpSession& session, QWidget* parent)
    : FormDialog(parent), session_(session) {
    build();
}

void CIPCamConfigDlg::build() {
    const DialogBuilder ui(*this, {"CIPCamConfigDlg", tCamera::kCaption, tCamera::kFont,
                                   tCamera::kFontPoints, tCamera::kWidth, tCamera::kHeight});

    // Drop-down lists to choose from, not to type into.
    auto combo = [&](const tmpl::Control& c) {
        auto* box = ui.add<QComboBox>(c);
        box->setEditable(false);
        return box;
    };

    ui.label(tCamera::kCameraIpLabel);
    cameraIp_ = ui.readOnlyEdit(tCamera::kCameraIpEdit);
    ui.label(tCamera::kVersionLabel);
    version_ = ui.readOnlyEdit(tCamera::kVersionEdit);
    ui.label(tCamera::kProtocolLabel);
    protocol_ = combo(tCamera::kProtocolCombo);
    ui.label(tCamera::kResolutionLabel);
    resolution_ = combo(tCamera::kResolutionCombo);
    ui.label(tCamera::kOverlayLabel);
    overlay_ = combo(tCamera::kOverlayCombo);
    ui.label(tCamera::kSubStreamLabel);
    subStream_ = combo(tCamera::kSubStreamCombo);
    for (const auto& note : tCamera::kNotes) ui.label(note);

    auto* fixMac = ui.button(tCamera::kFixMacButton);
    fixMac->setAutoDefault(false);
    connect(fixMac, &QPushButton::clicked, this, &CIPCamConfigDlg::fixMac);

    auto* ok = ui.button(tCamera::kOkButton);
    wireButtons(ok, ui.button(tCamera::kCancelButton));
}

bool CIPCamConfigDlg::run(ops::CameraConfigForm& form) {
    form_ = &form;
    const bool accepted = runModal();
    form_ = nullptr;
    return accepted;
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

bool CIPCamConfigDlg::onOk() {
    if (form_ == nullptr) return false;
    form_->accept(protocol_->currentIndex(), overlay_->currentIndex(), resolution_->currentIndex(),
                  subStream_->currentIndex());
    return true;
}

void CIPCamConfigDlg::fixMac() {
    if (form_ == nullptr) return;
    form_->fixMac(session_);
}

}  // namespace tarvo::gui
