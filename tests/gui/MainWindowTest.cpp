#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QFileDialog>
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
#include "wall/CWallDlg.h"

using namespace tarvo;
using namespace std::chrono_literals;
using gui::CTarvoDlg;
using tarvo::test::ModalDriver;

namespace {

using namespace tarvo::test::mainButton;

const char* kFleet = R"({"devices": [
    {"ip": "127.0.0.2", "type": 100, "name": "Cam-Dome"},
    {"ip": "127.0.0.3", "type": 171, "name": "Decoder"},
    {"ip": "127.0.0.4", "type": 181, "name": "NVR-16"},
    {"ip": "127.0.0.5", "type": 31, "name": "DVR"},
    {"ip": "127.0.0.6", "type": 82, "name": "摄像机T"}
]})";
constexpr int kFleetSize = 5;

using tarvo::test::q;

int udpCommands(const nlohmann::json& device, int command) {
    int n = 0;
    for (const auto& frame : device["received"]) {
        if (frame["transport"] == "udp" && frame["command"] == command) ++n;
    }
    return n;
}

class MainWindowTest : public ::testing::Test {
protected:
    void open(const char* lang = "zh_CN.UTF-8", net::MacResolver* macResolver = nullptr) {
        test::setLanguage(lang);
        sim = std::make_unique<test::SimProcess>(nlohmann::json::parse(kFleet));
        CTarvoDlg::Options options;
        options.macResolver = macResolver;
        options.urlOpener = [this](const QUrl& url) { urls.push_back(url.toString()); };
        window = std::make_unique<CTarvoDlg>(std::move(options), nullptr);
        window->onInitDialog();
        window->show();
        ASSERT_TRUE(test::waitUntil([&] { return model()->rowCount() == kFleetSize; }, 5s))
            << "rows: " << model()->rowCount();
    }
    void TearDown() override {
        window.reset();
        sim.reset();
    }
    gui::DeviceListModel* model() const { return window->list()->listModel(); }
    int row(const char* address) const {
        return test::rowOf(*window, QString::fromLatin1(address));
    }

    std::unique_ptr<test::SimProcess> sim;
    test::FakeMacResolver macs;  // outlives the window that asks it
    std::unique_ptr<CTarvoDlg> window;
    std::vector<QString> urls;
};

TEST_F(MainWindowTest, LayoutTitleAndHiddenControls) {
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("KelvraV4.6 - 支持1200W摄像机"));
    const gui::DialogUnits du(window->font());
    EXPECT_EQ(window->size(), du.size(386, 329));
    const std::pair<int, const char*> buttons[] = {
        {kSearch, "搜索设备"},     {kPreview, "预览图像"}, {kNetwork, "网络配置"},
        {kParameters, "参数配置"}, {kUpgrade, "升级"},     {kReboot, "重启"},
        {kCloud, "云端设置"}};
    int x = 7;
    for (const auto& [id, text] : buttons) {
        QPushButton* b = window->button(id);
        ASSERT_NE(b, nullptr) << id;
        EXPECT_EQ(b->text(), QString::fromUtf8(text));
        EXPECT_TRUE(b->isVisible());
        EXPECT_EQ(b->geometry(), du.rect({x, 4, 41, 18})) << id;
        x += 47;
    }
    EXPECT_EQ(window->list()->geometry(), du.rect({7, 25, 372, 291}));
    for (int id : {2, 4}) {
        ASSERT_NE(window->button(id), nullptr);
        EXPECT_FALSE(window->button(id)->isVisible());
        EXPECT_FALSE(window->button(id)->isEnabled());
    }
    bool noteFound = false;
    for (auto* label : window->findChildren<QLabel*>())
        noteFound |= label->text() == QStringLiteral("* 可在 摄像机升级 中查看版本信息");
    EXPECT_TRUE(noteFound);
    const int widths[] = {50, 130, 160, 80, 150, 50};
    for (int c = 0; c < 6; ++c) EXPECT_EQ(window->list()->columnWidth(c), widths[c]);
    EXPECT_TRUE(window->list()->showGrid());
    EXPECT_EQ(window->list()->selectionBehavior(), QAbstractItemView::SelectRows);
}

