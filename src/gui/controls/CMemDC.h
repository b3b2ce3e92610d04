#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

#include <optional>

namespace tarvo::gui {

// Off-screen drawing for one paint: everything drawn through painter() lands in an image of the
// target's clip box and is copied to the same place on the target when the object goes away, so
// the screen never shows a half-drawn control. Callers draw in the target's coordinates.
// On printer-like targets (a printer, a recorded picture) a bitmap would only lose resolution,
// so drawing goes straight to the target and nothing is copied at the end.
class CMemDC {
public:
    // `area` is the part of the target the paint covers (the paint event's rectangle); the
    // target's own clip box narrows it when it has one.
    CMemDC(QPainter& target, const QRect& area);
    ~CMemDC();

    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    [[nodiscard]] QPainter& painter() { return memory_ ? *memory_ : target_; }
    QPainter* operator->() { return &painter(); }
    [[nodiscard]] bool isOffScreen() const { return memory_.has_value(); }
    [[nodiscard]] const QRect& rect() const { return rect_; }

    static bool drawsDirectly(const QPaintDevice* device);

private:
    QImage bitmap_;
    QPainter& target_;
    QRect rect_;
    std::optional<QPainter> memory_;
};

}  // namespace tarvo::gui
