#include "common/MessageBoxes.h"

#include <QMessageBox>

#include "core/text/Messages.h"

namespace tarvo::gui {

QString applicationTitle() {
    return QStringLiteral("Tarvo");
}

namespace {

void showBox(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, applicationTitle(), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("message"));
    box.setTextFormat(Qt::PlainText);  // the text may carry what a device sent
    box.exec();
}

}  // namespace

void showMessage(QWidget* parent, const QString& text) {
    showBox(parent, QMessageBox::Warning, text);
}

void showInformation(QWidget* parent, const QString& text) {
    showBox(parent, QMessageBox::Information, text);
}

void showSystemError(QWidget* parent, const QString& text) {
    const auto caption = text::msg::kErrorCaption;
    QMessageBox box(QMessageBox::Warning,
                    QString::fromUtf16(caption.data(), static_cast<qsizetype>(caption.size())),
                    text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("systemError"));
    box.setTextFormat(Qt::PlainText);
    // Stays in front of every window of the program until answered.
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
}

}  // namespace tarvo::gui
