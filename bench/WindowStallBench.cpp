// How long the main window stops answering while it works on a device that does not answer:
//   QT_QPA_PLATFORM=offscreen scripts/sandbox --hosts 2 -- build/release/bench/bench-window-stall
// Every operation the window starts against a device runs once against a silent device (it
// takes the TCP connection and never answers) and once against an absent one (an address of
// the sandbox's device subnet where no host is, so the connection waits and fails). The
// window's event loop is pinged every 10 ms meanwhile, as a window manager does; each line is
// the longest a ping waited, against the same figure for the idle window measured first.
// Login dialogs are confirmed, message boxes and the operations' windows closed at once.
// After the idle window, the site window applies a plan that moves a slow camera (its replies
// delayed) on a device host of its own: the longest stall while the plan is checked, written and
// confirmed.
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "app/CTarvoDlg.h"
#include "core/protocol/DeviceCommands.h"
#include "dialogs/CSiteDlg.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"

using namespace tarvo;
using namespace std::chrono_literals;

namespace {

constexpr int kCamera = 100;
constexpr int kNvr = 181;

struct Operation {
    const char* name;
    int type;
    int logins;  // login dialogs the operation opens
    std::function<void(gui::CTarvoDlg&, const std::string& address)> run;
};

struct Measured {
    std::chrono::milliseconds stall;
    std::chrono::milliseconds took;
};

Measured measure(gui::CTarvoDlg& window, const Operation& op, const std::string& address) {
    test::ModalDriver driver;
    for (int i = 0; i < op.logins; ++i) driver.logins.push_back(test::ModalDriver::confirm());
    window.presenter().leftClick(
        ops::RowHit{std::u16string(address.begin(), address.end()), op.type});
    test::StallProbe probe;
    const auto start = std::chrono::steady_clock::now();
    op.run(window, address);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    const auto stall = probe.stop();
    test::pump(50ms);  // the boxes of the operation's end are closed
    return {stall, took};
}

}  // namespace

