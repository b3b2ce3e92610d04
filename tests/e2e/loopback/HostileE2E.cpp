// Devices that misbehave on purpose: discovery floods from thousands of addresses, TCP replies
// that trickle in a byte at a time or never come, streams cut off in the middle of a packet,
// and settings writes made while all that goes on. Nothing may crash or hang past its
// time-out, and every write must reach its device exactly once.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "core/discovery/DiscoveryEngine.h"
#include "core/net/MacResolver.h"
#include "core/ops/presenter/Dialogs.h"
#include "core/ops/presenter/MainPresenter.h"
#include "core/preview/CCamStreamClient.h"
#include "core/preview/HeadlessRenderer.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/upgrade/FirmwareUploader.h"
#include "core/upgrade/NvrResolutionClient.h"
#include "support/RecordingNotifier.h"
#include "support/RunProcess.h"
#include "support/Sanitizers.h"
#include "support/SharedSimTest.h"
#include "support/SimProcess.h"
#include "support/ThreadNames.h"
#include "support/UniqueName.h"
#include "support/Wait.h"

using namespace tarvo;
using namespace tarvo::discovery;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using test::kSanitized;

namespace {

// Trickle rates: a reply of n bytes takes (n - 1) times the rate to arrive.
const char* kHostileFleet = R"({"devices": [
  {"ip": "127.0.0.2", "type": 100, "name": "steady", "version": "v00.00.22.06", "password": "pw",
   "netParams": {"mask": "255.0.0.0", "gateway": "127.0.0.1", "dns": "127.0.0.1"}},
  {"ip": "127.0.0.3", "type": 100, "name": "trickle", "version": "v00.00.22.06", "tcpTrickleMs": 50},
  {"ip": "127.0.0.4", "type": 181, "name": "nvrTrickle", "outputResolution": 3, "tcpTrickleMs": 50},
  {"ip": "127.0.0.5", "type": 100, "version": "v00.00.22.06", "tcpTrickleMs": 700, "dropUdp": true},
  {"ip": "127.0.0.6", "type": 181, "tcpTrickleMs": 1500, "dropUdp": true},
  {"ip": "127.0.0.7", "type": 100, "tcpTrickleMs": 600, "dropUdp": true,
   "video": {"width": 320, "height": 240}},
  {"ip": "127.0.0.8", "type": 100, "version": "v00.00.02.08", "tcpTrickleMs": 100, "dropUdp": true},
  {"ip": "127.0.0.9", "type": 100, "dropUdp": true,
   "video": {"width": 320, "height": 240, "fault": "partial", "faultAfter": 5}},
  {"ip": "127.0.0.10", "type": 100, "dropUdp": true,
   "video": {"width": 320, "height": 240, "fault": "partialClose", "faultAfter": 5}},
  {"ip": "127.0.0.11", "type": 100, "tcpTrickleMs": 20, "dropUdp": true,
   "video": {"width": 320, "height": 240}},
  {"ip": "127.0.0.12", "type": 100, "name": "gone"},
  {"ip": "127.0.0.13", "type": 100, "name": "late", "dropUdp": true},
  {"ip": "127.0.0.14", "type": 100, "version": "v00.00.02.08", "dropUdp": true},
  {"ip": "127.0.0.15", "type": 100, "tcpSilent": true, "dropUdp": true},
  {"ip": "127.0.0.16", "type": 181, "tcpSilent": true, "dropUdp": true}
]})";

// The devices of the fleet that answer a search (the others drop every UDP frame).
const std::set<std::string> kAnswering{"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.12"};

// The addresses a flood of `sources` from `base` (a.b.c.1) answers from: .0 and .255 skipped.
std::set<std::string> floodAddresses(std::uint32_t base, int sources) {
    std::set<std::string> out;
    for (std::uint32_t a = base; static_cast<int>(out.size()) < sources; ++a) {
        if ((a & 0xFF) == 0 || (a & 0xFF) == 255) continue;
        out.insert(std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
                   std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF));
    }
    return out;
}

