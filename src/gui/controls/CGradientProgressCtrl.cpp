#include "controls/CGradientProgressCtrl.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "controls/CMemDC.h"

namespace tarvo::gui {

CGradientProgressCtrl::Colours CGradientProgressCtrl::upgradeColours() {
    return {QColor(255, 0, 0), QColor(0, 255, 0), QColor(112, 0, 211), QColor(0, 0, 0)};
}

CGradientProgressCtrl::CGradientProgressCtrl(QWidget* parent)
    : QProgressBar(parent), background_(palette().color(QPalette::Button)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setTextVisible(false);
    QProgressBar::setRange(0, 100);
    QProgressBar::setValue(0);
    // The base repaints only when its own look would change; the bands need more.
    connect(this, &QProgressBar::valueChanged, this, [this] { update(); });
}

CGradientProgressCtrl::CGradientProgressCtrl(const Colours& colours, QWidget* parent)
    : CGradientProgressCtrl(parent) {
    start_ = colours.start;
    end_ = colours.end;
    background_ = colours.background;
    textColour_ = colours.text;
    setTextVisible(true);
}

void CGradientProgressCtrl::SetRange(int lower, int upper) {
    QProgressBar::setRange(lower, upper);
    QProgressBar::setValue(lower);
    update();
}

void CGradientProgressCtrl::SetPos(int position) {
    if (position >= minimum() && position <= maximum()) {
        QProgressBar::setValue(position);
    } else {
        reset();
    }
    update();
}

void CGradientProgressCtrl::setStartColour(const QColor& colour) {
    start_ = colour;
    update();
}

void CGradientProgressCtrl::setEndColour(const QColor& colour) {
    end_ = colour;
    update();
}

void CGradientProgressCtrl::setBkColour(const QColor& colour) {
    background_ = colour;
    update();
}

void CGradientProgressCtrl::setTextColour(const QColor& colour) {
    textColour_ = colour;
    update();
}

int CGradientProgressCtrl::fillWidth(int lower, int upper, int position, int width) {
    if (upper <= lower) return 0;
    return static_cast<int>(static_cast<std::int64_t>(position - lower) * width / (upper - lower));
}

int CGradientProgressCtrl::percentage(int lower, int upper, int position) {
    if (upper <= lower) return 0;
    return static_cast<int>(static_cast<std::int64_t>(position - lower) * 100 / (upper - lower));
}

void CGradientProgressCtrl::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QRect client = rect();
    const int lower = minimum();
    const int upper = maximum();
    const int position = value();
    if (lower < position && position < upper) {
        drawBands(painter, client, fillWidth(lower, upper, position, client.width()));
        if (isTextVisible()) {
            painter.setPen(textColour_);
            painter.setBackgroundMode(Qt::TransparentMode);
            painter.drawText(client, Qt::AlignCenter | Qt::TextSingleLine,
                             QStringLiteral("%1%").arg(percentage(lower, upper, position)));
        }
    } else {
        painter.fillRect(client, palette().color(QPalette::Button));
    }
}

void CGradientProgressCtrl::drawBands(QPainter& target, const QRect& client, int fill) const {
    CMemDC dc(target, client);
    QPainter& p = dc.painter();
    const int width = client.width();
    const int height = client.height();
    const int startRgb[3] = {start_.red(), start_.green(), start_.blue()};
    const int delta[3] = {end_.red() - startRgb[0], end_.green() - startRgb[1],
                          end_.blue() - startRgb[2]};
    const int steps = std::max({std::abs(delta[0]), std::abs(delta[1]), std::abs(delta[2])});
    if (steps == 0) {
        // Nothing to run towards: one band of the start colour, cut like any other.
        p.fillRect(0, 0, fill, height, start_);
        p.fillRect(fill, 0, width - fill, height, background_);
        return;
    }
    // Band edges and colours in exact integer steps, so that a band edge that falls on a whole
    // pixel lands on it.
    for (int i = 0; i < steps; ++i) {
        const int left = static_cast<int>(static_cast<std::int64_t>(i) * width / steps);
        const int right = static_cast<int>(static_cast<std::int64_t>(i + 1) * width / steps);
        int channel[3];
        for (int c = 0; c < 3; ++c)
            channel[c] = ((startRgb[c] * steps + i * delta[c]) / steps) & 0xFF;
        p.fillRect(left, 0, right - left, height, QColor(channel[0], channel[1], channel[2]));
        if (right > fill) {
            p.fillRect(right, 0, width - right, height, background_);
            break;
        }
    }
}

}  // namespace tarvo::gui
