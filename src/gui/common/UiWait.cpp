#include "common/UiWait.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

namespace tarvo::gui {

namespace {

class InputSwallower final : public QObject {
public:
    InputSwallower() { qApp->installEventFilter(this); }
    ~InputSwallower() override { qApp->removeEventFilter(this); }
    InputSwallower(const InputSwallower&) = delete;
    InputSwallower& operator=(const InputSwallower&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::KeyPress:
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
};

}  // namespace

void waitRepainting(int milliseconds) {
    const InputSwallower swallower;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QEventLoop loop;
    // A coarse timer may end a wait of seconds up to 5 % early.
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    QApplication::restoreOverrideCursor();
}

}  // namespace tarvo::gui
