#pragma once

#include <QString>

#include <string_view>
#include <utility>

#include "common/UiQueue.h"
#include "core/text/Notifier.h"

class QWidget;

namespace tarvo::gui {

// The core's messages as message boxes over a window. On the window's thread the box opens at
// once; other threads (receive threads must not wait for the user) hand it to the window's
// thread and go on, and such boxes open one after the other.
class BoxNotifier final : public text::Notifier {
public:
    explicit BoxNotifier(QWidget* parent);

    void message(std::u16string_view text) override;
    void systemError(std::u16string_view text) override;

private:
    void show(bool error, const QString& text);

    QWidget* parent_;
    UiQueue<std::pair<bool, QString>> pending_;
};

}  // namespace tarvo::gui
