#include "app/CTarvoApp.h"

#include "app/AppIcon.h"
#include "app/CTarvoDlg.h"

namespace tarvo::gui {

CTarvoApp::CTarvoApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Where QSettings keeps what the window remembers (~/.config/Tarvo/Tarvo.conf).
    setOrganizationName(QStringLiteral("Tarvo"));
    setApplicationName(QStringLiteral("Tarvo"));
    setWindowIcon(appIcon());
}

int CTarvoApp::initInstance() {
    CTarvoDlg dialog;
    dialog.onInitDialog();
    dialog.exec();
    return 0;
}

}  // namespace tarvo::gui
