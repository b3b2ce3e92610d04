#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPicture>
#include <QTest>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>

#include "controls/CGradientProgressCtrl.h"
#include "controls/CMemDC.h"
#include "controls/COwnerEdit.h"
#include "controls/CTrackControl.h"
#include "controls/CXPButton.h"

using namespace tarvo::gui;

namespace {

QImage render(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QColor at(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

// The mouse comes to rest over a control: a move, then time for the hover notification (a
// loaded machine may take a while to deliver even a 1 ms timer).
template <typename Control>
void hoverOver(Control& w) {
    const QPointF p(w.width() / 2.0, w.height() / 2.0);
    QMouseEvent move(QEvent::MouseMove, p, w.mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.isHovered(); }, 5000));
}

void leave(QWidget& w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(&w, &e);
}

// A shown, active window holding `child`, with the keyboard focus on it.
std::unique_ptr<QWidget> focusedIn(QWidget* child) {
    auto window = std::make_unique<QWidget>();
    child->setParent(window.get());
    child->move(4, 4);
    window->resize(child->width() + 8, child->height() + 8);
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
    child->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_TRUE(child->hasFocus());
    return window;
}

// A palette colour as it lands in a 32-bit pixel.
QColor pixelOf(const QColor& c) {
    return QColor::fromRgb(c.rgb());
}

QColor inverted(const QColor& c) {
    return {255 - c.red(), 255 - c.green(), 255 - c.blue()};
}

// Bounding box of the pixels darker than `limit` in every channel, inside `area`.
QRect darkBox(const QImage& image, const QRect& area, int limit = 96) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = at(image, x, y);
            if (c.red() < limit && c.green() < limit && c.blue() < limit) box |= QRect(x, y, 1, 1);
        }
    return box;
}

// ---------------------------------------------------------------------------------------------
// Gradient push button

TEST(XPButtonGradient, FirstRowTakesBrushZeroAndLastRowBrush63AtEveryHeight) {
    for (const int h : {5, 6, 7, 10, 23, 40, 67, 130}) {
        SCOPED_TRACE(h);
        CXPButton button;
        button.resize(60, h);
        const QImage image = render(button);
        const int top = 2;
        const int bottom = h - 2;  // one past the last row inside the edges; painted too
        const int inner = bottom - top;
        for (int y = top; y <= bottom; ++y) {
            const int brush = (y - top) * 63 / inner;
            ASSERT_EQ(at(image, 30, y), CXPButton::gradientColour(brush, false, false)) << y;
        }
        EXPECT_EQ(at(image, 30, top), QColor(255, 255, 255));
        // brush 63 without hover or emphasis: 255 - 63/3, blue 255 - 63/5
        EXPECT_EQ(at(image, 30, bottom), QColor(234, 234, 243));
    }
}

TEST(XPButtonGradient, ButtonWithNothingInsideItsEdgesPaintsNoRows) {
    for (const int h : {4, 3, 1}) {
        SCOPED_TRACE(h);
        CXPButton button;
        button.resize(40, h);
        const QImage image = render(button);
        ASSERT_EQ(image.height(), h);
        // Nothing but the outline and its white inside: no gradient colour anywhere.
        for (int y = 1; y < h - 1; ++y)
            for (int x = 3; x < 37; ++x) EXPECT_EQ(at(image, x, y), QColor(Qt::white)) << x << y;
    }
}

TEST(XPButtonGradient, HoverAndEmphasisChooseTheFourColourRules) {
    // Inner height 63: row 2 + i shows brush i. Brush 40 in the four states.
    struct Case {
        bool hover;
        bool emphasis;
        QColor expected;
    };
    const Case cases[] = {{true, true, QColor(245, 245, 242)},
                          {true, false, QColor(245, 245, 247)},
                          {false, true, QColor(242, 242, 245)},
                          {false, false, QColor(242, 242, 247)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hover << c.emphasis);
        CXPButton button;
        button.resize(60, 67);
        button.setDefault(c.emphasis);  // emphasis without focus frame or pushed text
        if (c.hover) hoverOver(button);
        ASSERT_EQ(button.isHovered(), c.hover);
        const QImage image = render(button);
        EXPECT_EQ(at(image, 30, 42), c.expected);
    }
    // Pressing is emphasis too.
    CXPButton pressed;
    pressed.resize(60, 67);
    pressed.setDown(true);
    EXPECT_EQ(at(render(pressed), 30, 42), QColor(242, 242, 245));
}

