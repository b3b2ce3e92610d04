#include "common/UiWait.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

namespace tarvo::gui {

InputGate::InputGate(std::function<void()> onEscape)
    : onEscape_(std::move(onEscape)), modalAtStart_(QApplication::activeModalWidget()) {
    qApp->installEventFilter(this);
}

InputGate::~InputGate() {
    qApp->removeEventFilter(this);
}

bool InputGate::eventFilter(QObject* watched, QEvent* event) {
    // A box that came up during the wait is answered as usual.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != modalAtStart_ && watched->isWidgetType()) {
        const auto* widget = static_cast<QWidget*>(watched);
        if (widget == modal || modal->isAncestorOf(widget))
            return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::KeyPress:
            if (onEscape_ && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) onEscape_();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        default:
            return QObject::eventFilter(watched, event);
    }
}

void waitRepainting(int milliseconds) {
    const InputGate gate;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop loop;
    // A coarse timer may end a wait of seconds up to 5 % early.
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    QApplication::restoreOverrideCursor();
}

void showWorking(QWidget& window, bool working) {
    if (working) {
        window.setCursor(Qt::BusyCursor);
    } else {
        window.unsetCursor();
    }
}

}  // namespace tarvo::gui
