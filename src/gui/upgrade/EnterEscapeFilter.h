#pragma once

#include <QObject>

class QWidget;

namespace tarvo::gui {

// Swallows Enter and Escape key presses in a dialog and every control in it, so that neither
// starts an upload through the default button nor closes the dialog while one may run.
class EnterEscapeFilter final : public QObject {
public:
    // Watches `dialog` and the controls it has now; install after building them.
    explicit EnterEscapeFilter(QWidget* dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tarvo::gui