TEST_F(MainWindowTest, SearchListsTheFleetWithItsColumns) {
    open();
    const int nvr = row("127.0.0.4");
    ASSERT_GE(nvr, 0);
    EXPECT_EQ(model()->text(nvr, 2), QStringLiteral("00:00:00:00:00:00"));  // loopback's own MAC
    EXPECT_EQ(model()->text(nvr, 3), QStringLiteral("NVR-16"));
    EXPECT_EQ(model()->text(nvr, 4), QStringLiteral("NVR"));
    EXPECT_EQ(model()->text(nvr, 5), QStringLiteral("181"));
    EXPECT_EQ(model()->text(row("127.0.0.5"), 4), QStringLiteral("DVR"));
    EXPECT_EQ(model()->text(row("127.0.0.3"), 4), QStringLiteral("视频解码器"));
    EXPECT_EQ(model()->text(row("127.0.0.6"), 3), QStringLiteral("摄像机T"));
    QStringList sequence;
    for (int r = 0; r < kFleetSize; ++r) sequence << model()->text(r, 0);
    EXPECT_EQ(sequence, (QStringList{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(model()->columnCount(), 6);  // no site: no site column

    // The core table and the list agree row for row.
    for (int r = 0; r < kFleetSize; ++r)
        EXPECT_EQ(model()->text(r, 1), q(window->table().text(r, 1)));

    // A device that moves away is gone after the next search; the list is rebuilt.
    sim->set("127.0.0.6", "dropUdp=true");
    test::clickButton(*window, kSearch);
    ASSERT_TRUE(test::waitUntil([&] { return model()->rowCount() == kFleetSize - 1; }, 5s));
    EXPECT_EQ(row("127.0.0.6"), -1);
}

// The last site comes back at start: its name in the title, each row's state in a column of its
// own, a filter per state; the missing devices, which no row can show, in the site window.
TEST_F(MainWindowTest, SiteColumnAndItsFilters) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("东区.tarvo-site"));
    {
        auto site = site::SiteFile::open(path.toStdString());
        std::vector<site::PlanRow> plan(3);
        plan[0].mac = "02:00:7F:00:00:02";  // in place
        plan[0].address = "127.0.0.2";
        plan[1].mac = "02:00:7F:00:00:03";  // elsewhere
        plan[1].address = "127.0.0.33";
        plan[2].mac = "02:00:7F:00:00:63";  // missing
        plan[2].address = "127.0.0.99";
        site->replacePlan(plan);
    }
    QSettings().setValue(QString::fromLatin1(gui::CSiteDlg::kLastSiteKey), path);
    open("zh_CN.UTF-8", &macs);
    const auto state = [&](const char* address) { return model()->text(row(address), 6); };
    ASSERT_TRUE(test::waitUntil([&] { return !state("127.0.0.2").isEmpty(); }, 5s));
    EXPECT_EQ(model()->headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("现场状态"));
    EXPECT_EQ(state("127.0.0.2"), QStringLiteral("按计划就位"));
    EXPECT_EQ(state("127.0.0.3"), QStringLiteral("不在计划地址"));
    EXPECT_EQ(state("127.0.0.4"), QStringLiteral("计划外设备"));
    EXPECT_TRUE(window->windowTitle().endsWith(QStringLiteral("现场：东区")))
        << window->windowTitle().toStdString();
    // The state column beyond the template's shows whole: the window grew by it.
    test::pump(100ms);
    auto* list = window->list();
    EXPECT_LE(list->columnViewportPosition(6) + list->columnWidth(6), list->viewport()->width());
    EXPECT_GE(list->columnWidth(6), list->fontMetrics().horizontalAdvance(state("127.0.0.3")));

    const auto visible = [&] {
        QStringList shown;
        for (int r = 0; r < model()->rowCount(); ++r)
            if (!window->list()->isRowHidden(r)) shown << model()->text(r, 1);
        return shown.join(QLatin1Char(' ')).toStdString();
    };
    auto* filters = window->contextMenu()->findChild<QMenu*>(QStringLiteral("siteFilterMenu"));
    ASSERT_NE(filters, nullptr);
    ASSERT_EQ(filters->actions().size(), 6);
    filters->actions()[2]->trigger();  // elsewhere
    EXPECT_EQ(visible(), "127.0.0.3");
    window->list()->Sort(1, false);  // the filter follows the devices, not the positions
    ASSERT_TRUE(test::waitUntil([&] { return model()->text(0, 1) == "127.0.0.6"; }, 2s));
    EXPECT_EQ(visible(), "127.0.0.3");
    filters->actions()[3]->trigger();  // new
    EXPECT_EQ(visible(), "127.0.0.6 127.0.0.5 127.0.0.4");

    ModalDriver driver;
    std::vector<std::string> missing;
    driver.dialogs.push_back([&](QDialog& d) {
        for (const auto& s : static_cast<gui::CSiteDlg&>(d).shown()) missing.push_back(s.mac);
        d.reject();
    });
    filters->actions()[4]->trigger();
    EXPECT_EQ(driver.others, std::vector<QString>{"site"});
    EXPECT_EQ(missing, std::vector<std::string>{"02:00:7F:00:00:63"});

    // The list shows nothing now: it says so, and the way back is on its own menu, by the
    // pointer beside the rows and by the keyboard.
    EXPECT_EQ(visible(), "");
    EXPECT_TRUE(window->list()->emptyText().contains(QStringLiteral("“没有应答”")))
        << window->list()->emptyText().toStdString();
    for (const char* way : {"right button", "Shift+F10", "Menu key"}) {
        QMenu* shown = nullptr;
        QTimer::singleShot(100, [&] {
            shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (shown != nullptr) shown->close();
        });
        if (way[0] == 'r') {
            QTest::mouseClick(window->list()->viewport(), Qt::RightButton, {}, QPoint(40, 40));
        } else if (way[0] == 'S') {
            QTest::keyClick(window->list(), Qt::Key_F10, Qt::ShiftModifier);
        } else {
            // As the desktop's platform plugin turns the Menu key into a menu event.
            QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                      window->list()->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(window->list(), &menuKey);
        }
        test::pump(400ms);
        EXPECT_EQ(shown, window->windowMenu()) << way;
    }
    ASSERT_NE(window->windowMenu()->findChild<QMenu*>(QStringLiteral("siteFilterMenu")), nullptr);
    filters->actions()[0]->trigger();
    EXPECT_TRUE(window->list()->emptyText().isEmpty());
    // The site window searched again meanwhile: the rows came back in the order they answered.
    auto all = QString::fromStdString(visible()).split(QLatin1Char(' '));
    all.sort();
    EXPECT_EQ(all.join(QLatin1Char(' ')), "127.0.0.2 127.0.0.3 127.0.0.4 127.0.0.5 127.0.0.6");
}

// The template's size is the least the window takes; what it grows by goes to the list and its
// columns, and it opens again at the size it was closed at.
TEST_F(MainWindowTest, GrowsWithItsListAndRemembersItsSize) {
    open("en_US.UTF-8");
    const gui::DialogUnits du(window->font());
    const QSize designed = du.size(386, 329);
    EXPECT_EQ(window->minimumSize(), designed);
    const auto columns = [&] {
        int total = 0;
        for (int c = 0; c < model()->columnCount(); ++c) total += window->list()->columnWidth(c);
        return total;
    };
    const int listWidth = window->list()->width();
    const int columnsWidth = columns();
    window->resize(designed + QSize(400, 120));
    test::pump(100ms);
    EXPECT_EQ(window->list()->width(), listWidth + 400);
    EXPECT_GE(columns(), columnsWidth + 300);
    EXPECT_LE(columns(), window->list()->viewport()->width());
    window->reject();
    window.reset();
    sim.reset();
    open("en_US.UTF-8");
    EXPECT_EQ(window->size(), designed + QSize(400, 120));
}

// Qt's own dialogs (choosing a plan or a package, saving a report) speak the window's language,
// not English beside the window's Chinese.
TEST_F(MainWindowTest, QtsOwnDialogsSpeakTheWindowsLanguage) {
    for (const char* lang : {"zh_CN.UTF-8", "en_US.UTF-8"}) {
        open(lang);
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        ASSERT_NE(buttons->button(QDialogButtonBox::Cancel), nullptr);
        EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(),
                  lang[0] == 'z' ? QStringLiteral("取消") : QStringLiteral("Cancel"))
            << lang;
        window.reset();
        sim.reset();
    }
}