TEST(XPButtonGradient, OutlineIsDarkGreenAndTheWindowIsRounded) {
    CXPButton button(QStringLiteral("OK"));
    button.resize(80, 24);
    const QImage image = render(button);
    EXPECT_EQ(at(image, 40, 0), CXPButton::kOutlineColour);
    EXPECT_EQ(at(image, 0, 12), CXPButton::kOutlineColour);
    EXPECT_EQ(at(image, 79, 12), CXPButton::kOutlineColour);
    EXPECT_EQ(at(image, 40, 23), CXPButton::kOutlineColour);
    const QRegion mask = button.mask();
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(79, 23)));
    EXPECT_TRUE(mask.contains(QPoint(40, 0)));
    EXPECT_TRUE(mask.contains(QPoint(0, 12)));
    button.resize(120, 30);
    render(button);  // the size reaches a hidden widget when it is shown or drawn
    EXPECT_TRUE(button.mask().contains(QPoint(110, 15)));
    EXPECT_FALSE(button.mask().contains(QPoint(119, 29)));
}

TEST(XPButtonHover, ComesOnlyAfterTheMouseRestsAndGoesAtOnceOnLeave) {
    CXPButton button(QStringLiteral("OK"));
    button.resize(80, 24);
    const QPointF p(40, 12);
    QMouseEvent move(QEvent::MouseMove, p, button.mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&button, &move);
    EXPECT_FALSE(button.isHovered());
    EXPECT_EQ(at(render(button), 2, 12), CXPButton::gradientColour(10 * 63 / 20, false, false));
    EXPECT_TRUE(QTest::qWaitFor([&] { return button.isHovered(); }, 5000));
    EXPECT_EQ(at(render(button), 2, 12), CXPButton::kHoverPens[0].colour);
    leave(button);
    EXPECT_FALSE(button.isHovered());
    EXPECT_EQ(at(render(button), 2, 12), CXPButton::gradientColour(10 * 63 / 20, false, false));
    // A leave before the notification cancels it.
    QApplication::sendEvent(&button, &move);
    leave(button);
    QTest::qWait(20);
    EXPECT_FALSE(button.isHovered());
}

TEST(XPButtonFrame, HoverPensOnAllFourSidesWithoutFocusRectangle) {
    CXPButton button;
    button.resize(60, 30);
    hoverOver(button);
    const QImage image = render(button);
    const auto& pens = CXPButton::kHoverPens;
    for (int y = 5; y < 26; ++y) {
        EXPECT_EQ(at(image, 2, y), pens[0].colour) << y;  // left, 3 wide around x = 2
        EXPECT_EQ(at(image, 1, y), pens[0].colour) << y;
        EXPECT_EQ(at(image, 57, y), pens[1].colour) << y;  // right, around x = 57
    }
    for (int x = 5; x < 55; ++x) {
        EXPECT_EQ(at(image, x, 1), pens[2].colour) << x;  // top, rows 1 and 2
        EXPECT_EQ(at(image, x, 2), pens[2].colour) << x;
        EXPECT_EQ(at(image, x, 28), pens[3].colour) << x;  // bottom, rows 27 and 28
        EXPECT_EQ(at(image, x, 27), pens[3].colour) << x;
    }
}

TEST(XPButtonFrame, TabFocusShowsFocusPensAndDottedRectangleUntilTheMouseComes) {
    auto* button = new CXPButton;
    button->resize(60, 30);
    const auto window = focusedIn(button);
    const auto& pens = CXPButton::kFocusPens;
    QImage image = render(*button);
    // Left edge column x = 2 carries the focus rectangle: every other pixel inverted.
    for (int y = 5; y < 26; ++y) {
        const QColor expected = ((2 + y) % 2 == 0) ? inverted(pens[0].colour) : pens[0].colour;
        EXPECT_EQ(at(image, 2, y), expected) << y;
        EXPECT_EQ(at(image, 1, y), pens[0].colour) << y;
        EXPECT_EQ(at(image, 58, y), pens[1].colour) << y;
    }
    EXPECT_EQ(at(image, 30, 1), pens[2].colour);
    EXPECT_EQ(at(image, 30, 28), pens[3].colour);
    // Focus is emphasis: brush 20 of 26 rows, without hover.
    EXPECT_EQ(at(image, 30, 2 + 13), CXPButton::gradientColour(13 * 63 / 26, false, true));

    hoverOver(*button);
    image = render(*button);
    for (int y = 5; y < 26; ++y) EXPECT_EQ(at(image, 2, y), CXPButton::kHoverPens[0].colour) << y;
    EXPECT_EQ(at(image, 30, 2 + 13), CXPButton::gradientColour(13 * 63 / 26, true, true));
}