long rssKb(const std::string& statusPath) {
    std::ifstream in(statusPath);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

template <typename F>
std::chrono::milliseconds timed(F&& body) {
    const auto start = Clock::now();
    body();
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

// The engine on every local interface of the sandbox, with the system's MAC lookup.
struct HostileDiscovery {
    HostileDiscovery() : engine(table, resolver, notifier) { engine.openInterfaces(); }
    DeviceTable table;
    net::SystemMacResolver resolver;
    test::RecordingNotifier notifier;
    DiscoveryEngine engine;
};

// What a look at the list finds wrong: a repeated address or sequence number. Empty when fine.
std::string inconsistency(const std::vector<DeviceRow>& rows) {
    std::set<std::u16string> addresses;
    std::set<std::u16string> sequences;
    for (const auto& row : rows) {
        if (!addresses.insert(row.address).second)
            return "address listed twice: " + text::toUtf8(row.address);
        if (!sequences.insert(row.cell(kColSeq)).second)
            return "sequence number given twice: " + text::toUtf8(row.cell(kColSeq));
    }
    return {};
}

// The main window's waits, taken as they come.
class SleepingDialogs final : public ops::Dialogs {
public:
    ops::LoginDialogResult runLogin(int, bool) override { return {}; }
    void openUrl(std::u16string_view) override {}
    void waitMs(int milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};

class NoActions final : public ops::DeviceActions {
public:
    protocol::Outcome loginCheck(const protocol::LoginInfo&) override { return {}; }
    protocol::Outcome rebootDevice(const protocol::LoginInfo&) override { return {}; }
};

class UploadRecorder final : public upgrade::UploadObserver {
public:
    void uploadStarted(int, std::uint32_t) override {}
    void uploadProgress(int, std::uint64_t) override {}
    void uploadFinished(const upgrade::UploadOutcome& o) override {
        std::lock_guard guard(mutex);
        outcome = o;
    }
    std::mutex mutex;
    upgrade::UploadOutcome outcome;
};

class HostileE2E : public test::SharedSimTest<&kHostileFleet> {
protected:
    void SetUp() override {
        sim->clear(true);
        (void)sim->command("flood rate=0,command=100,payload=");
    }

    // Frames of one command the device received, as hex. The state is kept in a local first:
    // ranging over a temporary's member would dangle.
    static std::vector<std::string> framesOf(const std::string& ip, const std::string& transport,
                                             int command) {
        const nlohmann::json device = sim->device(ip);
        const nlohmann::json& received = device["received"];
        std::vector<std::string> out;
        for (const auto& f : received) {
            if (f["transport"] == transport && f["command"] == command) out.push_back(f["hex"]);
        }
        return out;
    }
    static nlohmann::json flood(const std::string& settings = {}) {
        const auto answer = sim->command(settings.empty() ? "flood" : "flood " + settings);
        EXPECT_TRUE(answer.value("ok", false)) << answer.dump();
        return answer;
    }
    static bool floodRunning() { return flood()["flood"]["running"].get<bool>(); }

    static test::ProcessResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), TARVO_CLI_PATH);
        return test::runProcess(args, 60s, {"LANG=en_US.UTF-8", "LC_ALL="});
    }

    static std::unique_ptr<preview::CCamStreamClient> previewClient(
        const std::string& ip, test::RecordingNotifier& notifier,
        preview::HeadlessRenderer** view = nullptr) {
        auto renderer = std::make_unique<preview::HeadlessRenderer>();
        if (view != nullptr) *view = renderer.get();
        return std::make_unique<preview::CCamStreamClient>(
            protocol::makeLoginInfo(ip, 5505, u"admin", u"", 0, 100), notifier,
            std::move(renderer));
    }

    std::string package(const std::string& name, std::size_t size) {
        // The name is the package's own: camera packages carry their version in it.
        // One folder per process: tests of this suite run side by side under ctest.
        const std::string folder = ::testing::TempDir() + "/hostile-" + test::uniqueName();
        std::filesystem::create_directories(folder);
        const std::string path = folder + "/" + name;
        std::ofstream out(path, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>(i * 7 + 3));
        paths.push_back(path);
        return path;
    }
    void TearDown() override {
        for (const auto& path : paths) std::filesystem::remove(path);
    }

    std::vector<std::string> paths;
};

}  // namespace

