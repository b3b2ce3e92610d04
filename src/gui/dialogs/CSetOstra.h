#pragma once

#include <optional>

#include "common/FormDialog.h"
#include "core/ops/forms/CloudForm.h"

class QLineEdit;

namespace tarvo::gui {

// The cloud settings dialog: the device ID (not editable), the cloud connection password in
// clear, and the record's first text carried through an invisible edit. It writes nothing
// itself: OK returns the values. Lives as long as the main window; every opening shows the form
// it is run on.
class CSetOstra final : public FormDialog {
    Q_OBJECT
public:
    explicit CSetOstra(QWidget* parent);

    // Shows the form's record and runs modally: the values OK left, or nothing on Cancel.
    std::optional<ops::CloudEntry> run(const ops::CloudForm& form);

protected:
    void onInitDialog() override;
    bool onOk() override;

private:
    void build();

    const ops::CloudForm* form_ = nullptr;
    QLineEdit* identity_ = nullptr;
    QLineEdit* password_ = nullptr;
    QLineEdit* deviceId_ = nullptr;
};

}  // namespace tarvo::gui
