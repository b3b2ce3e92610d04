#include "common/BoxNotifier.h"

#include <QThread>
#include <QWidget>

#include "common/MessageBoxes.h"
#include "common/UiText.h"

namespace tarvo::gui {

BoxNotifier::BoxNotifier(QWidget* parent)
    : parent_(parent),
      pending_(parent, [this](std::pair<bool, QString>& box) { show(box.first, box.second); }) {}

void BoxNotifier::message(std::u16string_view text) {
    show(false, uiText(text));
}

void BoxNotifier::systemError(std::u16string_view text) {
    show(true, uiText(text));
}

void BoxNotifier::show(bool error, const QString& text) {
    if (QThread::currentThread() != parent_->thread()) {
        pending_.push({error, text});
        return;
    }
    if (error) {
        showSystemError(parent_, text);
    } else {
        showMessage(parent_, text);
    }
}

}  // namespace tarvo::gui
