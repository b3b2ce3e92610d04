#include "app/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/AppIcon.h"
#include "controls/DialogBuilder.h"

namespace tarvo::gui {

namespace t = tmpl::about;

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    const DialogBuilder ui(
        *this, {"CAboutDlg", t::kCaption, t::kFont, t::kFontPoints, t::kWidth, t::kHeight});

    auto* icon = new QLabel(this);
    const QRect iconRect = ui.units().rect(t::kIcon);
    icon->setGeometry(iconRect.x(), iconRect.y(), 32, 32);  // an icon keeps its own size
    icon->setPixmap(appIconPixmap(32));
    for (const auto& c : {t::kName, t::kLine2}) ui.label(c);
    auto* ok = ui.addWithText<QPushButton>(t::kOk);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tarvo::gui