TEST_F(MainWindowTest, HeaderClickSortsAndMovesTheArrow) {
    open();
    auto* header = window->list()->sortHeader();
    auto clickHeader = [&](int column) {
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        test::pump(50ms);
    };
    clickHeader(3);  // names: shorter first
    EXPECT_EQ(header->sortColumn(), 3);
    EXPECT_TRUE(header->ascending());
    EXPECT_EQ(model()->text(0, 3), QStringLiteral("DVR"));
    clickHeader(3);
    EXPECT_FALSE(header->ascending());
    EXPECT_EQ(model()->text(0, 3), QStringLiteral("Cam-Dome"));
    clickHeader(5);
    EXPECT_EQ(header->sortColumn(), 5);
    EXPECT_TRUE(header->ascending());
    QStringList types;
    for (int r = 0; r < kFleetSize; ++r) types << model()->text(r, 5);
    EXPECT_EQ(types, (QStringList{"31", "82", "100", "171", "181"}));
    for (int r = 0; r < kFleetSize; ++r)
        EXPECT_EQ(model()->text(r, 1), q(window->table().text(r, 1)));
}

class LanguageTest : public MainWindowTest,
                     public ::testing::WithParamInterface<std::pair<const char*, bool>> {};

// The texts a window shows of its own that hold Chinese: titles, buttons, labels, menu items,
// and for the main window the list's headers and notes (the names are the devices' own).
std::string chineseTexts(QWidget& top, const gui::DeviceListModel* list) {
    QStringList texts;
    QList<QWidget*> widgets = top.findChildren<QWidget*>();
    widgets.prepend(&top);
    for (QWidget* w : widgets) {
        texts << w->windowTitle();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) texts << button->text();
        if (auto* label = qobject_cast<QLabel*>(w)) texts << label->text();
        for (QAction* action : w->actions()) texts << action->text();
    }
    for (int c = 0; list != nullptr && c < list->columnCount(); ++c)
        texts << list->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    for (int r = 0; list != nullptr && r < list->rowCount(); ++r)
        texts << list->text(r, discovery::kColNote);
    QStringList chinese;
    for (const QString& text : texts) {
        if (std::any_of(text.begin(), text.end(), [](QChar c) {
                return (c.unicode() >= 0x2e80 && c.unicode() <= 0x9fff) || c.unicode() >= 0xff00;
            }))
            chinese << text;
    }
    return chinese.join(QStringLiteral(" | ")).toStdString();
}

