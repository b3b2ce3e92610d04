#include "app/CAboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/AppIcon.h"
#include "controls/DialogBuilder.h"

namespace tarvo::gui {

namespace tAbout = tmpl::about;

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    const DialogBuilder ui(*this, {"CAboutDlg", tAbout::kCaption, tAbout::kFont,
                                   tAbout::kFontPoints, tAbout::kWidth, tAbout::kHeight});

    auto* icon = new QLabel(this);
    const QRect iconRect = ui.units().rect(tAbout::kIcon);
    icon->setGeometry(iconRect.x(), iconRect.y(), 32, 32);  // an icon keeps its own size
    icon->setPixmap(appIconPixmap(32));
    for (const auto& c : {tAbout::kName, tAbout::kLine2}) ui.label(c);
    auto* ok = ui.addWithText<QPushButton>(tAbout::kOk);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tarvo::gui