// Ten thousand replies a second from two thousand addresses, each address ten times over: every
// address is listed once, and a second flood costs no more memory than the first.
TEST_F(HostileE2E, FloodListsEveryAddressOnceAndKeepsMemoryFlat) {
    constexpr int kSources = 2000;
    flood("rate=10000,durationMs=2000,sources=2000,base=127.2.0.1");
    const auto expected = floodAddresses(0x7F020001, kSources);
    HostileDiscovery d;
    long rssAfterFirst = 0;
    long simRssAfterFirst = 0;
    const std::string simStatus = "/proc/" + std::to_string(sim->pid()) + "/status";

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const std::uint64_t handledBefore = d.engine.datagramsHandled();
        const auto udpBefore = flood()["udp"];
        d.engine.setIgnoreReplies(true);
        d.engine.startSearch();
        // The whole burst, plus time for the last replies to be taken.
        ASSERT_TRUE(test::waitUntil([&] { return !floodRunning(); }, 20s));
        const auto udp = flood()["udp"];
        ASSERT_TRUE(test::waitUntil(
            [&] { return d.table.rowCount() >= kSources + static_cast<int>(kAnswering.size()); },
            10s))
            << d.table.rowCount();
        std::this_thread::sleep_for(300ms);

        const auto rows = d.table.rows();
        EXPECT_EQ(inconsistency(rows), "");
        std::set<std::string> listed;
        for (const auto& row : rows) listed.insert(text::toUtf8(row.address));
        for (const auto& address : expected) EXPECT_EQ(listed.count(address), 1u) << address;
        for (const auto& address : kAnswering) EXPECT_EQ(listed.count(address), 1u) << address;
        EXPECT_EQ(rows.size(), expected.size() + kAnswering.size());
        // Sequence numbers 1..N, each once.
        std::set<int> sequences;
        for (const auto& row : rows) sequences.insert(row.sequence);
        EXPECT_EQ(*sequences.begin(), 1);
        EXPECT_EQ(*sequences.rbegin(), static_cast<int>(rows.size()));
        EXPECT_TRUE(d.notifier.entries().empty());

        const auto sent = udp["sent"].get<std::uint64_t>() - udpBefore["sent"].get<std::uint64_t>();
        const auto dropped =
            udp["dropped"].get<std::uint64_t>() - udpBefore["dropped"].get<std::uint64_t>();
        const auto handled = d.engine.datagramsHandled() - handledBefore;
        std::cout << "flood round " << round << ": simulator sent " << sent << " (dropped "
                  << dropped << "), program took " << handled << ", listed " << rows.size()
                  << " rows\n";
        RecordProperty("round" + std::to_string(round) + "Sent", static_cast<int>(sent));
        RecordProperty("round" + std::to_string(round) + "Handled", static_cast<int>(handled));
        EXPECT_GE(sent, 20000u);
        // The receive path keeps up with the burst; a loaded machine may lose a few.
        EXPECT_GE(handled * 2, sent);

        if (round == 0) {
            rssAfterFirst = rssKb("/proc/self/status");
            simRssAfterFirst = rssKb(simStatus);
        }
    }
    const long growth = rssKb("/proc/self/status") - rssAfterFirst;
    const long simGrowth = rssKb(simStatus) - simRssAfterFirst;
    std::cout << "memory growth over the second flood: program " << growth << " kB, simulator "
              << simGrowth << " kB\n";
    if (!kSanitized) {
        // The list is rebuilt in place: nothing per reply stays behind.
        EXPECT_LT(growth, 16 * 1024);
        EXPECT_LT(simGrowth, 16 * 1024);
    }
}