TEST(XPButtonText, PushedTextMovesOnePixelDownAndRight) {
    CXPButton button(QStringLiteral("Upgrade"));
    button.resize(100, 30);
    const QRect inside(4, 4, 92, 22);
    const QRect normal = darkBox(render(button), inside);
    ASSERT_FALSE(normal.isEmpty());
    // Centred on the inside of the edges.
    EXPECT_LE(std::abs((normal.left() + normal.right()) / 2 - 50), 2);
    EXPECT_LE(std::abs((normal.top() + normal.bottom()) / 2 - 15), 3);
    button.setDown(true);
    const QRect pushed = darkBox(render(button), inside);
    EXPECT_EQ(pushed, normal.translated(1, 1));
}

TEST(XPButtonText, DisabledTextIsEmbossed) {
    CXPButton button(QStringLiteral("Upgrade"));
    button.resize(100, 40);
    QFont exact = button.font();  // whole pixels only, so that both copies show exactly
    exact.setStyleStrategy(QFont::NoAntialias);
    button.setFont(exact);
    const QRect inside(4, 10, 92, 20);
    const QRect enabledText = darkBox(render(button), inside);
    ASSERT_FALSE(enabledText.isEmpty());
    button.setEnabled(false);
    const QImage image = render(button);
    EXPECT_TRUE(darkBox(image, inside, 40).isEmpty()) << "no text in the enabled colour";
    const QColor shadow = pixelOf(button.palette().color(QPalette::Dark));
    const QColor light = pixelOf(button.palette().color(QPalette::Light));
    QRect shadowBox;
    QRect lightBox;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            if (at(image, x, y) == shadow) shadowBox |= QRect(x, y, 1, 1);
            if (at(image, x, y) == light) lightBox |= QRect(x, y, 1, 1);
        }
    ASSERT_FALSE(shadowBox.isEmpty());
    ASSERT_FALSE(lightBox.isEmpty());
    // The highlight copy sits one pixel below and to the right of the shadow one.
    EXPECT_EQ(lightBox.right(), shadowBox.right() + 1);
    EXPECT_EQ(lightBox.bottom(), shadowBox.bottom() + 1);
}

TEST(XPButtonApi, MouseAndKeyboardClickItThroughItsOwnEventHandling) {
    auto* button = new CXPButton(QStringLiteral("&OK"));
    button->resize(80, 24);
    const auto window = focusedIn(button);
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(40, 12));
    EXPECT_EQ(clicks, 1);
    hoverOver(*button);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(40, 12));
    QTest::keyClick(button, Qt::Key_Space);
    EXPECT_EQ(clicks, 3);
}

