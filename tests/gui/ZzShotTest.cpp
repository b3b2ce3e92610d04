#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include <QLineEdit>
#include <QFileDialog>
#include <QTableWidget>
#include <fstream>
#include "common/UiText.h"
#include "core/site/SiteFile.h"
#include "GuiDriver.h"
#include "app/CAboutDlg.h"
#include "app/CTarvoDlg.h"
#include "app/SiteListState.h"
#include "controls/CSortListCtrl.h"
#include "controls/DialogUnits.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/text/Messages.h"
#include "dialogs/CLog.h"
#include "dialogs/CSiteDlg.h"
#include "support/FakeMacResolver.h"
#include "support/SimProcess.h"
#include "upgrade/CNVRUpgradeDlg.h"
#include "upgrade/CUpGrade.h"
using namespace tarvo;
using namespace std::chrono_literals;
TEST(ZzShot, Main) {
    for (const char* lang : {"zh_CN.UTF-8", "en_US.UTF-8"}) {
        test::setLanguage(lang);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("East.tarvo-site"));
        {
            auto site = site::SiteFile::open(path.toStdString());
            std::vector<site::PlanRow> plan(2);
            plan[0].mac = "02:00:7F:00:00:02"; plan[0].address = "127.0.0.2";
            plan[1].mac = "02:00:7F:00:00:63"; plan[1].address = "127.0.0.99";
            site->replacePlan(plan);
        }
        QSettings().setValue(QString::fromLatin1(gui::CSiteDlg::kLastSiteKey), path);
        auto sim = std::make_unique<test::SimProcess>(nlohmann::json::parse(R"({"devices": [
    {"ip": "127.0.0.2", "type": 100, "name": "Cam-Dome"},
    {"ip": "127.0.0.3", "type": 171, "name": "Decoder"},
    {"ip": "127.0.0.4", "type": 181, "name": "NVR-16"}]})"));
        test::FakeMacResolver macs;
        gui::CTarvoDlg::Options options;
        options.macResolver = &macs;
        auto window = std::make_unique<gui::CTarvoDlg>(std::move(options), nullptr);
        window->onInitDialog();
        window->show();
        test::pump(3000ms);
        const QString l = QString::fromLatin1(lang).left(2);
        window->grab().save(QStringLiteral("/tmp/shots/main-site-%1.png").arg(l));
        window->resize(window->size() + QSize(360, 80));
        test::pump(300ms);
        window->grab().save(QStringLiteral("/tmp/shots/main-wide-%1.png").arg(l));
        window->resize(window->minimumSize());
        window->findChild<gui::SiteListState*>()->setFilter(gui::SiteListState::kFirmwareChanged);
        test::pump(300ms);
        window->grab().save(QStringLiteral("/tmp/shots/main-empty-%1.png").arg(l));
        window.reset();
        sim.reset();
    }
}

namespace {
discovery::DeviceRow row(const char16_t* address, const char16_t* mac) {
    discovery::DeviceRow r;
    r.address = address;
    r.mac = mac;
    r.type = 100;
    return r;
}
}  // namespace
TEST(ZzShot, Site) {
    for (const char* lang : {"zh_CN.UTF-8", "en_US.UTF-8"}) {
        test::setLanguage(lang);
        QTemporaryDir dir;
        const auto file = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
        std::ofstream(file("plan.csv").toStdString())
            << "MAC,IP,Name,Location,Note\n"
               "02-00-00-00-00-01,10.0.0.21,East gate,Gate house roof,camera VLAN 20\n"
               "02-00-00-00-00-02,10.0.0.22,West gate,Car park pole 3,not yet mounted\n"
               "02-00-00-00-00-03,10.0.0.23,Loading bay,Warehouse north wall,\n";
        const auto heard = [] {
            return std::vector<discovery::DeviceRow>{row(u"10.0.0.21", u"02:00:00:00:00:01"),
                                                     row(u"10.0.0.40", u"02:00:00:00:00:09"),
                                                     row(u"10.0.0.41", u"02:00:00:00:00:03")};
        };
        test::ModalDriver driver;
        gui::CSiteDlg dialog(heard);
        ASSERT_TRUE(dialog.openSite(file("a.tarvo-site")));
        ASSERT_TRUE(dialog.importPlan(file("plan.csv")));
        dialog.apply();
        ASSERT_TRUE(test::waitUntil([&] { return !dialog.busy(); }, 30s));
        dialog.show();
        
        test::pump(500ms);
        const QString l = QString::fromLatin1(lang).left(2);
        dialog.grab().save(QStringLiteral("/tmp/shots/site-%1.png").arg(l));
    }
}

TEST(ZzShot, FileDialog) {
    for (const char* lang : {"zh_CN.UTF-8", "en_US.UTF-8"}) {
        test::setLanguage(lang);
        QTemporaryDir dir;
        std::ofstream(dir.filePath(QStringLiteral("plan.csv")).toStdString()) << std::string(591, 'x');
        QFileDialog dialog(nullptr, QStringLiteral("t"), dir.path(), gui::uiText(u"CSV 文件 (*.csv *.txt)"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.show();
        test::pump(800ms);
        dialog.grab().save(QStringLiteral("/tmp/shots/filedialog-%1.png").arg(QString::fromLatin1(lang).left(2)));
    }
}