// The search button pressed while a flood is still coming in: the list is cleared while replies
// arrive, and what it shows afterwards is consistent at every moment and holds nothing from
// before the clear.
TEST_F(HostileE2E, SearchDuringAFloodLeavesAConsistentList) {
    constexpr int kSources = 1500;
    flood("rate=10000,durationMs=2500,sources=1500,base=127.3.0.1");
    const auto expected = floodAddresses(0x7F030001, kSources);
    HostileDiscovery d;
    SleepingDialogs dialogs;
    NoActions actions;
    ops::EngineSearch search(d.engine);
    std::uint32_t tick = 0;
    ops::MainPresenter presenter(dialogs, d.notifier, search, actions,
                                 [&tick] { return tick += 5000; });

    // A watcher looks at the list all the time, as the window would.
    std::atomic<bool> watching{true};
    std::mutex problemsMutex;
    std::vector<std::string> problems;
    int looks = 0;
    std::thread watcher([&] {
        while (watching.load()) {
            const std::string problem = inconsistency(d.table.rows());
            ++looks;
            if (!problem.empty()) {
                std::lock_guard guard(problemsMutex);
                problems.push_back(problem);
            }
            std::this_thread::sleep_for(2ms);
        }
    });

    presenter.search();
    ASSERT_TRUE(test::waitUntil([&] { return d.table.hasAddress(u"127.0.0.12"); }));
    ASSERT_TRUE(test::waitUntil([&] { return d.table.rowCount() > kSources / 4; }));
    // From now on one device is silent and another answers.
    sim->set("127.0.0.12", "dropUdp=true");
    sim->set("127.0.0.13", "dropUdp=false");
    ASSERT_TRUE(floodRunning());
    presenter.search();  // ignores replies for a second, clears, searches: the flood goes on
    ASSERT_TRUE(test::waitUntil([&] { return !floodRunning(); }, 20s));
    std::this_thread::sleep_for(300ms);
    watching = false;
    watcher.join();

    const auto rows = d.table.rows();
    std::set<std::string> listed;
    for (const auto& row : rows) listed.insert(text::toUtf8(row.address));
    EXPECT_EQ(listed.count("127.0.0.12"), 0u);  // answered before the clear only
    EXPECT_EQ(listed.count("127.0.0.13"), 1u);
    for (const auto& address : expected) EXPECT_EQ(listed.count(address), 1u) << address;
    for (const auto& address : listed) {
        EXPECT_TRUE(expected.count(address) + kAnswering.count(address) > 0 ||
                    address == "127.0.0.13")
            << address;
    }
    EXPECT_EQ(inconsistency(rows), "");
    std::set<int> sequences;
    for (const auto& row : rows) sequences.insert(row.sequence);
    EXPECT_EQ(*sequences.begin(), 1);
    EXPECT_EQ(*sequences.rbegin(), static_cast<int>(rows.size()));
    EXPECT_GT(looks, 100);
    EXPECT_EQ(problems, std::vector<std::string>{});
    EXPECT_TRUE(d.notifier.entries().empty());

    sim->set("127.0.0.12", "dropUdp=false");
    sim->set("127.0.0.13", "dropUdp=true");
}

