#include "upgrade/EnterEscapeFilter.h"

#include <QKeyEvent>
#include <QWidget>

namespace tarvo::gui {

EnterEscapeFilter::EnterEscapeFilter(QWidget* dialog) : QObject(dialog) {
    dialog->installEventFilter(this);
    for (QWidget* child : dialog->findChildren<QWidget*>()) child->installEventFilter(this);
}

bool EnterEscapeFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            event->accept();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tarvo::gui
