#pragma once

#include <QDialog>

class QPushButton;
class QShowEvent;

namespace tarvo::gui {

// What every settings dialog does the same way: it is built once and reused, each opening shows
// the values it is run with, OK runs the dialog's own check and closes only when it passed,
// Cancel closes. A check may wait (with an event loop); a second OK queued meanwhile is dropped.
class FormDialog : public QDialog {
public:
    using QDialog::QDialog;

    void accept() final;

protected:
    // OK is the default button, Cancel never is.
    void wireButtons(QPushButton* ok, QPushButton* cancel);
    // Runs modally; true on OK.
    bool runModal();
    void showEvent(QShowEvent* event) override;

    // Fills the widgets from what this opening is run with.
    virtual void onInitDialog() = 0;
    // OK's check; true closes the dialog.
    virtual bool onOk() = 0;

private:
    bool checking_ = false;
};

}  // namespace tarvo::gui