TEST_P(LanguageTest, HeadersFollowLangAndOnlyChineseShowsChinese) {
    open(GetParam().first);
    const bool chinese = GetParam().second;
    QStringList headers;
    for (int c = 0; c < 6; ++c)
        headers << model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    if (chinese) {
        EXPECT_EQ(headers, (QStringList{"序号", "IP 地址", "mac地址", "名称", "备注", "类型"}));
        return;
    }
    EXPECT_EQ(headers, (QStringList{"Seq", "IP Address", "MAC Address", "Name", "Note", "Type"}));
    EXPECT_EQ(chineseTexts(*window, model()), "");
    gui::CLog login(5505, window.get());
    gui::CAboutDlg about(window.get());
    gui::CUpGrade camera(window.get());
    gui::CNVRUpgradeDlg nvr(window.get());
    for (QWidget* dialog : std::initializer_list<QWidget*>{&login, &about, &camera, &nvr})
        EXPECT_EQ(chineseTexts(*dialog, nullptr), "") << dialog->objectName().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Locales, LanguageTest,
                         ::testing::Values(std::pair{"zh_CN.UTF-8", true},
                                           std::pair{"zh_TW.UTF-8", false},
                                           std::pair{"en_US.UTF-8", false}),
                         [](const auto& info) {
                             return std::string(info.param.first).substr(0, 5);
                         });

TEST_F(MainWindowTest, SearchButtonIsDebouncedAndTheWaitTakesNoOtherOperation) {
    open();
    ModalDriver driver;
    test::clickRow(*window, row("127.0.0.2"));
    sim->clear();
    // The window repaints meanwhile: a timer of the window's thread still runs during the wait.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    QTimer::singleShot(300, [&] {
        test::clickButton(*window, kReboot);  // swallowed: the search is still waiting
        test::clickButton(*window, kSearch);
    });
    test::clickButton(*window, kSearch);
    ticker.stop();
    EXPECT_GE(ticks, 10);
    EXPECT_EQ(driver.loginsSeen, 0);
    test::clickButton(*window, kSearch);  // within four seconds of the first: nothing
    test::pump(1500ms);
    EXPECT_EQ(udpCommands(sim->device("127.0.0.2"), 10), 1);
    EXPECT_TRUE(test::waitUntil([&] { return model()->rowCount() == kFleetSize; }, 5s));
    EXPECT_TRUE(driver.boxes.empty());
}

