// Pictures of the windows for review. Run by scripts/screenshot inside the network sandbox,
// beside a simulated fleet:
//   tarvo-screenshot OUTDIR LANG EXPECTED_ROWS [batch]
// writes OUTDIR/main-<lang>.png (after the first search, sorted by the type column),
// main-hover-<lang>.png (the mouse resting on 搜索设备, 预览图像 holding the keyboard focus),
// login-hover-<lang>.png (the mouse on the user name, the focus in the password),
// arrow-up-<lang>.png and arrow-down-<lang>.png (the sorted header, enlarged),
// login-<lang>.png, login-nvr-<lang>.png, about-<lang>.png, and the settings dialogs
// net-<lang>.png, net-decoder-<lang>.png, camera-<lang>.png, cloud-<lang>.png,
// upgrade-camera-<lang>.png, upgrade-camera-running-<lang>.png, upgrade-nvr-<lang>.png,
// upgrade-batch-<lang>.png (four devices, uploads running, results as they came) and
// upgrade-batch-done-<lang>.png (every result in), the windows
// waiting for a device that does not answer (upgrade-camera-waiting-<lang>.png,
// upgrade-nvr-waiting-<lang>.png, nvr-config-waiting-<lang>.png, preview-waiting-<lang>.png) and
// nvr-config-<lang>.png, the list's context menu menu-<lang>.png and the batch address dialog
// batch-address-<lang>.png, on a fleet of its own batch-address-plan-<lang>.png (the plan before
// Start) and batch-address-done-<lang>.png (the results; -narrow- in a narrower window), a
// full-range camera's preview preview-full-range-<lang>.png and the same once its stream stopped,
// preview-stopped-<lang>.png; with zh_CN also the live preview of the 1080p and the 4K camera,
// preview-1080p.png and preview-4k.png, and every owner-drawn control in every state,
// controls.png. With "batch", only the main window and the batch windows.

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "GuiDriver.h"
#include "app/CAboutDlg.h"
#include "app/CTarvoDlg.h"
#include "app/SearchStatusLine.h"
#include "app/SiteListState.h"
#include "common/UiText.h"
#include "controls/CGradientProgressCtrl.h"
#include "controls/COwnerEdit.h"
#include "controls/CSortListCtrl.h"
#include "controls/CXPButton.h"
#include "controls/DialogUnits.h"
#include "core/discovery/DeviceTable.h"
#include "core/net/NetworkInterfaces.h"
#include "core/net/Socket.h"
#include "core/ops/forms/CameraConfigForm.h"
#include "core/ops/forms/CloudForm.h"
#include "core/ops/forms/NetSettingsForm.h"
#include "core/site/SiteFile.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "dialogs/CBatchAddressDlg.h"
#include "dialogs/CIPCamConfigDlg.h"
#include "dialogs/CLog.h"
#include "dialogs/CSetNet.h"
#include "dialogs/CSetOstra.h"
#include "dialogs/CSiteDlg.h"
#include "dialogs/CSiteVerifyDlg.h"
#include "preview/CViewDlg.h"
#include "preview/VideoWidget.h"
#include "report/PdfReport.h"
#include "support/ColourPatches.h"
#include "support/FakeMacResolver.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"
#include "support/TestJpeg.h"
#include "upgrade/CBatchUpgradeDlg.h"
#include "upgrade/CNVRConfigDlg.h"
#include "upgrade/CNVRUpgradeDlg.h"
#include "upgrade/CUpGrade.h"

using namespace std::chrono_literals;

