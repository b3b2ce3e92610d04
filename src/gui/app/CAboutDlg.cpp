#include "app/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/AppIcon.h"
#include "controls/DialogUnits.h"

namespace tarvo::gui {

namespace t = tmpl::about;

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CAboutDlg"));
    setWindowTitle(templateText(t::kCaption));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(dialogFont(t::kFont, t::kFontPoints));
    const DialogUnits du(font());
    setFixedSize(du.size(t::kWidth, t::kHeight));

    auto* icon = new QLabel(this);
    const QRect iconRect = du.rect(t::kIcon);
    icon->setGeometry(iconRect.x(), iconRect.y(), 32, 32);  // an icon keeps its own size
    icon->setPixmap(appIconPixmap(32));
    for (const auto& c : {t::kName, t::kLine2}) {
        auto* text = new QLabel(templateText(c.text), this);
        text->setGeometry(du.rect(c.rect));
    }
    auto* ok = new QPushButton(templateText(t::kOk.text), this);
    ok->setObjectName(controlName(t::kOk.id));
    ok->setGeometry(du.rect(t::kOk.rect));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tarvo::gui