// Replies that come a byte at a time but complete within the time-out are read whole.
TEST_F(HostileE2E, TricklingRepliesThatCompleteInTimeAreReadWhole) {
    test::RecordingNotifier notifier;
    // Login: 12 bytes, 50 ms apart.
    const auto loginTook = timed([&] {
        EXPECT_TRUE(
            protocol::loginCheck(protocol::makeLoginInfo("127.0.0.3", 5505, u"admin", u"", 0, 100))
                .report(notifier));
    });
    EXPECT_GE(loginTook, 500ms);  // it did trickle
    std::u16string version;
    const auto versionTook = timed([&] {
        EXPECT_TRUE(protocol::checkCameraVersion("127.0.0.3", 5505, version).report(notifier));
    });
    EXPECT_EQ(version, u"00.00.22.06");
    EXPECT_GE(versionTook, 800ms);
    EXPECT_TRUE(notifier.entries().empty());
    // Reboot: the login reply trickles, then the command goes out once.
    EXPECT_TRUE(
        protocol::rebootDevice(protocol::makeLoginInfo("127.0.0.3", 5505, u"admin", u"", 0, 100))
            .report(notifier));
    EXPECT_TRUE(notifier.entries().empty());
    EXPECT_EQ(framesOf("127.0.0.3", "tcp", 130), std::vector<std::string>{"820000000600"});
    EXPECT_EQ(sim->device("127.0.0.3")["reboots"], 1);

    // The NVR's resolution: 6 bytes; the change goes out once.
    upgrade::NvrResolutionClient nvr;
    nvr.SetTarget("127.0.0.4", 5500);
    EXPECT_EQ(nvr.FillResolutionList().shown, 3);
    EXPECT_TRUE(nvr.ApplyOutputResolution(5, [](std::chrono::milliseconds) {}));
    nvr.close();
    EXPECT_TRUE(notifier.entries().empty());
    EXPECT_TRUE(test::waitUntil([] { return sim->device("127.0.0.4")["outputResolution"] == 5; }));
    EXPECT_EQ(framesOf("127.0.0.4", "tcp", 233), std::vector<std::string>{"e90005000600"});

    // The stream reply: 32 bytes, 20 ms apart; the pictures follow.
    preview::HeadlessRenderer* view = nullptr;
    auto client = previewClient("127.0.0.11", notifier, &view);
    client->startPreview();
    EXPECT_EQ(client->reply().width, 320);
    EXPECT_EQ(client->reply().height, 240);
    EXPECT_TRUE(view->waitForPictures(2, 20s));
    client->stop();

    // The upload answer: 6 bytes, 100 ms apart (the version reply before it too).
    UploadRecorder recorder;
    const std::string path = package("IPC_update_00.00.03.08.img", 70000);
    {
        upgrade::FirmwareUploader uploader(upgrade::cameraUpgrade(), recorder);
        uploader.SetTarget(5505, "127.0.0.8");
        ASSERT_TRUE(uploader.connect());
        uploader.QueryFirmwareVersion();
        EXPECT_EQ(uploader.currentVersion(), u"v00.00.02.08");
        ASSERT_TRUE(uploader.start(path));
        uploader.wait();
    }
    EXPECT_EQ(recorder.outcome.status, upgrade::UploadStatus::Accepted);
    const nlohmann::json device = sim->device("127.0.0.8");
    const nlohmann::json& uploads = device["uploads"];
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0]["received"], 70000);
    EXPECT_TRUE(uploads[0]["complete"].get<bool>());

    // Camera options through the command line: the version check trickles, the writes go once.
    sim->clear(true);
    const auto r = cli({"camera", "set", "127.0.0.3", "--overlay", "on", "--substream", "cif"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");  // the version was read whole: no complaint about it
    EXPECT_EQ(framesOf("127.0.0.3", "udp", 141), std::vector<std::string>{"8d0000030a0000000000"});
    EXPECT_EQ(framesOf("127.0.0.3", "udp", 149), std::vector<std::string>{"950000030a0002000000"});
    EXPECT_EQ(framesOf("127.0.0.3", "udp", 139).size(), 1u);
}

// Replies that would complete only after the time-out, and devices that never answer: every
// operation that waits for a reply gives up within its own time-out, whatever the trickle
// does, with the text it shows for a failed receive. They run side by side to keep this short.
TEST_F(HostileE2E, TricklesPastTheTimeOutAndSilentDevicesEndWithinIt) {
    const auto threadsBefore = test::threadNames();
    struct Result {
        std::chrono::milliseconds took{0};
        std::vector<std::u16string> texts;
        bool ok = true;
        std::u16string detail;
    };
    const auto run = [](std::function<void(Result&, test::RecordingNotifier&)> body) {
        return std::async(std::launch::async, [body = std::move(body)] {
            Result result;
            test::RecordingNotifier notifier;
            result.took = timed([&] { body(result, notifier); });
            result.texts = notifier.texts();
            return result;
        });
    };
    const auto login = [](const std::string& ip) {
        return [ip](Result& r, test::RecordingNotifier& n) {
            r.ok = protocol::loginCheck(protocol::makeLoginInfo(ip, 5505, u"admin", u"", 0, 100))
                       .report(n);
        };
    };
    const auto resolution = [](const std::string& ip) {
        return [ip](Result& r, test::RecordingNotifier& n) {
            upgrade::NvrResolutionClient nvr;
            nvr.SetTarget(ip, 5500);
            if (const auto listing = nvr.FillResolutionList(); !listing.message.empty())
                n.message(listing.message);
            r.ok = nvr.connected() && nvr.currentIndex() != 0;
        };
    };

    // 12 bytes 700 ms apart, 19 bytes 700 ms apart, 6 bytes 1.5 s apart.
    auto trickledLogin = run(login("127.0.0.5"));
    auto trickledVersion = run([](Result& r, test::RecordingNotifier& n) {
        r.ok = protocol::checkCameraVersion("127.0.0.5", 5505, r.detail).report(n);
    });
    auto trickledResolution = run(resolution("127.0.0.6"));
    auto silentLogin = run(login("127.0.0.15"));
    auto silentResolution = run(resolution("127.0.0.16"));
    // The stream reply: 32 bytes 600 ms apart, against the stream's 15 s.
    auto trickledStream = run([](Result& r, test::RecordingNotifier& n) {
        auto client = previewClient("127.0.0.7", n);
        r.ok = client->startStream();
        r.ok = r.ok || client->threadsRunning();
        client->stop();
    });
    // The NVR upload's version query (15 s) on a silent NVR.
    auto silentNvrVersion = run([](Result& r, test::RecordingNotifier&) {
        UploadRecorder recorder;
        upgrade::FirmwareUploader uploader(upgrade::nvrUpgrade(), recorder);
        uploader.SetTarget(5500, "127.0.0.16");
        r.ok = uploader.connect();
        uploader.QueryFirmwareVersion();
        r.detail = uploader.currentVersion();
    });
    // The upload answer: the version is read at full speed, then the answer trickles, 6 bytes
    // 6 s apart: its tag would come after the time-out.
    const std::string path = package("IPC_update_00.00.03.08.img", 1000);
    auto trickledAnswer = run([&path](Result& r, test::RecordingNotifier&) {
        UploadRecorder recorder;
        upgrade::FirmwareUploader uploader(upgrade::cameraUpgrade(), recorder);
        uploader.SetTarget(5505, "127.0.0.14");
        r.ok = uploader.connect();
        uploader.QueryFirmwareVersion();
        sim->set("127.0.0.14", "tcpTrickleMs=6000");
        const auto start = Clock::now();
        r.ok = r.ok && uploader.start(path);
        uploader.wait();
        r.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        r.ok = r.ok && recorder.outcome.status == upgrade::UploadStatus::NoAnswer;
        r.detail = text::fromUtf8(upgrade::statusName(recorder.outcome.status));
    });

    const auto within = [](const Result& r, std::chrono::milliseconds limit) {
        EXPECT_GE(r.took, limit - 500ms);
        EXPECT_LT(r.took, limit + 2500ms);
    };
    // A login whose result did not come in time names the device and the wait.
    {
        SCOPED_TRACE("trickled login");
        const Result r = trickledLogin.get();
        EXPECT_FALSE(r.ok);
        within(r, 5000ms);
        EXPECT_EQ(r.texts, std::vector<std::u16string>{u"设备 127.0.0.5 在 5 秒内没有应答"});
    }
    {
        SCOPED_TRACE("trickled version");
        const Result r = trickledVersion.get();
        EXPECT_FALSE(r.ok);
        within(r, 5000ms);
        EXPECT_EQ(r.detail, u"");
        EXPECT_EQ(r.texts,
                  std::vector<std::u16string>{std::u16string(text::msg::kVersionQueryFailed)});
    }
    for (auto* future : {&trickledResolution, &silentResolution}) {
        SCOPED_TRACE("resolution");
        const Result r = future->get();
        EXPECT_FALSE(r.ok);
        within(r, 5000ms);
        EXPECT_EQ(r.texts,
                  std::vector<std::u16string>{std::u16string(text::msg::kNvrResolutionFailed)});
    }
    {
        SCOPED_TRACE("silent login");
        const Result r = silentLogin.get();
        EXPECT_FALSE(r.ok);
        within(r, 5000ms);
        EXPECT_EQ(r.texts, std::vector<std::u16string>{u"设备 127.0.0.15 在 5 秒内没有应答"});
    }
    {
        SCOPED_TRACE("trickled upload answer");
        const Result r = trickledAnswer.get();
        EXPECT_TRUE(r.ok) << text::toUtf8(r.detail);
        within(r, 5000ms);
    }
    {
        SCOPED_TRACE("trickled stream reply");
        const Result r = trickledStream.get();
        EXPECT_FALSE(r.ok);
        within(r, 15000ms);
        EXPECT_EQ(r.texts, std::vector<std::u16string>{});
    }
    {
        SCOPED_TRACE("silent NVR version");
        const Result r = silentNvrVersion.get();
        EXPECT_TRUE(r.ok);  // connected
        EXPECT_EQ(r.detail, u"");
        within(r, 15000ms);
    }
    sim->set("127.0.0.14", "tcpTrickleMs=0");
    EXPECT_EQ(test::threadNames(), threadsBefore);
}

// A stream that stops in the middle of a packet: the part that came is never decoded; a stall
// leaves the preview waiting until it is closed, a close ends the receiving at once.
TEST_F(HostileE2E, StreamCutOffMidPacketNeverHandsThePartToTheDecoder) {
    const auto threadsBefore = test::threadNames();
    for (const std::string ip : {"127.0.0.9", "127.0.0.10"}) {
        SCOPED_TRACE(ip);
        const bool closes = ip == "127.0.0.10";
        test::RecordingNotifier notifier;
        preview::HeadlessRenderer* view = nullptr;
        auto client = previewClient(ip, notifier, &view);
        // Every packet the decoder side takes: its header's length against its payload.
        std::mutex mutex;
        int video = 0;
        int mismatched = 0;
        client->setPacketTap([&](int type, std::span<const std::uint8_t> header,
                                 std::span<const std::uint8_t> payload) {
            std::lock_guard guard(mutex);
            video += type == 0 ? 1 : 0;
            const std::uint32_t announced = header[6] | (header[7] << 8) | (header[8] << 16) |
                                            (static_cast<std::uint32_t>(header[9]) << 24);
            mismatched += announced != payload.size() ? 1 : 0;
        });
        client->startPreview();
        ASSERT_TRUE(test::waitUntil(
            [&] { return sim->device(ip)["stream"]["faults"].get<int>() > 0; }, 20s));
        if (closes) {
            ASSERT_TRUE(test::waitUntil([&] { return client->stats().receiveEnded; }, 10s));
        }
        std::this_thread::sleep_for(500ms);  // anything more would have been taken by now
        const auto stats = client->stats();
        EXPECT_EQ(stats.videoPackets, 5u);  // the five whole pictures, not the sixth half
        EXPECT_EQ(stats.receiveEnded, closes);
        EXPECT_FALSE(stats.oversizePacket);
        EXPECT_EQ(stats.decoderFaults, 0u);
        {
            std::lock_guard guard(mutex);
            EXPECT_EQ(video, 5);
            EXPECT_EQ(mismatched, 0);
        }
        EXPECT_TRUE(notifier.entries().empty());
        EXPECT_LT(timed([&] { client->stop(); }), 3s);  // not the 15 s receive time-out
        EXPECT_FALSE(client->threadsRunning());
    }
    EXPECT_EQ(test::threadNames(), threadsBefore);
}

// Settings writes made through the command line while a flood answers its searches: each
// frame reaches the device once, and the device ends up with the values written.
TEST_F(HostileE2E, WritesUnderAFloodArriveExactlyOnce) {
    // Long enough to cover each command's search, reads and writes; no phantom ends in .0.2, so
    // none of them would take the device's writes.
    flood("rate=10000,durationMs=6000,sources=3000,base=127.4.100.1");
    auto r = cli(
        {"net", "set", "127.0.0.2", "--password", "pw", "--dns", "127.0.0.53", "--audio", "on"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(flood()["flood"]["runs"].get<int>(), 0);  // the command's own search was flooded
    const auto writes = framesOf("127.0.0.2", "udp", 106);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].substr(0, 12), "6a0000022200");
    EXPECT_EQ(framesOf("127.0.0.2", "udp", 128), std::vector<std::string>{"800000020a0001000000"});
    const nlohmann::json device = sim->device("127.0.0.2");
    EXPECT_EQ(device["netParams"]["dns"], "127.0.0.53");
    EXPECT_EQ(device["audio"], 1);

    sim->clear(true);
    r = cli({"camera", "set", "127.0.0.2", "--overlay", "on", "--substream", "cif"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(framesOf("127.0.0.2", "udp", 141), std::vector<std::string>{"8d0000020a0000000000"});
    EXPECT_EQ(framesOf("127.0.0.2", "udp", 149), std::vector<std::string>{"950000020a0002000000"});
    EXPECT_EQ(framesOf("127.0.0.2", "udp", 139).size(), 1u);
    EXPECT_EQ(sim->device("127.0.0.2")["onvifSubStream"], 2);

    sim->clear(true);
    r = cli({"cloud", "set", "127.0.0.2", "--password", "pw", "--cloud-password", "flooded"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(framesOf("127.0.0.2", "udp", 123).size(), 1u);
    EXPECT_EQ(sim->device("127.0.0.2")["cloud"]["password"], "flooded");
    const auto udp = flood()["udp"];
    std::cout << "writes under a flood: simulator sent " << udp["sent"] << " datagrams, dropped "
              << udp["dropped"] << "\n";
}

// Another host sprays network records and login answers while a camera is being changed, as a
// hostile host, or another installer's program querying its own camera, would: only the
// camera's own answers count.
TEST_F(HostileE2E, SprayedRepliesOfAnotherHostAreNotTaken) {
    // The camera's address, mask 255.0.0.0, gateway 127.6.6.6, DNS 127.0.0.1, HTTP port 80.
    flood(
        "command=180,sources=1,base=127.6.6.6,rate=2000,durationMs=8000,payload="
        "7f000002ff0000007f0606067f000001500000000000000000000000");
    auto r = cli({"net", "set", "127.0.0.2", "--password", "pw", "--dns", "127.0.0.54"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(flood()["flood"]["generated"].get<int>(), 0);
    const nlohmann::json device = sim->device("127.0.0.2");
    EXPECT_EQ(device["netParams"]["gateway"], "127.0.0.1");
    EXPECT_EQ(device["netParams"]["dns"], "127.0.0.54");

    // "Accepted" for every login, while the camera refuses the password.
    sim->clear(true);
    flood("command=181,payload=01");
    r = test::runProcess({TARVO_CLI_PATH, "net", "set", "127.0.0.2", "--dns", "127.0.0.55"}, 60s,
                         {"LANG=en_US.UTF-8", "LC_ALL=", "TARVO_PASSWORD=nope"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Username and password do not match \n");
    EXPECT_TRUE(framesOf("127.0.0.2", "udp", 106).empty());
}

// MAC-conflict answers repeated by the camera asked and sent by another one: one message for the
// one request.
TEST_F(HostileE2E, RepeatedMacAnswersGiveOneMessage) {
    flood("command=186,sources=2,base=127.0.0.2,rate=4000,durationMs=8000");
    const auto r = cli({"camera", "fix-mac", "127.0.0.2"});
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_EQ(r.err, "The camera has a new MAC address; it takes effect after a reboot\n");
    EXPECT_EQ(framesOf("127.0.0.2", "udp", 143).size(), 1u);
}