TEST_F(MainWindowTest, SelectionAndTheDecoderRule) {
    open();
    QPushButton* preview = window->button(kPreview);
    test::clickRow(*window, row("127.0.0.3"));  // type 171
    EXPECT_FALSE(preview->isEnabled());
    EXPECT_EQ(window->presenter().selectedAddress(), u"127.0.0.3");
    test::clickBesideRows(*window);
    EXPECT_FALSE(preview->isEnabled());  // kept
    EXPECT_EQ(window->presenter().selectedAddress(), u"");
    test::clickRow(*window, row("127.0.0.2"));
    EXPECT_TRUE(preview->isEnabled());
    EXPECT_EQ(window->presenter().selectedType(), 100);
    test::clickBesideRows(*window);
    EXPECT_TRUE(preview->isEnabled());
}

TEST_F(MainWindowTest, EveryDeviceButtonWithoutSelectionAsksForOne) {
    open();
    ModalDriver driver;
    for (int id : {kPreview, kNetwork, kParameters, kUpgrade, kReboot, kCloud}) {
        test::clickButton(*window, id);
        ASSERT_TRUE(test::waitUntil([&] { return !driver.boxes.empty(); }, 2s)) << id;
        EXPECT_EQ(driver.boxes.back().text, QStringLiteral("请先选择设备")) << id;
        EXPECT_EQ(driver.boxes.back().title, QStringLiteral("Tarvo"));
        driver.boxes.clear();
    }
    EXPECT_EQ(driver.loginsSeen, 0);
}

// Several rows selected with Ctrl: the menu offers the wall of the cameras among them (not the
// NVR), asks for the login once and opens the wall with the cameras in the list's order.
TEST_F(MainWindowTest, WallOfTheSelectedCamerasAsksTheLoginOnce) {
    open();
    ModalDriver driver;
    driver.logins.push_back(ModalDriver::confirm());
    std::vector<std::string> addresses;
    driver.dialogs.push_back([&](QDialog& dialog) {
        if (auto* wall = qobject_cast<gui::CWallDlg*>(&dialog))
            for (int i = 0; i < wall->tileCount(); ++i)
                addresses.push_back(wall->tile(i)->camera().address);
        dialog.reject();
    });
    test::clickRow(*window, row("127.0.0.2"));
    QTest::mouseClick(window->list()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      test::rowCentre(*window, row("127.0.0.6")));
    QTest::mouseClick(window->list()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      test::rowCentre(*window, row("127.0.0.4")));
    EXPECT_EQ(window->list()->selectedRowNumbers().size(), 3u);
    bool wallShown = false;
    QTimer::singleShot(100, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        wallShown = window->wallAction()->isVisible();
        menu->close();
        if (wallShown) window->wallAction()->trigger();
    });
    test::clickRow(*window, row("127.0.0.6"), Qt::RightButton);
    EXPECT_TRUE(test::waitUntil([&] { return !addresses.empty(); }, 5s));
    EXPECT_TRUE(wallShown);
    EXPECT_EQ(driver.loginsSeen, 1);
    std::vector<std::string> expected;
    for (int r = 0; r < model()->rowCount(); ++r) {
        const std::string address = model()->text(r, 1).toStdString();
        if (address == "127.0.0.2" || address == "127.0.0.6") expected.push_back(address);
    }
    EXPECT_EQ(addresses, expected);
}

TEST_F(MainWindowTest, ModifyOnAnNvrDoesNothing) {
    open();
    ModalDriver driver;
    test::clickRow(*window, row("127.0.0.2"));
    sim->clear();
    bool menuShown = false;
    QTimer::singleShot(100, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        menuShown = menu == window->contextMenu();
        // Modify first, then the export, the batch change, the batch upgrade, the wall (hidden
        // with one row selected) and the site.
        ASSERT_EQ(menu->actions().size(), 6);
        EXPECT_FALSE(window->wallAction()->isVisible());
        EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("修改"));
        EXPECT_EQ(menu->actions()[0]->data().toInt(), 32771);
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    test::clickRow(*window, row("127.0.0.4"), Qt::RightButton);
    test::pump(700ms);
    EXPECT_TRUE(menuShown);
    EXPECT_EQ(window->presenter().selectedAddress(), u"127.0.0.4");
    EXPECT_TRUE(driver.boxes.empty());
    EXPECT_EQ(driver.loginsSeen, 0);
    const auto nvr = sim->device("127.0.0.4");
    EXPECT_EQ(nvr["received"].size(), 0u) << nvr["received"].dump();

    // Beside the rows there is no menu and no selection.
    QTest::mouseClick(window->list()->viewport(), Qt::RightButton, {},
                      QPoint(5, window->list()->viewport()->height() - 3));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(window->presenter().selectedAddress(), u"");
}

