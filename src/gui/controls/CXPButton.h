#pragma once

#include <QColor>
#include <QPushButton>
#include <QTimer>

#include <array>

class QPainter;

namespace tarvo::gui {

// Edges of a rectangle the way the drawing code counts them: right and bottom are one past the
// last pixel.
struct EdgeRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// A push button that draws itself: a rounded dark-green outline (and a window mask of the same
// shape), a vertical light gradient that turns bluer with focus, press or default and deeper
// under the mouse, a coloured inner frame while hovered or focused, and centred text.
class CXPButton : public QPushButton {
public:
    static constexpr int kHoverTimeMs = 1;
    static constexpr int kCornerEllipse = 5;  // width and height of the corner ellipses
    static constexpr int kEdge = 2;           // the 3-D edge kept clear around the gradient
    static constexpr int kBrushes = 64;

    // Inner frame pens: colour and width, in the order left, right, top, bottom.
    struct FramePen {
        QColor colour;
        int width;
    };
    using FramePens = std::array<FramePen, 4>;
    static const QColor kOutlineColour;  // 55, 98, 6
    static const FramePens kHoverPens;
    static const FramePens kFocusPens;

    explicit CXPButton(QWidget* parent = nullptr);
    explicit CXPButton(const QString& text, QWidget* parent = nullptr);

    // Colour of gradient brush `i` (0..63) for the given hover and emphasis flags.
    static QColor gradientColour(int i, bool hover, bool emphasis);

    [[nodiscard]] bool isHovered() const { return hover_ != 0; }

protected:
    virtual void FillGradient(QPainter& dc, const EdgeRect& rect);
    virtual void DrawInnerFrame(QPainter& dc, const EdgeRect& rect);

    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void init();
    void drawItem(QPainter& dc);
    void updateMask();

    int hover_ = 0;
    int tracking_ = 0;
    int focus_ = 0;
    int emphasis_ = 0;
    QTimer hoverTimer_;
};

}  // namespace tarvo::gui