namespace {

bool save(QWidget& widget, const QString& path) {
    widget.show();
    tarvo::test::pump(300ms);
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// A modal dialog as it opens: pictured from inside its own modal loop, then cancelled.
template <typename Dialog, typename Form>
bool saveModal(Dialog& dialog, Form& form, const QString& path) {
    bool ok = false;
    QTimer::singleShot(300, &dialog, [&] {
        ok = dialog.grab().save(path);
        dialog.reject();
    });
    dialog.run(form);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// The mouse comes to rest on `control` (an owner-drawn button or edit): a move, then time for
// the hover notification.
template <typename Control>
bool restMouseOn(Control* control) {
    if (control == nullptr) return false;
    const QPointF p(control->width() / 2.0, control->height() / 2.0);
    QMouseEvent move(QEvent::MouseMove, p, control->mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(control, &move);
    return tarvo::test::waitUntil([&] { return control->isHovered(); }, 2s);
}

// `window` with the mouse resting on `hovered` and the keyboard focus (by Tab) on `focused`.
template <typename Hovered>
bool saveStates(QWidget& window, Hovered* hovered, QWidget* focused, const QString& path) {
    window.show();
    window.activateWindow();
    tarvo::test::waitUntil([&] { return window.isActiveWindow(); }, 2s);
    if (focused != nullptr) focused->setFocus(Qt::TabFocusReason);
    const bool rested = restMouseOn(hovered);
    tarvo::test::pump(100ms);
    const bool ok = rested && window.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// Every owner-drawn control in every state on one picture, for review by eye.
bool saveControlsGallery(const QString& path) {
    using tarvo::gui::CGradientProgressCtrl;

    QWidget window;
    window.setWindowTitle(QStringLiteral("Controls"));
    window.resize(820, 330);
    const char* columns[] = {"normal",  "hovered", "focused", "focused + hovered",
                             "pressed", "disabled"};
    constexpr int kColumnWidth = 124;
    for (int c = 0; c < 6; ++c) {
        auto* title = new QLabel(QString::fromLatin1(columns[c]), &window);
        title->setGeometry(60 + c * kColumnWidth, 8, kColumnWidth - 8, 18);
    }
    auto rowTitle = [&](const QString& text, int y) {
        auto* l = new QLabel(text, &window);
        l->setGeometry(6, y, 52, 22);
    };
    rowTitle(QStringLiteral("button"), 34);
    rowTitle(QStringLiteral("default"), 66);
    rowTitle(QStringLiteral("edit"), 100);
    std::vector<tarvo::gui::CXPButton*> buttons;
    std::vector<tarvo::gui::CXPButton*> defaults;
    std::vector<tarvo::gui::COwnerEdit*> edits;
    for (int c = 0; c < 6; ++c) {
        const int x = 60 + c * kColumnWidth;
        auto* b = new tarvo::gui::CXPButton(QStringLiteral("&Upgrade"), &window);
        b->setGeometry(x, 32, 96, 26);
        buttons.push_back(b);
        auto* d = new tarvo::gui::CXPButton(QStringLiteral("OK"), &window);
        d->setGeometry(x, 64, 96, 26);
        d->setDefault(true);
        defaults.push_back(d);
        auto* e = new tarvo::gui::COwnerEdit(QStringLiteral("192.168.1.64"), &window);
        e->setGeometry(x, 98, 96, 22);
        edits.push_back(e);
    }
    struct Bar {
        int lower, upper, pos;
        bool upgradeLook, equal;
        const char* note;
    };
    const Bar bars[] = {{0, 100, 0, true, false, "0 of 0..100"},
                        {0, 100, 1, true, false, "1"},
                        {0, 100, 25, true, false, "25"},
                        {0, 100, 50, true, false, "50"},
                        {0, 100, 99, true, false, "99"},
                        {0, 100, 100, true, false, "100 (full: shows empty)"},
                        {0, 100, 60, false, false, "60, built-in colours"},
                        {0, 100, 40, true, true, "40, equal start and end"}};
    std::vector<CGradientProgressCtrl*> progress;
    int y = 132;
    for (const Bar& b : bars) {
        auto* bar = b.upgradeLook ? new CGradientProgressCtrl(
                                        CGradientProgressCtrl::upgradeColours(), &window)
                                  : new CGradientProgressCtrl(&window);
        bar->setGeometry(60, y, 420, 18);
        bar->SetRange(b.lower, b.upper);
        bar->SetPos(b.pos);
        if (!b.upgradeLook) bar->setTextVisible(true);
        if (b.equal) bar->setEndColour(bar->startColour());
        auto* note = new QLabel(QString::fromLatin1(b.note), &window);
        note->setGeometry(490, y, 220, 18);
        y += 24;
    }
    rowTitle(QStringLiteral("progress"), 132);

    window.show();
    window.activateWindow();
    tarvo::test::waitUntil([&] { return window.isActiveWindow(); }, 2s);
    bool rested = true;
    for (auto* row : {&buttons, &defaults}) {
        rested &= restMouseOn((*row)[1]);
        (*row)[4]->setDown(true);
        (*row)[5]->setEnabled(false);
    }
    rested &= restMouseOn(edits[1]);
    rested &= restMouseOn(edits[3]);
    edits[5]->setEnabled(false);
    // Only one control holds the focus at a time: the picture is taken per focused control.
    buttons[2]->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    QImage picture = window.grab().toImage();
    auto paste = [&](QWidget* w) {
        QPainter p(&picture);
        p.drawImage(w->geometry().topLeft(), window.grab().toImage().copy(w->geometry()));
    };
    defaults[2]->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    paste(defaults[2]);
    buttons[3]->setFocus(Qt::TabFocusReason);
    rested &= restMouseOn(buttons[3]);
    QApplication::processEvents();
    paste(buttons[3]);
    defaults[3]->setFocus(Qt::TabFocusReason);
    rested &= restMouseOn(defaults[3]);
    QApplication::processEvents();
    paste(defaults[3]);
    edits[2]->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    paste(edits[2]);
    const bool ok = rested && picture.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

std::uint32_t address(const char* text) {
    std::uint32_t out = 0;
    tarvo::net::parseIPv4(text, out);
    return out;
}

// The camera upgrade dialog idle and during an upload (a 16 MiB package, stopped when the
// picture is taken), the NVR upgrade dialog with a part chosen, the NVR configuration.
bool saveUpgradeDialogs(QWidget& window, const QString& out, const QString& tag) {
    QTemporaryDir dir;
    const QString package = dir.filePath(QStringLiteral("IPC_update_00.00.23.06.img"));
    QFile file(package);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(16 << 20)) return false;
    file.close();
    bool ok = true;
    {
        tarvo::gui::CUpGrade camera(&window);
        camera.SetTarget(5505, "127.0.0.11");
        camera.setFileChooser([&](QWidget*, const QString&) { return package; });
        camera.show();
        camera.findChild<QPushButton*>(tarvo::gui::controlName(4))->click();
        ok &= save(camera, out + "/upgrade-camera-" + tag + ".png");
        camera.findChild<QPushButton*>(tarvo::gui::controlName(1))->click();
        auto* bar = camera.findChild<QProgressBar*>(tarvo::gui::controlName(1034));
        tarvo::test::waitUntil(
            [&] { return bar->isVisible() && bar->value() > bar->maximum() / 3; }, 10s);
        ok &= save(camera, out + "/upgrade-camera-running-" + tag + ".png");
    }  // closing it stops the upload
    {
        tarvo::gui::CNVRUpgradeDlg nvr(&window);
        nvr.SetTarget(5500, "127.0.0.23");
        nvr.setFileChooser([&](QWidget*, const QString&) { return dir.filePath("uboot.bin"); });
        nvr.show();
        nvr.findChild<QPushButton*>(tarvo::gui::controlName(1067))->click();
        ok &= save(nvr, out + "/upgrade-nvr-" + tag + ".png");
    }
    tarvo::gui::CNVRConfigDlg config(&window);
    config.SetTarget("127.0.0.23", 5500);
    ok &= save(config, out + "/nvr-config-" + tag + ".png");
    return ok;
}

// The batch upgrade: two cameras taking the package, one already newer, an NVR given a camera
// package; while the uploads run, and once every device has its result.
bool saveBatchUpgrade(QWidget& window, const QString& out, const QString& tag) {
    QTemporaryDir dir;
    const QString package = dir.filePath(QStringLiteral("IPC_update_00.00.23.06.img"));
    QFile file(package);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(16 << 20)) return false;
    file.close();
    using Batch = tarvo::gui::CBatchUpgradeDlg;
    Batch batch({{"127.0.0.11", 100, true, u"大门球机"},
                 {"127.0.0.24", 100, true, u"Gate-1080p"},
                 {"127.0.0.14", 81, true, u"R-Lobby"},
                 {"127.0.0.23", 181, true, u"NVR-16"}},
                &window);
    batch.chooseFile_ = [&](QWidget*) { return package; };
    batch.show();
    const auto buttons = batch.findChildren<QPushButton*>();
    buttons[0]->click();  // Browse
    buttons[1]->click();  // Upgrade
    const auto bars = batch.findChildren<QProgressBar*>();
    tarvo::test::waitUntil(
        [&] { return bars[0]->value() > bars[0]->maximum() / 3 && bars[0]->maximum() > 1; }, 20s);
    bool ok = save(batch, out + "/upgrade-batch-" + tag + ".png");
    auto* table = batch.findChild<QTableWidget*>(QStringLiteral("devices"));
    const QString upgrading = tarvo::gui::uiText(tarvo::text::msg::kUpgrading);
    const QString waiting = tarvo::gui::uiText(tarvo::text::msg::kBatchWaiting);
    tarvo::test::waitUntil(
        [&] {
            for (int r = 0; r < table->rowCount(); ++r) {
                const QString result = table->item(r, table->columnCount() - 1)->text();
                // A device that took the package is waited for; that is its state to show.
                if (result.isEmpty() || result == upgrading || result == waiting) return false;
            }
            return true;
        },
        30s);
    ok &= save(batch, out + "/upgrade-batch-done-" + tag + ".png");
    return ok;
}  // closing it stops the uploads

// The batch address change on a fleet of its own: the plan before Start (one camera refusing
// the login, an NVR left out), then the results.
bool saveBatchAddress(QWidget& window, const QString& out, const QString& tag) {
    tarvo::test::SimProcess sim(tarvo::test::SimProcess::FleetText{R"({"devices": [
      {"ip": "127.0.0.61", "type": 100, "name": "Gate-West"},
      {"ip": "127.0.0.62", "type": 89, "name": "仓库北"},
      {"ip": "127.0.0.63", "type": 100, "name": "Locked-Dome", "password": "secret"},
      {"ip": "127.0.0.64", "type": 181, "name": "NVR-8"}]})"});
    std::vector<tarvo::discovery::DeviceRow> rows;
    for (const auto& [address, name, type] :
         {std::tuple{u"127.0.0.61", u"Gate-West", 100}, std::tuple{u"127.0.0.62", u"仓库北", 89},
          std::tuple{u"127.0.0.63", u"Locked-Dome", 100},
          std::tuple{u"127.0.0.64", u"NVR-8", 181}}) {
        tarvo::discovery::DeviceRow row;
        row.address = address;
        row.mac = u"00:00:00:00:00:00";
        row.name = name;
        row.type = type;
        rows.push_back(row);
    }
    tarvo::gui::CBatchAddressDlg batch(rows, &window);
    batch.show();
    batch.findChild<QLineEdit*>(QStringLiteral("start"))->setText(QStringLiteral("127.0.0.150"));
    batch.findChild<QLineEdit*>(QStringLiteral("gateway"))->setText(QStringLiteral("127.0.0.1"));
    auto* start = batch.findChild<QPushButton*>(QStringLiteral("startButton"));
    batch.findChild<QPushButton*>(QStringLiteral("planButton"))->click();
    bool ok = tarvo::test::waitUntil([&] { return start->isEnabled(); }, 20s);
    ok = ok && save(batch, out + "/batch-address-plan-" + tag + ".png");
    start->click();
    auto* close = batch.findChild<QPushButton*>(QStringLiteral("closeButton"));
    ok = ok && tarvo::test::waitUntil([&] { return close->isEnabled(); }, 60s);
    ok = ok && save(batch, out + "/batch-address-done-" + tag + ".png");
    // Made smaller, the results stay (wrapped, or behind the scroll bars).
    batch.resize(batch.width() * 2 / 3, batch.height());
    ok = ok && save(batch, out + "/batch-address-done-narrow-" + tag + ".png");
    // What the installer writes down, as the Copy button hands it over.
    batch.findChild<QPushButton*>(QStringLiteral("copyButton"))->click();
    std::printf("copied:\n%s", qPrintable(QApplication::clipboard()->text()));
    if (!ok) std::printf("FAILED the batch address pictures\n");
    return ok;
}

// Takes TCP connections on 127.0.0.250 and never answers: the dialogs opened on it wait.
class SilentDevice {
public:
    SilentDevice() {
        for (const std::uint16_t port : {5500, 5505, 5506}) {
            tarvo::net::Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            sockaddr_in where{};
            where.sin_family = AF_INET;
            where.sin_port = htons(port);
            where.sin_addr.s_addr = htonl(0x7F0000FA);
            if (!socket ||
                ::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0 ||
                ::listen(socket.fd(), 8) != 0)
                return;
            listening_.push_back(std::move(socket));
        }
    }
    [[nodiscard]] bool ready() const { return listening_.size() == 3; }
    static constexpr const char* kAddress = "127.0.0.250";

private:
    std::vector<tarvo::net::Socket> listening_;
};

// The windows while they wait for a device that does not answer: "…" in the upgrade dialogs'
// version field and in the NVR configuration's list, and the preview before its stream.
bool saveWaitingDialogs(QWidget& window, const QString& out, const QString& tag) {
    const SilentDevice device;
    if (!device.ready()) return false;
    bool ok = true;
    {
        tarvo::gui::CUpGrade camera(&window);
        camera.SetTarget(5505, SilentDevice::kAddress);
        ok &= save(camera, out + "/upgrade-camera-waiting-" + tag + ".png") && camera.waiting();
    }
    {
        tarvo::gui::CNVRUpgradeDlg nvr(&window);
        nvr.SetTarget(5500, SilentDevice::kAddress);
        ok &= save(nvr, out + "/upgrade-nvr-waiting-" + tag + ".png") && nvr.waiting();
    }
    {
        tarvo::gui::CNVRConfigDlg config(&window);
        config.SetTarget(SilentDevice::kAddress, 5500);
        ok &= save(config, out + "/nvr-config-waiting-" + tag + ".png") && config.waiting();
    }
    {
        tarvo::gui::CViewDlg view(&window);
        view.SetConnectInfo(SilentDevice::kAddress, 5505, "admin", "", 0, 100);
        ok &= save(view, out + "/preview-waiting-" + tag + ".png") && view.waiting();
        std::printf("preview title while it waits: %s\n", qPrintable(view.windowTitle()));
        view.hide();
    }  // each closed without waiting for its device
    return ok;
}

// A preview window once it has shown a few pictures; closing it stops the stream.
bool savePreview(QWidget& window, const char* address, const QString& path) {
    tarvo::gui::CViewDlg view(&window);
    view.SetConnectInfo(address, 5505, "admin", "", 0, 100);
    view.show();
    const bool pictures =
        tarvo::test::waitUntil([&] { return view.video()->presented() >= 5; }, 20s);
    tarvo::test::pump(100ms);
    const bool ok = pictures && view.grab().save(path);
    std::printf("%s %s (%s, %llu pictures)\n", ok ? "wrote" : "FAILED", qPrintable(path),
                qPrintable(view.windowTitle()),
                static_cast<unsigned long long>(view.video()->presented()));
    return ok;
}

// A full-range camera ("yuvj420p": the colour patches coded at full range) played from a file
// by a simulator of its own: the preview as it shows, then once its stream stopped, with the
// notice over the last picture (in the language shown).
bool saveFullRangePreview(QWidget& window, const QString& out, const QString& tag) {
    QTemporaryDir dir;
    const std::string file = dir.filePath(QStringLiteral("full-range.h264")).toStdString();
    if (!dir.isValid() ||
        !tarvo::test::colour::writePatchStream(file, true, false, 1280, 720, 15).empty())
        return false;
    const nlohmann::json fleet{
        {"devices",
         {{{"ip", "127.0.0.40"},
           {"type", 100},
           {"name", "FullRangeCam"},
           {"video", {{"file", file}, {"fault", "stall"}, {"faultAfter", 15}}}}}}};
    tarvo::test::SimProcess sim(fleet);
    tarvo::gui::CViewDlg view(&window);
    view.SetConnectInfo("127.0.0.40", 5505, "admin", "", 0, 100);
    view.setDeviceName(u"FullRangeCam");
    view.show();
    bool ok = tarvo::test::waitUntil([&] { return view.video()->presented() >= 3; }, 20s);
    tarvo::test::pump(100ms);
    const QString shown = out + "/preview-full-range-" + tag + ".png";
    ok = ok && view.grab().save(shown);
    std::printf("%s %s (%s)\n", ok ? "wrote" : "FAILED", qPrintable(shown),
                qPrintable(view.windowTitle()));
    const QString stopped = out + "/preview-stopped-" + tag + ".png";
    ok = ok && tarvo::test::waitUntil([&] { return !view.video()->notice().isEmpty(); }, 20s);
    tarvo::test::pump(100ms);
    ok = ok && view.grab().save(stopped);
    std::printf("%s %s (%s)\n", ok ? "wrote" : "FAILED", qPrintable(stopped),
                qPrintable(view.video()->notice()));
    return ok;
}

// The verify window after a run over a few of the demo fleet's devices: cameras with their
// snapshots, a refused login, a DVR checked without a stream.
bool saveSiteVerify(tarvo::gui::CTarvoDlg& window, const QString& out, const QString& tag) {
    std::vector<tarvo::discovery::DeviceRow> rows;
    for (const auto& row : window.table().rows()) {
        for (const char16_t* address : {u"127.0.0.11", u"127.0.0.14", u"127.0.0.15", u"127.0.0.20",
                                        u"127.0.0.22", u"127.0.0.24"})
            if (row.address == address) rows.push_back(row);
    }
    QTemporaryDir siteDir;
    const QString sitePath = siteDir.filePath(QStringLiteral("site.tarvo-site"));
    (void)tarvo::site::SiteFile::open(sitePath.toStdString());
    tarvo::gui::CSiteVerifyDlg verify(rows, sitePath, &window);
    verify.setSeconds(1);
    verify.show();
    verify.start();
    const bool done = tarvo::test::waitUntil([&] { return !verify.running(); }, 60s);
    const bool ok = done && save(verify, out + "/site-verify-" + tag + ".png");
    std::printf("verify: %d results, %d snapshots\n", verify.resultCount(), verify.snapshotCount());
    return ok;
}

// The main window with the search's status line and, over it, its tooltip as the mouse rests
// there: main-status-<lang>.png.
bool saveSearchStatus(tarvo::gui::CTarvoDlg& window, const QString& out, const QString& tag) {
    auto* line = window.searchStatus();
    if (line == nullptr) return false;
    line->refresh();
    const QPoint at(line->width() - 20, line->height() / 2);
    QHelpEvent help(QEvent::ToolTip, at, line->mapToGlobal(at));
    QApplication::sendEvent(line, &help);
    QWidget* tip = nullptr;
    tarvo::test::waitUntil(
        [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->inherits("QTipLabel") && w->isVisible()) tip = w;
            }
            return tip != nullptr;
        },
        3s);
    tarvo::test::pump(200ms);
    const QPixmap shot = window.grab();
    QPixmap tipShot = tip != nullptr ? tip->grab() : QPixmap();
    // The tooltip where it would open, kept inside the picture.
    const QPoint place = window.mapFromGlobal(tip != nullptr ? tip->pos() : QPoint());
    const int width = std::max(shot.width(), tipShot.width());
    const int height = std::max(shot.height(), place.y() + tipShot.height());
    QPixmap canvas(width, height);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.drawPixmap(0, 0, shot);
        painter.drawPixmap(std::clamp(place.x(), 0, width - tipShot.width()),
                           std::clamp(place.y(), 0, height - tipShot.height()), tipShot);
    }
    const QString path = out + "/main-status-" + tag + ".png";
    const bool ok = tip != nullptr && canvas.save(path);
    std::printf("%s %s (%s)\n", ok ? "wrote" : "FAILED", qPrintable(path),
                qPrintable(line->text()));
    QToolTip::hideText();
    return ok;
}

}  // namespace

