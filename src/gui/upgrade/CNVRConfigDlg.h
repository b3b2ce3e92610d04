#pragma once

#include <string_view>

#include "common/BackgroundStep.h"
#include "common/FormDialog.h"
#include "core/upgrade/NvrResolutionClient.h"

class QComboBox;

namespace tarvo::gui {

// The NVR configuration dialog: the NVR's video output resolution, read when the dialog opens
// and sent on OK when the user picked another one. Its connection closes with the dialog.
class CNVRConfigDlg final : public FormDialog {
    Q_OBJECT
public:
    explicit CNVRConfigDlg(QWidget* parent = nullptr);

    // Before the dialog is shown: addresses shorter than 4 characters change nothing; a negative
    // port becomes 5500.
    void SetTarget(std::string_view address, int port) { client_.SetTarget(address, port); }

    [[nodiscard]] const upgrade::NvrResolutionClient& client() const { return client_; }

    // True while the NVR is asked for its resolution.
    [[nodiscard]] bool waiting() const { return listing_.running(); }

    void done(int result) override;

protected:
    // The first opening asks the NVR for its resolution.
    void onInitDialog() override;
    bool onOk() override;

private:
    void build();
    void FillResolutionList();

    // What the opening's connect and query found, on their worker.
    struct Listed {
        upgrade::NvrResolutionClient client;
        upgrade::NvrResolutionClient::Listing listing;
    };
    void onListed(Listed& listed);

    upgrade::NvrResolutionClient client_;
    BackgroundStep<Listed> listing_{this};
    QComboBox* list_ = nullptr;
    bool initialised_ = false;
};

}  // namespace tarvo::gui
