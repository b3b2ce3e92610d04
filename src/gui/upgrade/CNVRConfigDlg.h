#pragma once

#include <QDialog>

#include <string_view>

#include "core/upgrade/NvrResolutionClient.h"

class QComboBox;

namespace tarvo::gui {

// The NVR configuration dialog: the NVR's video output resolution, read when the dialog opens
// and sent on OK when the user picked another one. Its connection closes with the dialog.
class CNVRConfigDlg final : public QDialog {
    Q_OBJECT
public:
    explicit CNVRConfigDlg(QWidget* parent = nullptr);

    // Before the dialog is shown: addresses shorter than 4 characters change nothing; a negative
    // port becomes 5500.
    void SetTarget(std::string_view address, int port) { client_.SetTarget(address, port); }

    [[nodiscard]] const upgrade::NvrResolutionClient& client() const { return client_; }

    void accept() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void build();
    void FillResolutionList();

    upgrade::NvrResolutionClient client_;
    QComboBox* list_ = nullptr;
    bool initialised_ = false;
    bool applying_ = false;
};

}  // namespace tarvo::gui