// The main list against a site (its state column, then one state's filter), with MACs made from
// the addresses so that the demo fleet's devices can be planned by MAC.
bool saveSiteList(const QString& out, const QString& tag, int expected) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("东区仓库.tarvo-site"));
    try {
        auto site = tarvo::site::SiteFile::open(path.toStdString());
        std::vector<tarvo::site::PlanRow> plan(4);
        const char* rows[4][3] = {{"02:00:7F:00:00:0B", "127.0.0.11", "大门"},
                                  {"02:00:7F:00:00:0C", "127.0.0.112", "仓库东"},
                                  {"02:00:7F:00:00:0E", "127.0.0.14", "大厅"},
                                  {"02:00:7F:00:00:63", "127.0.0.99", "后门"}};
        for (std::size_t i = 0; i < plan.size(); ++i) {
            plan[i].mac = rows[i][0];
            plan[i].address = rows[i][1];
            plan[i].name = rows[i][2];
        }
        site->replacePlan(plan);
        // The lobby camera's firmware changed since the last visit.
        tarvo::discovery::DeviceRow lobby;
        lobby.address = u"127.0.0.14";
        lobby.mac = u"02:00:7F:00:00:0E";
        lobby.type = 81;
        site->recordSearch({lobby}, 1000, {{"02:00:7F:00:00:0E", "v00.00.22.06"}});
        site->recordSearch({lobby}, 2000, {{"02:00:7F:00:00:0E", "v00.00.23.06"}});
    } catch (const tarvo::site::SiteError& e) {
        std::fprintf(stderr, "tarvo-screenshot: %s\n", e.what());
        return false;
    }
    QSettings().setValue(QString::fromLatin1(tarvo::gui::CSiteDlg::kLastSiteKey), path);
    tarvo::test::FakeMacResolver macs;
    tarvo::gui::CTarvoDlg::Options options;
    options.macResolver = &macs;
    tarvo::gui::CTarvoDlg window(options, nullptr);
    window.onInitDialog();
    window.show();
    auto* model = window.list()->listModel();
    tarvo::test::waitUntil(
        [&] {
            return model->rowCount() >= expected && model->columnCount() > 6 &&
                   !model->text(model->rowCount() - 1, 6).isEmpty();
        },
        6s);
    window.list()->Sort(1, true);
    tarvo::test::pump(300ms);
    bool ok = save(window, out + "/main-site-" + tag + ".png");
    window.list()->horizontalScrollBar()->setValue(window.list()->horizontalScrollBar()->maximum());
    ok &= save(window, out + "/main-site-scrolled-" + tag + ".png");
    window.siteList()->setFilter(tarvo::gui::SiteListState::kNew);
    ok &= save(window, out + "/main-site-filter-" + tag + ".png");
    window.engine().closeInterfaces();
    QSettings().remove(QString::fromLatin1(tarvo::gui::CSiteDlg::kLastSiteKey));
    return ok;
}