int main(int /*argc*/, char** argv) try {
    test::requireSandboxOrExit();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    test::setLanguage("zh_CN.UTF-8");

    // Silent: TCP taken, never answered (command port; the stream port for the preview's
    // set-up after a login that is answered).
    test::SimProcess sim(nlohmann::json::parse(R"({"devices": [
        {"ip": "127.0.0.21", "type": 100, "tcpSilent": true},
        {"ip": "127.0.0.22", "type": 181, "tcpSilent": true},
        {"ip": "127.0.0.23", "type": 100, "video": {"replySilent": true}}]})"));
    const std::string silentCamera = "127.0.0.21";
    const std::string silentNvr = "127.0.0.22";
    const std::string silentStream = "127.0.0.23";
    // No host has this address: the connection waits for a neighbour that never answers.
    const std::string absent = test::sandboxHostAddress(60);

    gui::CTarvoDlg window;
    window.onInitDialog();
    window.show();
    test::pump(1500ms);

    const std::vector<Operation> operations = {
        {"preview", kCamera, 1, [](auto& w, auto&) { w.presenter().preview(); }},
        {"upgrade", kCamera, 1, [](auto& w, auto&) { w.presenter().upgrade(); }},
        {"reboot", kCamera, 1, [](auto& w, auto&) { w.presenter().reboot(); }},
        {"parameters", kCamera, 1, [](auto& w, auto&) { w.presenter().parameterConfiguration(); }},
        {"cloud", kCamera, 1, [](auto& w, auto&) { w.presenter().cloudSettings(); }},
        {"nvr-preview", kNvr, 1, [](auto& w, auto&) { w.presenter().preview(); }},
        {"nvr-upgrade", kNvr, 1, [](auto& w, auto&) { w.presenter().upgrade(); }},
        {"nvr-parameters", kNvr, 1, [](auto& w, auto&) { w.presenter().parameterConfiguration(); }},
        // The windows themselves, as after a login that was answered.
        {"upgrade-dialog", kCamera, 0,
         [](auto& w, const std::string& a) { w.runCameraUpgrade(a, 5505); }},
        {"nvr-upgrade-dialog", kNvr, 0,
         [](auto& w, const std::string& a) { w.runNvrUpgrade(a, 5500); }},
        {"preview-stream", kCamera, 0,
         [](auto& w, const std::string& a) {
             w.runPreview(protocol::makeLoginInfo(a, 5505, u"admin", u"", 0, kCamera));
         }},
    };

    std::printf("%-20s %-8s %-14s %-14s %s\n", "operation", "device", "address", "longest stall",
                "(operation took)");
    {
        test::StallProbe idle;
        test::pump(1000ms);
        std::printf("%-20s %-8s %-14s %5lld ms\n", "idle window", "-", "-",
                    static_cast<long long>(idle.stop().count()));
    }
    // The site window against a slow camera: one that answers within the network sequence's
    // waits, and one too slow for them (its login is taken as refused).
    const std::string moved = "10.250.0.41";
    if (test::runInHost(1, {"ip", "addr", "add", moved + "/24", "dev", "eth0"}) != 0)
        throw std::runtime_error("cannot add " + moved + " to device host 1");
    for (const int delayMs : {150, 1000}) {
        test::SimOptions hostOptions;
        hostOptions.host = 1;
        nlohmann::json fleet = nlohmann::json::parse(
            R"({"devices": [{"type": 100, "netParams": {"mask": "255.255.255.0"}}]})");
        fleet["devices"][0]["ip"] = test::sandboxHostAddress(1);
        fleet["devices"][0]["replyDelayMs"] = delayMs;
        test::SimProcess slow(fleet, hostOptions);
        QTemporaryDir dir;
        std::ofstream(dir.filePath(QStringLiteral("plan.csv")).toStdString())
            << "MAC,IP,子网掩码\n02-00-0a-fa-00-0b," << moved << ",255.255.255.0\n";
        test::ModalDriver driver;
        gui::CSiteDlg site([&] { return window.table().rows(); }, &window);
        if (!site.openSite(dir.filePath(QStringLiteral("s.tarvo-site"))) ||
            !site.importPlan(dir.filePath(QStringLiteral("plan.csv"))))
            throw std::runtime_error("cannot make the site");
        test::StallProbe probe;
        const auto start = std::chrono::steady_clock::now();
        site.apply();
        // The question after the dry run, then the outcome (or the refusal) in a box; the apply
        // button comes back when it ended.
        auto* applyButton = site.findChild<QPushButton*>(QStringLiteral("applyButton"));
        const bool ended =
            test::waitUntil([&] { return !driver.boxes.empty() && applyButton->isEnabled(); }, 60s);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        const auto stall = probe.stop();
        std::printf("%-20s %-8s %-14s %5lld ms       (%lld ms%s)\n", "site-apply",
                    (std::to_string(delayMs) + "ms").c_str(), moved.c_str(),
                    static_cast<long long>(stall.count()), static_cast<long long>(took.count()),
                    ended ? "" : ", did not end");
        for (const auto& box : driver.boxes)
            std::printf("    %s\n", box.text.simplified().toStdString().c_str());
        std::fflush(stdout);
        test::pump(100ms);
    }
    long long worst = 0;
    for (const Operation& op : operations) {
        const bool streamOnly = std::string(op.name) == "preview-stream";
        const std::string silent = streamOnly        ? silentStream
                                   : op.type == kNvr ? silentNvr
                                                     : silentCamera;
        for (const auto& [kind, address] :
             {std::pair{"silent", silent}, std::pair{"absent", absent}}) {
            const Measured m = measure(window, op, address);
            worst = std::max<long long>(worst, m.stall.count());
            std::printf("%-20s %-8s %-14s %5lld ms       (%lld ms)\n", op.name, kind,
                        address.c_str(), static_cast<long long>(m.stall.count()),
                        static_cast<long long>(m.took.count()));
            std::fflush(stdout);
        }
    }
    std::printf("longest of all: %lld ms (goal: at most 50 ms)\n", worst);

    window.engine().closeInterfaces();
    return 0;
} catch (const std::exception& e) {
    std::fprintf(stderr, "bench-window-stall: %s\n", e.what());
    return 1;
}
