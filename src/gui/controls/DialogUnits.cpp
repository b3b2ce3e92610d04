#include "controls/DialogUnits.h"

#include <QFontMetrics>
#include <QStringList>

namespace tarvo::gui {

QFont dialogFont(const char* family, int points) {
    QFont font;
    font.setFamilies(QStringList{QString::fromLatin1(family), QStringLiteral("WenQuanYi Micro Hei"),
                                 QStringLiteral("Noto Sans CJK SC"),
                                 QStringLiteral("DejaVu Sans")});
    font.setPointSize(points);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    // The average width over the 52 Latin letters, as the dialog manager measures it.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseWidth_ = std::max(1, (letters / 26 + 1) / 2);
    baseHeight_ = std::max(1, metrics.height());
}

int DialogUnits::x(int units) const {
    return (units * baseWidth_ * 2 + (units >= 0 ? 4 : -4)) / 8;
}

int DialogUnits::y(int units) const {
    return (units * baseHeight_ + (units >= 0 ? 4 : -4)) / 8;
}

QRect DialogUnits::rect(const tmpl::Rect& r) const {
    return {x(r.x), y(r.y), x(r.w), y(r.h)};
}

QSize DialogUnits::size(int width, int height) const {
    return {x(width), y(height)};
}

QString controlName(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

}  // namespace tarvo::gui