// The first page of the site's report (report-LANG-1.png), after two verifications: one with
// its snapshot, one that failed. Needs pdftoppm; without it the page is left out.
bool saveReportPage(const std::string& sitePath, const QString& prefix) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty()) return true;
    const auto site = tarvo::site::SiteFile::open(sitePath, false);
    const char* macs[] = {"02:00:00:00:00:01", "02:00:00:00:00:02"};
    for (int i = 0; i < 2; ++i) {
        tarvo::site::ActionRecord a;
        a.mac = macs[i];
        a.address = i == 0 ? "192.168.1.21" : "192.168.1.108";
        a.kind = "verify";
        a.started = tarvo::site::SiteFile::now();
        a.newValue = "V5.6.1 build 210806";
        if (i == 0) a.snapshot = tarvo::test::testJpeg(1280, 720, 3);
        const auto id = site->beginAction(a);
        site->finishAction(
            id, i == 0 ? "ok" : "failed",
            i == 0 ? ""
                   : tarvo::text::toUtf8(tarvo::text::tr(tarvo::text::msg::kConnectCameraFailed)),
            a.started + 11,
            i == 0 ? R"({"connectMs":2,"loginMs":7,"firstKeyMs":640,"fps":25,)"
                     R"("kbps":4096,"width":1280,"height":720,"seconds":10})"
                   : R"({"connectMs":2})");
    }
    const std::string pdf = prefix.toStdString() + ".pdf";
    tarvo::report::writePdfReport(*site, pdf);
    const int rc =
        QProcess::execute(QStringLiteral("pdftoppm"),
                          {QStringLiteral("-r"), QStringLiteral("80"), QStringLiteral("-f"),
                           QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("1"),
                           QStringLiteral("-png"), QString::fromStdString(pdf), prefix});
    QFile::remove(QString::fromStdString(pdf));
    return rc == 0;
}

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: tarvo-screenshot OUTDIR LANG EXPECTED_ROWS [batch]\n");
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
    window.onInitDialog();
    window.show();
    tarvo::test::waitUntil([&] { return window.list()->listModel()->rowCount() >= expected; }, 6s);
    window.list()->Sort(5, true);
    tarvo::test::pump(200ms);
    window.list()->selectRow(1);
    ok &= save(window, out + "/main-" + tag + ".png");
    ok &= saveSearchStatus(window, out, tag);
    // The batch windows alone, for a quick look at them.
    if (argc == 5 && std::string(argv[4]) == "batch") {
        ok &= saveBatchUpgrade(window, out, tag);
        ok &= saveBatchAddress(window, out, tag);
        window.engine().closeInterfaces();
        return ok ? 0 : 1;
    }

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

    using tarvo::gui::controlName;
    ok &= saveStates(window, window.findChild<tarvo::gui::CXPButton*>(controlName(1002)),
                     window.findChild<QWidget*>(controlName(1017)),
                     out + "/main-hover-" + tag + ".png");
    // Leave the search button as it was, so the later pictures show no hover.
    if (auto* search = window.findChild<tarvo::gui::CXPButton*>(controlName(1002))) {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(search, &leave);
    }

    tarvo::gui::CLog login(5505, &window);
    ok &= save(login, out + "/login-" + tag + ".png");
    {
        tarvo::gui::CLog states(5505, &window);
        ok &= saveStates(states, states.findChild<tarvo::gui::COwnerEdit*>(controlName(1008)),
                         states.findChild<QWidget*>(controlName(1009)),
                         out + "/login-hover-" + tag + ".png");
    }
    tarvo::gui::CLog nvrLogin(5505, &window);
    nvrLogin.SetNvrMode(1);
    ok &= save(nvrLogin, out + "/login-nvr-" + tag + ".png");
    tarvo::gui::CAboutDlg about(&window);
    ok &= save(about, out + "/about-" + tag + ".png");

    ok &= saveUpgradeDialogs(window, out, tag);
    ok &= saveBatchUpgrade(window, out, tag);
    ok &= saveWaitingDialogs(window, out, tag);
    // The preview shows pictures only (its title is the window frame's): one set.
    if (tag == QStringLiteral("zh_CN")) {
        ok &= savePreview(window, "127.0.0.24", out + "/preview-1080p.png");
        ok &= savePreview(window, "127.0.0.25", out + "/preview-4k.png");
    }
    ok &= saveFullRangePreview(window, out, tag);

    // The settings dialogs, with values as a device would report them.
    tarvo::ops::NetSettingsForm net;
    tarvo::protocol::NetParams params;
    params.address = address("192.168.1.108");
    params.netmask = address("255.255.255.0");
    params.gateway = address("192.168.1.1");
    params.dns = address("8.8.8.8");
    params.httpPort = 80;
    net.SetDeviceIp("192.168.1.108");
    net.SetNetParams(params);
    net.SetAudio(1);
    net.SetDeviceType(100);
    ok &= saveModal(*window.netDialog(), net, out + "/net-" + tag + ".png");
    net.SetDeviceType(175);
    ok &= saveModal(*window.netDialog(), net, out + "/net-decoder-" + tag + ".png");

    tarvo::ops::CameraConfigForm camera;
    camera.SetCameraIp("192.168.1.108");
    camera.SetVersion(u"00.00.22.06");
    camera.SetOverlay(1);
    camera.SetSubStream(2);
    camera.SetResolution(1, true);
    ok &= saveModal(*window.cameraDialog(), camera, out + "/camera-" + tag + ".png");

    tarvo::ops::CloudForm cloud;
    tarvo::protocol::CloudRecord record;
    const std::string password = "cloud-pass-01";
    std::copy(password.begin(), password.end(), record.password.begin());
    record.deviceId = 100234;
    cloud.SetDeviceIp("192.168.1.108");
    cloud.SetCloudRecord(record);
    ok &= saveModal(*window.cloudDialog(), cloud, out + "/cloud-" + tag + ".png");

    if (auto* menu = window.findChild<QMenu*>(QStringLiteral("menu129"))) {
        menu->popup(window.mapToGlobal(QPoint(100, 100)));
        ok &= save(*menu, out + "/menu-" + tag + ".png");
        menu->hide();
    }
    {
        tarvo::gui::CBatchAddressDlg batch(window.table().rows(), &window);
        ok &= save(batch, out + "/batch-address-" + tag + ".png");
    }
    ok &= saveBatchAddress(window, out, tag);

    if (tag == QStringLiteral("zh_CN")) ok &= saveControlsGallery(out + "/controls.png");
    // A site with a plan: one camera in place, one at another address, one missing, one new.
    {
        QTemporaryDir siteDir;
        std::ofstream(siteDir.filePath(QStringLiteral("plan.csv")).toStdString())
            << "MAC,IP,名称,位置\n02:00:00:00:00:01,192.168.1.21,东门,一楼\n"
               "02:00:00:00:00:02,192.168.1.22,西门,一楼\n02:00:00:00:00:03,192.168.1.23,"
               "车库,地下一层\n";
        auto heard = [] {
            std::vector<tarvo::discovery::DeviceRow> rows(3);
            const char16_t* values[3][2] = {{u"192.168.1.21", u"02:00:00:00:00:01"},
                                            {u"192.168.1.108", u"02:00:00:00:00:02"},
                                            {u"192.168.1.109", u"02:00:00:00:00:09"}};
            for (int i = 0; i < 3; ++i) {
                rows[static_cast<std::size_t>(i)].address = values[i][0];
                rows[static_cast<std::size_t>(i)].mac = values[i][1];
                rows[static_cast<std::size_t>(i)].name = u"IPCamera";
                rows[static_cast<std::size_t>(i)].type = 100;
            }
            return rows;
        };
        tarvo::gui::CSiteDlg site(heard, &window);
        ok &= site.openSite(siteDir.filePath(QStringLiteral("site.tarvo-site"))) &&
              site.importPlan(siteDir.filePath(QStringLiteral("plan.csv")));
        ok &= save(site, out + "/site-" + tag + ".png");
        // Mid-apply: the first device confirmed, the second written, the third not mounted yet.
        const std::pair<const char*, std::u16string_view> results[] = {
            {"02:00:00:00:00:01", tarvo::text::msg::kSiteInPlace},
            {"02:00:00:00:00:02", tarvo::text::msg::kSiteApplyWritten},
            {"02:00:00:00:00:03", tarvo::text::msg::kAssignNotFound}};
        for (const auto& [mac, result] : results)
            site.showResult(QString::fromLatin1(mac), tarvo::gui::uiText(result));
        site.findChild<QPushButton*>(QStringLiteral("applyButton"))->setEnabled(false);
        ok &= save(site, out + "/site-applying-" + tag + ".png");
        ok &= saveReportPage(siteDir.filePath(QStringLiteral("site.tarvo-site")).toStdString(),
                             out + "/report-" + tag);
    }
    ok &= saveSiteVerify(window, out, tag);
    ok &= saveSiteList(out, tag, expected);

    window.engine().closeInterfaces();
    return ok ? 0 : 1;
}