TEST_F(MainWindowTest, DoubleClickOpensTheDevicePage) {
    open();
    QTest::mouseDClick(window->list()->viewport(), Qt::LeftButton, {},
                       test::rowCentre(*window, row("127.0.0.4")));
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(urls[0], QStringLiteral("http://127.0.0.4"));
    EXPECT_EQ(window->presenter().selectedType(), 181);
}

TEST_F(MainWindowTest, RebootAfterARefusedLoginSendsNothing) {
    open();
    ModalDriver driver;
    sim->set("127.0.0.2", "loginRefused=true");
    test::clickRow(*window, row("127.0.0.2"));
    driver.logins.push_back(ModalDriver::confirm());
    test::clickButton(*window, kReboot);
    ASSERT_TRUE(test::waitUntil([&] { return !driver.boxes.empty(); }, 5s));
    EXPECT_EQ(driver.boxes[0].text, QStringLiteral("Control failed"));
    auto camera = sim->device("127.0.0.2");
    EXPECT_EQ(camera["reboots"], 0);
    ASSERT_EQ(camera["logins"].size(), 1u);
    EXPECT_EQ(camera["logins"][0]["user"], "admin");

    // The same steps with the login accepted do reboot it, so the check above can fail.
    sim->set("127.0.0.2", "loginRefused=false");
    driver.boxes.clear();
    driver.logins.push_back(ModalDriver::confirm());
    test::clickButton(*window, kReboot);
    ASSERT_TRUE(test::waitUntil([&] { return sim->device("127.0.0.2")["reboots"] == 1; }, 5s));
    EXPECT_TRUE(driver.boxes.empty());

    // Cancelling the login dialog sends nothing at all.
    sim->clear(true);
    test::clickButton(*window, kReboot);
    EXPECT_EQ(driver.loginsSeen, 3);
    test::pump(300ms);
    EXPECT_EQ(sim->device("127.0.0.2")["logins"].size(), 0u);
}

TEST_F(MainWindowTest, TheWindowKeepsAnsweringWhileASilentDeviceIsLoggedInto) {
    open();
    ModalDriver driver;
    sim->set("127.0.0.2", "tcpSilent=true");
    test::clickRow(*window, row("127.0.0.2"));
    driver.logins.push_back(ModalDriver::confirm());
    test::StallProbe probe;
    // Returns once the login check gave up on the device, seconds later.
    test::clickButton(*window, kUpgrade);
    EXPECT_LE(probe.stop().count(), 1000);
    ASSERT_EQ(driver.boxes.size(), 1u);
    EXPECT_TRUE(driver.boxes[0].text.contains(QStringLiteral("127.0.0.2")));
    EXPECT_TRUE(driver.others.empty());  // no upgrade dialog after a login without an answer
    EXPECT_FALSE(window->presenter().busy());
}