TEST(OwnerDrawnHover, DisabledControlsShowNoHoverAndLoseItWhenDisabled) {
    CXPButton button(QStringLiteral("OK"));
    button.resize(80, 24);
    COwnerEdit edit(QStringLiteral("192.168.1.10"));
    edit.resize(120, 22);
    const QColor plainButton = CXPButton::gradientColour(10 * 63 / 20, false, false);
    button.setEnabled(false);
    edit.setEnabled(false);
    const QColor plainEdge = pixelOf(edit.palette().color(QPalette::Dark));
    for (QWidget* w : {static_cast<QWidget*>(&button), static_cast<QWidget*>(&edit)}) {
        const QPointF p(10, 10);
        QMouseEvent move(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    }
    QTest::qWait(100);  // ample for a 1 ms hover notification that must not come
    EXPECT_FALSE(button.isHovered());
    EXPECT_FALSE(edit.isHovered());
    EXPECT_EQ(at(render(button), 2, 12), plainButton);
    EXPECT_EQ(at(render(edit), 0, 0), plainEdge);

    // Disabled while the mouse rests on them: the look goes at once.
    button.setEnabled(true);
    edit.setEnabled(true);
    hoverOver(button);
    hoverOver(edit);
    button.setEnabled(false);
    edit.setEnabled(false);
    EXPECT_FALSE(button.isHovered());
    EXPECT_FALSE(edit.isHovered());
    EXPECT_EQ(at(render(button), 2, 12), plainButton);
    EXPECT_EQ(at(render(edit), 0, 0), plainEdge);
}

// ---------------------------------------------------------------------------------------------
// Edit field

TEST(OwnerEdit, FlatSunkenEdgeNormallyAndFilledBorderWhileHovered) {
    COwnerEdit edit(QStringLiteral("192.168.1.10"));
    edit.resize(120, 22);
    const QColor shadow = pixelOf(edit.palette().color(QPalette::Dark));
    const QColor face = pixelOf(edit.palette().color(QPalette::Button));
    auto expectBorder = [&](const QColor& outer, const QColor& inner) {
        const QImage image = render(edit);
        for (int x = 0; x < 120; x += 7) {
            EXPECT_EQ(at(image, x, 0), outer) << x;
            EXPECT_EQ(at(image, x, 21), outer) << x;
        }
        for (int y = 0; y < 22; y += 3) {
            EXPECT_EQ(at(image, 0, y), outer) << y;
            EXPECT_EQ(at(image, 119, y), outer) << y;
        }
        for (int x = 1; x < 119; x += 7) EXPECT_EQ(at(image, x, 1), inner) << x;
        for (int y = 1; y < 21; y += 3) EXPECT_EQ(at(image, 1, y), inner) << y;
        EXPECT_EQ(at(image, 118, 20), inner);
    };
    expectBorder(shadow, face);

    const QPointF p(60, 11);
    QMouseEvent move(QEvent::MouseMove, p, edit.mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&edit, &move);
    EXPECT_FALSE(edit.isHovered());
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit.isHovered(); }, 5000));
    expectBorder(QColor(Qt::black), QColor(187, 200, 143));

    leave(edit);
    EXPECT_FALSE(edit.isHovered());
    expectBorder(shadow, face);
}

TEST(OwnerEdit, TypedTextArrivesAndShowsInsideTheBorder) {
    COwnerEdit edit;
    edit.resize(120, 22);
    QTest::keyClicks(&edit, QStringLiteral("admin"));
    EXPECT_EQ(edit.text(), QStringLiteral("admin"));
    EXPECT_FALSE(darkBox(render(edit), QRect(2, 2, 116, 18)).isEmpty()) << "the text is drawn";
}

// Any widget class takes the tracking: the hooks run once per rest and once per leave.
class TrackedLabel : public CTrackControl<QLabel> {
public:
    using CTrackControl::CTrackControl;
    int entered = 0;
    int left = 0;

protected:
    void HoverEntered() override { ++entered; }
    void HoverLeft() override { ++left; }
};

TEST(TrackControl, HooksRunOncePerRestAndOncePerLeave) {
    TrackedLabel label(QStringLiteral("text"));
    label.resize(80, 20);
    hoverOver(label);
    hoverOver(label);  // moving on while hovered asks for nothing new
    EXPECT_EQ(label.entered, 1);
    EXPECT_TRUE(label.isTracking());
    leave(label);
    EXPECT_EQ(label.left, 1);
    EXPECT_FALSE(label.isTracking());
    leave(label);  // nothing was asked for: no second leave
    EXPECT_EQ(label.left, 1);
    hoverOver(label);
    EXPECT_EQ(label.entered, 2);
}

// ---------------------------------------------------------------------------------------------
// Off-screen drawing

