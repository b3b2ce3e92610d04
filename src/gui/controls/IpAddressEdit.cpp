#include "controls/IpAddressEdit.h"

#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStringList>

namespace tarvo::gui {

namespace {
// One field: 0..255 without leading zeros, or still blank while being typed.
constexpr const char* kField = "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])?";
}  // namespace

IpAddressEdit::IpAddressEdit(QWidget* parent) : QLineEdit(parent) {
    const QString field = QString::fromLatin1(kField);
    const QRegularExpression pattern(QStringLiteral("^(%1\\.){0,3}%1$").arg(field));
    setValidator(new QRegularExpressionValidator(pattern, this));
    setMaxLength(15);
}

QString IpAddressEdit::dottedText() const {
    return dotted(text());
}

QString IpAddressEdit::dotted(const QString& text) {
    QStringList fields = text.trimmed().split(QLatin1Char('.'));
    while (fields.size() < 4) fields.append(QString());
    QStringList out;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint value = fields[i].toUInt(&ok);
        out.append(QString::number(ok && value <= 255 ? value : 0U));
    }
    return out.join(QLatin1Char('.'));
}

}  // namespace tarvo::gui
