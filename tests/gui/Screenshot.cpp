// Pictures of the windows for review. Run by scripts/screenshot inside the network sandbox,
// beside a simulated fleet:
//   tarvo-screenshot OUTDIR LANG EXPECTED_ROWS
// writes OUTDIR/main-<lang>.png (after the first search, sorted by the type column),
// arrow-up-<lang>.png and arrow-down-<lang>.png (the sorted header, enlarged),
// login-<lang>.png, login-nvr-<lang>.png and about-<lang>.png.

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "GuiDriver.h"
#include "app/CAboutDlg.h"
#include "app/CTarvoDlg.h"
#include "controls/CSortListCtrl.h"
#include "dialogs/CLog.h"
#include "support/Sandbox.h"

using namespace std::chrono_literals;

namespace {

bool save(QWidget& widget, const QString& path) {
    widget.show();
    tarvo::test::pump(300ms);
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: tarvo-screenshot OUTDIR LANG EXPECTED_ROWS\n");
        return 2;
    }
    tarvo::test::requireSandboxOrExit();
    const QString out = QString::fromLocal8Bit(argv[1]);
    const std::string lang = argv[2];
    const int expected = std::atoi(argv[3]);
    tarvo::test::setLanguage(lang.c_str());
    QApplication app(argc, argv);
    QDir().mkpath(out);
    const QString tag = QString::fromStdString(lang.substr(0, 5));
    bool ok = true;

    tarvo::gui::CTarvoDlg window;
    window.OnInitDialog();
    window.show();
    tarvo::test::waitUntil([&] { return window.list()->listModel()->rowCount() >= expected; }, 6s);
    window.list()->Sort(5, true);
    tarvo::test::pump(200ms);
    window.list()->selectRow(1);
    ok &= save(window, out + "/main-" + tag + ".png");

    // The sort arrow of the type column, four times enlarged, in both directions.
    auto* header = window.list()->sortHeader();
    for (const bool ascending : {true, false}) {
        window.list()->Sort(5, ascending);
        tarvo::test::pump(100ms);
        const QRect section(header->sectionViewportPosition(5), 0, header->sectionSize(5),
                            header->height());
        const QPixmap crop = header->viewport()->grab(section);
        const QString path = out + "/arrow-" + (ascending ? "up" : "down") + "-" + tag + ".png";
        const bool saved = crop.scaled(crop.size() * 4).save(path);
        std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
        ok &= saved;
    }

    tarvo::gui::CLog login(5505, &window);
    ok &= save(login, out + "/login-" + tag + ".png");
    tarvo::gui::CLog nvrLogin(5505, &window);
    nvrLogin.SetNvrMode(1);
    ok &= save(nvrLogin, out + "/login-nvr-" + tag + ".png");
    tarvo::gui::CAboutDlg about(&window);
    ok &= save(about, out + "/about-" + tag + ".png");

    window.engine().closeInterfaces();
    return ok ? 0 : 1;
}
