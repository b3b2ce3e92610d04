#pragma once

#include <QObject>
#include <QWidget>

#include <functional>

namespace tarvo::gui {

// While alive, swallows every click and key press of the program's windows, so that no second
// operation starts while the window waits; Esc, where `onEscape` is given, calls it instead.
// Repaints, moves, resizes and the close box still reach the windows, and a box that opens
// meanwhile (a message from another thread) takes its clicks and keys as usual.
class InputGate final : public QObject {
public:
    explicit InputGate(std::function<void()> onEscape = {});
    ~InputGate() override;
    InputGate(const InputGate&) = delete;
    InputGate& operator=(const InputGate&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> onEscape_;
    QWidget* modalAtStart_;
};

// Lets `milliseconds` pass on the window thread: windows keep repainting and take queued work,
// but every click and key press meanwhile is swallowed, so no second operation starts.
void waitRepainting(int milliseconds);

// While a window's own worker talks to devices, the pointer over it is the busy one (the arrow
// with the hourglass: the window still takes its clicks, such as Close or Stop).
void showWorking(QWidget& window, bool working);

}  // namespace tarvo::gui
