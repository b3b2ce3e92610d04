#include "upgrade/CNVRConfigDlg.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "common/BoxNotifier.h"
#include "common/UiText.h"
#include "common/UiWait.h"
#include "controls/DialogBuilder.h"
#include "core/text/Messages.h"
#include "resources/UpgradeTemplates.h"

namespace tarvo::gui {

namespace tNvrConfig = tmpl::nvrConfig;

CNVRConfigDlg::CNVRConfigDlg(QWidget* parent) : FormDialog(parent) {
    build();
}

void CNVRConfigDlg::build() {
    const DialogBuilder ui(
        *this, {"CNVRConfigDlg", tNvrConfig::kCaption, tNvrConfig::kFont, tNvrConfig::kFontPoints,
                tNvrConfig::kWidth, tNvrConfig::kHeight});

    ui.label(tNvrConfig::kResolutionLabel, Qt::AlignRight);

    list_ = new QComboBox(this);
    list_->setEditable(true);
    list_->setInsertPolicy(QComboBox::NoInsert);
    ui.place(list_, tNvrConfig::kResolutionList);
    // The template's height is that of the dropped-down list; the closed box keeps its own.
    list_->resize(list_->width(), list_->sizeHint().height());

    // This dialog keeps the platform's own buttons.
    auto* ok = ui.addWithText<QPushButton>(tNvrConfig::kOkButton);
    wireButtons(ok, ui.addWithText<QPushButton>(tNvrConfig::kCancelButton));
}

void CNVRConfigDlg::onInitDialog() {
    if (initialised_) return;
    initialised_ = true;
    FillResolutionList();
}

void CNVRConfigDlg::FillResolutionList() {
    // Inserted by position, in the order of their indices.
    for (int index = 0; index <= upgrade::NvrResolutionClient::kHighestIndex; ++index)
        list_->insertItem(index, dataText(upgrade::NvrResolutionClient::resolutionText(index)));
    list_->setCurrentIndex(0);
    // The list says it waits until the NVR answered; the dialog is usable meanwhile.
    list_->setEditText(uiText(text::msg::kWaitingForDevice));
    listing_.start(
        [address = client_.address(), port = client_.port()] {
            Listed listed;
            listed.client.SetTarget(address, port);
            listed.listing = listed.client.FillResolutionList();
            return listed;
        },
        [this](Listed& listed) { onListed(listed); });
}

void CNVRConfigDlg::onListed(Listed& listed) {
    client_ = std::move(listed.client);
    if (!listed.listing.message.empty()) BoxNotifier(this).message(listed.listing.message);
    list_->setCurrentIndex(listed.listing.shown);
}

bool CNVRConfigDlg::onOk() {
    // Before the NVR said its resolution there is nothing to change.
    if (listing_.running()) {
        listing_.cancel();
        return true;
    }
    // Typed text that names no entry selects nothing.
    const int selected = list_->findText(list_->currentText(), Qt::MatchExactly);
    client_.ApplyOutputResolution(selected, [](std::chrono::milliseconds wait) {
        waitRepainting(static_cast<int>(wait.count()));
    });
    return true;
}

void CNVRConfigDlg::done(int result) {
    listing_.cancel();
    // The connection goes with the dialog.
    client_.close();
    QDialog::done(result);
}

}  // namespace tarvo::gui