TEST(MemDC, DrawingReachesTheTargetOnlyWhenItCloses) {
    QImage target(50, 40, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    {
        CMemDC dc(painter, QRect(10, 10, 20, 20));
        EXPECT_TRUE(dc.isOffScreen());
        EXPECT_NE(&dc.painter(), &painter);
        dc->fillRect(12, 12, 5, 5, Qt::red);  // target coordinates
        dc->fillRect(0, 0, 50, 5, Qt::blue);  // outside the area: dropped
        EXPECT_EQ(target.pixelColor(13, 13), QColor(Qt::white));
    }
    painter.end();
    EXPECT_EQ(target.pixelColor(13, 13), QColor(Qt::red));
    EXPECT_EQ(target.pixelColor(16, 16), QColor(Qt::red));
    EXPECT_EQ(target.pixelColor(20, 20), QColor(Qt::white)) << "unpainted stays as it was";
    EXPECT_EQ(target.pixelColor(2, 2), QColor(Qt::white));
}

TEST(MemDC, PrinterLikeTargetIsDrawnStraightAndNothingIsCopied) {
    QPicture picture;
    QPainter painter(&picture);
    {
        CMemDC dc(painter, QRect(0, 0, 30, 30));
        EXPECT_FALSE(dc.isOffScreen());
        EXPECT_EQ(&dc.painter(), &painter);
        dc->fillRect(0, 0, 10, 10, Qt::red);
    }
    painter.end();
    // Replayed, the picture holds the drawing itself.
    QImage replay(30, 30, QImage::Format_RGB32);
    replay.fill(Qt::white);
    QPainter p(&replay);
    picture.play(&p);
    p.end();
    EXPECT_EQ(replay.pixelColor(5, 5), QColor(Qt::red));
    EXPECT_EQ(replay.pixelColor(20, 20), QColor(Qt::white));
}

// ---------------------------------------------------------------------------------------------
// Gradient progress bar

std::unique_ptr<CGradientProgressCtrl> upgradeBar(int width, bool text) {
    auto bar =
        std::make_unique<CGradientProgressCtrl>(CGradientProgressCtrl::upgradeColours(), nullptr);
    bar->resize(width, 20);
    bar->setShowPercentage(text);
    return bar;
}

void expectPlainFace(CGradientProgressCtrl& bar) {
    const QImage image = render(bar);
    const QColor face = pixelOf(bar.palette().color(QPalette::Button));
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 5) ASSERT_EQ(at(image, x, y), face) << x << y;
}

// Band edges of the dialogs' 255 bands on a bar `width` wide, computed the long way.
int firstBandEdgeBeyond(int fill, int width) {
    for (int k = 1; k <= 255; ++k) {
        const int edge = static_cast<int>(std::floor(k * static_cast<double>(width) / 255 + 1e-9));
        if (edge > fill) return edge;
    }
    return width;
}

TEST(GradientProgress, EmptyAndFullBarsShowPlainFace) {
    auto bar = upgradeBar(300, true);
    bar->SetRange(0, 100);
    bar->SetPos(0);
    expectPlainFace(*bar);
    bar->SetPos(100);
    expectPlainFace(*bar);
    bar->SetPos(150);  // above the range
    expectPlainFace(*bar);
    bar->SetPos(-3);
    expectPlainFace(*bar);
}

TEST(GradientProgress, HalfWayShowsBandsToTheFirstBandEdgePastTheMiddle) {
    auto bar = upgradeBar(300, false);
    bar->SetRange(0, 100);
    bar->SetPos(50);
    const QImage image = render(*bar);
    EXPECT_EQ(at(image, 0, 10), QColor(255, 0, 0));
    // x = 150 lies in band 128 (red 127, green 128), which ends at 151.
    EXPECT_EQ(at(image, 150, 10), QColor(127, 128, 0));
    EXPECT_EQ(at(image, 151, 10), QColor(112, 0, 211));
    EXPECT_EQ(at(image, 299, 19), QColor(112, 0, 211));
    EXPECT_EQ(firstBandEdgeBeyond(150, 300), 151);
    // Band i runs red 255 - i, green i from pixel trunc(i * 300 / 255) on.
    int band = 0;
    for (int x = 0; x <= 150; ++x) {
        while (static_cast<int>(std::floor((band + 1) * 300.0 / 255 + 1e-9)) <= x) ++band;
        ASSERT_EQ(at(image, x, 5), QColor(255 - band, band, 0)) << x;
    }
}

TEST(GradientProgress, FilledPartAlwaysEndsOnABandEdge) {
    for (const int width : {300, 173, 1000}) {
        auto bar = upgradeBar(width, false);
        bar->SetRange(0, 97);
        for (int pos = 1; pos < 97; pos += 4) {
            bar->SetPos(pos);
            const QImage image = render(*bar);
            const int fill = pos * width / 97;
            const int edge = firstBandEdgeBeyond(fill, width);
            ASSERT_NE(at(image, edge - 1, 3), QColor(112, 0, 211)) << width << " " << pos;
            ASSERT_EQ(at(image, edge, 3), QColor(112, 0, 211)) << width << " " << pos;
        }
    }
}