TEST_F(MainWindowTest, EscEndsTheWaitForASilentDeviceAndTheOperationWithIt) {
    open();
    ModalDriver driver;
    sim->set("127.0.0.2", "tcpSilent=true");
    test::clickRow(*window, row("127.0.0.2"));
    driver.logins.push_back(ModalDriver::confirm());
    // Esc once the window shows that it waits for the device.
    QTimer escape;
    QObject::connect(&escape, &QTimer::timeout, [&] {
        if (QApplication::overrideCursor() == nullptr) return;
        escape.stop();
        QTest::keyClick(window.get(), Qt::Key_Escape);
    });
    escape.start(20);
    const auto start = std::chrono::steady_clock::now();
    test::clickButton(*window, kCloud);
    // The device would have held the login for five seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_FALSE(escape.isActive());
    EXPECT_TRUE(driver.boxes.empty());
    EXPECT_TRUE(driver.others.empty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowTest, DvrButtonsDoNothingAndNvrPreviewAsksForPort5500) {
    open();
    ModalDriver driver;
    test::clickRow(*window, row("127.0.0.5"));
    for (int id : {kPreview, kNetwork, kParameters, kUpgrade, kReboot, kCloud})
        test::clickButton(*window, id);
    test::pump(200ms);
    EXPECT_EQ(driver.loginsSeen, 0);
    EXPECT_TRUE(driver.boxes.empty());

    test::clickRow(*window, row("127.0.0.4"));
    QString port;
    driver.logins.push_back([&](gui::CLog& dialog) {
        port = dialog.findChild<QLineEdit*>(gui::controlName(1061))->text();
        ModalDriver::confirm()(dialog);
    });
    test::clickButton(*window, kPreview);
    EXPECT_EQ(port, QStringLiteral("5500"));
    ASSERT_TRUE(
        test::waitUntil([&] { return sim->device("127.0.0.4")["logins"].size() == 1; }, 3s));
}

TEST_F(MainWindowTest, MessagesFromOtherThreadsDoNotWaitForTheUser) {
    open();
    ModalDriver driver;
    const auto started = std::chrono::steady_clock::now();
    std::thread receiver([&] { window->message(text::msg::kMacReassigned); });
    receiver.join();  // returns without the window's thread having run at all
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2000ms);
    EXPECT_TRUE(driver.boxes.empty());
    ASSERT_TRUE(test::waitUntil([&] { return !driver.boxes.empty(); }, 2s));
    EXPECT_EQ(driver.boxes[0].text, QStringLiteral("摄像机已重新分配MAC地址，重启后生效"));
    EXPECT_EQ(driver.boxes[0].title, QStringLiteral("Tarvo"));

    std::thread failing([&] { window->systemError(u"Connect to IP camera failed !"); });
    failing.join();
    ASSERT_TRUE(test::waitUntil([&] { return driver.boxes.size() == 2; }, 2s));
    EXPECT_EQ(driver.boxes[1].title, QStringLiteral("Error"));
}

TEST_F(MainWindowTest, AboutBoxFromTheWindowMenuAndF1) {
    open();
    ModalDriver driver;
    QString itemText;
    QTimer::singleShot(100, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        itemText = menu->actions().value(0)->text();
        QTest::keyClick(menu, Qt::Key_Down);
        QTest::keyClick(menu, Qt::Key_Return);
    });
    // A right click beside the list, on the window itself.
    const QPoint beside(window->width() - 5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, beside, window->mapToGlobal(beside));
    QApplication::sendEvent(window.get(), &event);
    ASSERT_TRUE(test::waitUntil([&] { return driver.others.size() == 1; }, 2s));
    EXPECT_EQ(itemText, QStringLiteral("关于 Tarvo(&A)..."));
    EXPECT_EQ(driver.others[0], QStringLiteral("CAboutDlg"));

    window->activateWindow();
    QTest::keyClick(window.get(), Qt::Key_F1);
    ASSERT_TRUE(test::waitUntil([&] { return driver.others.size() == 2; }, 2s));
}

TEST_F(MainWindowTest, EscKeepsTheWindowAndCancelEndsItNormally) {
    open();
    int interfacesAfterEsc = -1;
    QTimer::singleShot(100, window.get(), [&] {
        QTest::keyClick(window.get(), Qt::Key_Escape);
        interfacesAfterEsc = window->engine().interfaceCount();
        QTimer::singleShot(100, window.get(), [&] { window->reject(); });  // the cancel command
    });
    EXPECT_EQ(window->exec(), QDialog::Rejected);
    EXPECT_GT(interfacesAfterEsc, 0);
    EXPECT_EQ(window->engine().interfaceCount(), 0);
}

TEST(MainWindowClose, CloseBoxEndsTheProcessWithCodeZero) {
    EXPECT_EXIT(
        {
            // No simulator here: a child process of the dying test would hold its output open.
            test::setLanguage("en_US.UTF-8");
            CTarvoDlg window;
            window.onInitDialog();
            window.show();
            test::pump(200ms);
            // The receive threads sit in their blocking receive now.
            if (window.engine().interfaceCount() < 1) std::_Exit(4);
            window.close();
            std::_Exit(3);  // not reached when the close box ends the process
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
