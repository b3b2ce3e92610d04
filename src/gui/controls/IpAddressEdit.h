#pragma once

#include <QLineEdit>
#include <QString>

namespace tarvo::gui {

// An IPv4 address field: a line edit that takes only dotted-decimal input (up to four fields of
// 0..255). It reads like an address control: a blank field counts as 0, an empty edit as
// 0.0.0.0, so that a half-typed address never becomes some other address than the fields show.
class IpAddressEdit final : public QLineEdit {
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    // The four fields as "a.b.c.d", blank fields as 0.
    [[nodiscard]] QString dottedText() const;
    // The same rule on any text the validator lets through.
    static QString dotted(const QString& text);
};

}  // namespace tarvo::gui
