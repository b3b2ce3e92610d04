#pragma once

#include <QEvent>
#include <QTimer>

#include <utility>

namespace tarvo::gui {

// Mouse-over tracking for any widget class: the first move over the control asks for a hover
// notification after the mouse has rested for 1 ms; when it comes, HoverEntered runs; leaving
// the control clears everything at once and runs HoverLeft. A disabled control is never hovered.
template <typename Base>
class CTrackControl : public Base {
public:
    static constexpr int kHoverTimeMs = 1;

    template <typename... Args>
    explicit CTrackControl(Args&&... args) : Base(std::forward<Args>(args)...) {
        Base::setMouseTracking(true);
        hoverTimer_.setSingleShot(true);
        hoverTimer_.setInterval(kHoverTimeMs);
        QObject::connect(&hoverTimer_, &QTimer::timeout, this, [this] {
            if (!tracking_ || !Base::isEnabled()) return;
            hover_ = true;
            HoverEntered();
        });
    }

    [[nodiscard]] bool isHovered() const { return hover_; }
    [[nodiscard]] bool isTracking() const { return tracking_; }

protected:
    virtual void HoverEntered() = 0;
    virtual void HoverLeft() = 0;

    bool event(QEvent* e) override {
        const bool result = Base::event(e);
        switch (e->type()) {
            case QEvent::MouseMove:
                // A disabled control sees the moves too, but takes no hover.
                if (!tracking_ && Base::isEnabled()) {
                    tracking_ = true;
                    hoverTimer_.start();
                }
                break;
            case QEvent::EnabledChange:
                if (Base::isEnabled()) break;
                [[fallthrough]];  // disabled under the mouse: as if it had left
            case QEvent::Leave:
                // A leave is reported only to a control that asked for it.
                if (!tracking_ && !hover_) break;
                hoverTimer_.stop();
                tracking_ = false;
                hover_ = false;
                HoverLeft();
                break;
            default:
                break;
        }
        return result;
    }

private:
    bool tracking_ = false;
    bool hover_ = false;
    QTimer hoverTimer_;
};

}  // namespace tarvo::gui
