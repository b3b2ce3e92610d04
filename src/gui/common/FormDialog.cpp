#include "common/FormDialog.h"

#include <QPushButton>

namespace tarvo::gui {

void FormDialog::wireButtons(QPushButton* ok, QPushButton* cancel) {
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &FormDialog::accept);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &FormDialog::reject);
}

bool FormDialog::runModal() {
    return exec() == QDialog::Accepted;
}

void FormDialog::showEvent(QShowEvent* event) {
    onInitDialog();
    QDialog::showEvent(event);
}

void FormDialog::accept() {
    if (checking_) return;
    checking_ = true;
    const bool passed = onOk();
    checking_ = false;
    if (passed) QDialog::accept();
}

}  // namespace tarvo::gui
