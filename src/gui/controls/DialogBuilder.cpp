#include "controls/DialogBuilder.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>

#include "controls/CXPButton.h"

namespace tarvo::gui {

namespace {

// The dialog's font is set before the units are measured from it.
const QFont& applyFrame(QDialog& dialog, const DialogFrame& frame) {
    dialog.setObjectName(QString::fromLatin1(frame.objectName));
    dialog.setWindowTitle(uiText(frame.caption));
    dialog.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint);
    dialog.setFont(dialogFont(frame.font, frame.points));
    return dialog.font();
}

}  // namespace

DialogBuilder::DialogBuilder(QDialog& dialog, const DialogFrame& frame)
    : dialog_(dialog), units_(applyFrame(dialog, frame)) {
    dialog_.setFixedSize(units_.size(frame.width, frame.height));
}

QWidget* DialogBuilder::parent() const {
    return &dialog_;
}

void DialogBuilder::place(QWidget* widget, const tmpl::Control& control) const {
    widget->setObjectName(controlName(control.id));
    widget->setGeometry(units_.rect(control.rect));
}

QLabel* DialogBuilder::label(const tmpl::Control& control, Qt::Alignment alignment) const {
    auto* label = new QLabel(uiText(control.text), &dialog_);
    // Labels also show what devices send (versions, status): never read as markup.
    label->setTextFormat(Qt::PlainText);
    if (control.id > 0) label->setObjectName(controlName(control.id));
    label->setGeometry(units_.rect(control.rect));
    if (alignment != Qt::Alignment{}) label->setAlignment(alignment | Qt::AlignTop);
    return label;
}

QLineEdit* DialogBuilder::readOnlyEdit(const tmpl::Control& control) const {
    auto* edit = add<QLineEdit>(control);
    edit->setReadOnly(true);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    edit->setPalette(palette);
    return edit;
}

CXPButton* DialogBuilder::button(const tmpl::Control& control) const {
    auto* button = new CXPButton(uiText(control.text), &dialog_);
    place(button, control);
    return button;
}

}  // namespace tarvo::gui
