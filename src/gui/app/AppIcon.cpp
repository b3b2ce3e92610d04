#include "app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace tarvo::gui {

QPixmap appIconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xa8));
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.18, s * 0.18);
    // Camera body, lens and the little mount on top.
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(s * 0.14, s * 0.34, s * 0.56, s * 0.38), s * 0.06, s * 0.06);
    QPainterPath hood;
    hood.moveTo(s * 0.70, s * 0.44);
    hood.lineTo(s * 0.88, s * 0.34);
    hood.lineTo(s * 0.88, s * 0.72);
    hood.lineTo(s * 0.70, s * 0.62);
    hood.closeSubpath();
    p.drawPath(hood);
    p.drawRect(QRectF(s * 0.24, s * 0.26, s * 0.14, s * 0.09));
    p.setBrush(QColor(0x1f, 0x5f, 0xa8));
    p.drawEllipse(QPointF(s * 0.42, s * 0.53), s * 0.11, s * 0.11);
    return pixmap;
}

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(appIconPixmap(size));
    return icon;
}

}  // namespace tarvo::gui