TEST(GradientProgress, PercentageIsWrittenCentredInTheTextColour) {
    auto plain = upgradeBar(300, false);
    auto withText = upgradeBar(300, true);
    for (auto* bar : {plain.get(), withText.get()}) {
        bar->SetRange(0, 100);
        bar->SetPos(50);
    }
    const QImage a = render(*plain);
    const QImage b = render(*withText);
    QRect changed;
    bool black = false;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 300; ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                changed |= QRect(x, y, 1, 1);
                black = black || at(b, x, y) == QColor(Qt::black);
            }
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_TRUE(black);
    const int textWidth = QFontMetrics(withText->font()).horizontalAdvance(QStringLiteral("50%"));
    EXPECT_NEAR(changed.width(), textWidth, 3);
    EXPECT_NEAR(changed.center().x(), 150, 2);
    EXPECT_EQ(CGradientProgressCtrl::percentage(0, 100, 50), 50);
    EXPECT_EQ(CGradientProgressCtrl::percentage(0, 7, 3), 42);
}

TEST(GradientProgress, RangeNotStartingAtZeroCountsFromItsLowerEnd) {
    EXPECT_EQ(CGradientProgressCtrl::fillWidth(100, 200, 150, 300), 150);
    EXPECT_EQ(CGradientProgressCtrl::percentage(100, 200, 150), 50);
    auto bar = upgradeBar(300, false);
    bar->SetRange(100, 200);
    EXPECT_EQ(bar->value(), 100) << "SetRange moves the position to the lower end";
    bar->SetPos(150);
    const QImage image = render(*bar);
    EXPECT_EQ(at(image, 150, 10), QColor(127, 128, 0));
    EXPECT_EQ(at(image, 151, 10), QColor(112, 0, 211));
}

TEST(GradientProgress, EqualColoursFillTheDonePartWithThatColour) {
    auto bar = upgradeBar(200, false);
    bar->setStartColour(QColor(10, 120, 30));
    bar->setEndColour(QColor(10, 120, 30));
    bar->SetPos(25);
    const QImage image = render(*bar);
    EXPECT_EQ(at(image, 0, 10), QColor(10, 120, 30));
    EXPECT_EQ(at(image, 49, 10), QColor(10, 120, 30));
    EXPECT_EQ(at(image, 50, 10), QColor(112, 0, 211));
    EXPECT_EQ(at(image, 199, 10), QColor(112, 0, 211));
}

TEST(GradientProgress, DrivenThroughAProgressBarPointer) {
    auto owner =
        std::make_unique<CGradientProgressCtrl>(CGradientProgressCtrl::upgradeColours(), nullptr);
    QProgressBar* bar = owner.get();
    bar->resize(255, 20);
    bar->setTextVisible(false);
    bar->setRange(0, 10);
    bar->setValue(0);
    expectPlainFace(*owner);
    bar->setValue(std::min(5, bar->maximum()));
    const QImage image = render(*owner);
    EXPECT_EQ(at(image, 0, 10), QColor(255, 0, 0));
    EXPECT_EQ(at(image, 127, 10), QColor(128, 127, 0));
    EXPECT_EQ(at(image, 128, 10), QColor(112, 0, 211));
    bar->setValue(10);
    expectPlainFace(*owner);
}

TEST(GradientProgress, PlainBarRunsRedToBlueOverZeroToHundredWithoutText) {
    CGradientProgressCtrl bar;
    bar.resize(255, 20);  // 255 bands of one pixel: band i is red 255 - i, blue i
    bar.SetPos(50);
    const QImage image = render(bar);
    EXPECT_EQ(at(image, 0, 10), QColor(255, 0, 0));
    EXPECT_EQ(at(image, 100, 10), QColor(155, 0, 100));
    EXPECT_EQ(at(image, 127, 10), QColor(128, 0, 127));  // 50 of 0..100 fills 127 pixels
    EXPECT_EQ(at(image, 128, 10), pixelOf(bar.palette().color(QPalette::Button)));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 255; ++x) ASSERT_NE(at(image, x, y), QColor(Qt::white)) << x << y;
}

TEST(GradientProgress, EveryChangeSchedulesARepaint) {
    auto bar = upgradeBar(300, true);
    int paints = 0;
    struct Counter : QObject {
        int* paints;
        explicit Counter(int* p) : paints(p) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++*paints;
            return false;
        }
    } counter(&paints);
    bar->installEventFilter(&counter);
    bar->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(bar.get()));
    QApplication::processEvents();
    for (int pos = 1; pos < 5; ++pos) {
        paints = 0;
        bar->SetPos(pos);
        QApplication::processEvents();
        EXPECT_GE(paints, 1) << pos;
    }
    paints = 0;
    bar->SetRange(0, 1000);
    QApplication::processEvents();
    EXPECT_GE(paints, 1);
}

}  // namespace
