#include "support/LinkProbes.h"

#include <cstdlib>
#include <sstream>
#include <thread>

#include "core/discovery/DiscoveryEngine.h"
#include "core/net/MacResolver.h"
#include "core/preview/CCamStreamClient.h"
#include "core/preview/HeadlessRenderer.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/DeviceCommands.h"
#include "core/text/TextConvert.h"
#include "support/RecordingNotifier.h"
#include "support/RunProcess.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

namespace tarvo::test {

namespace {

using Clock = std::chrono::steady_clock;

std::string cliPath() {
    const char* fromEnv = std::getenv("TARVO_CLI");
    if (fromEnv != nullptr && *fromEnv != '\0') return fromEnv;
#ifdef TARVO_CLI_PATH
    return TARVO_CLI_PATH;
#else
    return "tarvo-cli";
#endif
}

int countUdp(const nlohmann::json& device, int command) {
    int n = 0;
    for (const auto& f : device["received"])
        n += f["transport"] == "udp" && f["command"] == command ? 1 : 0;
    return n;
}

}  // namespace

int searchesUntilListed(const std::string& ip, int maxSearches,
                        std::chrono::milliseconds perSearch) {
    discovery::DeviceTable table;
    net::SystemMacResolver resolver;
    RecordingNotifier notifier;
    discovery::DiscoveryEngine engine(table, resolver, notifier);
    engine.openInterfaces();
    const std::u16string key = text::fromUtf8(ip);
    int found = 0;
    for (int i = 1; i <= maxSearches && found == 0; ++i) {
        engine.startSearch();
        const bool listed = waitUntil(
            [&] {
                std::lock_guard guard(table.lock());
                return table.findRow(discovery::kColAddress, key) >= 0;
            },
            perSearch);
        if (listed) found = i;
    }
    engine.closeInterfaces();
    return found;
}

const char* verdictName(SettingsAttempt::Verdict verdict) {
    switch (verdict) {
        case SettingsAttempt::Verdict::Completed:
            return "completed";
        case SettingsAttempt::Verdict::FailedClean:
            return "failed cleanly";
        case SettingsAttempt::Verdict::Lost:
            return "write lost";
        case SettingsAttempt::Verdict::Damaged:
            return "damaged";
    }
    return "?";
}

SettingsAttempt netSetAttempt(const SimProcess& sim, const std::string& ip,
                              const std::string& password, const std::string& newDns) {
    sim.clear();
    const nlohmann::json before = sim.device(ip);
    const auto r =
        runProcess({cliPath(), "net", "set", ip, "--password", password, "--dns", newDns},
                   std::chrono::seconds(30), {"LANG=en_US.UTF-8", "LC_ALL="});
    // A write still on its way (held by a slow link) lands before the device is read.
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const nlohmann::json after = sim.device(ip);

    SettingsAttempt a;
    a.exitCode = r.exitCode;
    a.message = r.err;
    a.elapsed = r.elapsed;
    a.recordWrites = countUdp(after, 106);
    a.audioWrites = countUdp(after, 128);

    nlohmann::json expected = before["netParams"];
    expected["dns"] = newDns;
    std::ostringstream detail;
    const bool unchanged =
        after["netParams"] == before["netParams"] && after["audio"] == before["audio"];
    const bool asAsked = after["netParams"] == expected && after["audio"] == before["audio"];
    if (!unchanged && !asAsked) {
        detail << "device holds " << after["netParams"].dump() << " audio " << after["audio"]
               << ", expected " << expected.dump() << " audio " << before["audio"];
    }
    if (a.recordWrites > 1 || a.audioWrites > 1)
        detail << " writes: record " << a.recordWrites << ", audio " << a.audioWrites;

    using V = SettingsAttempt::Verdict;
    if (!detail.str().empty()) {
        a.verdict = V::Damaged;
    } else if (r.exitCode == 0) {
        if (asAsked && a.recordWrites == 1 && a.audioWrites == 1) {
            a.verdict = V::Completed;
        } else {
            a.verdict = V::Lost;
            detail << "exit 0, record writes " << a.recordWrites << ", audio writes "
                   << a.audioWrites;
        }
    } else if (r.exitCode == 1 && !r.err.empty() && unchanged && a.recordWrites == 0 &&
               a.audioWrites == 0) {
        a.verdict = V::FailedClean;
    } else {
        a.verdict = V::Damaged;
        detail << "exit " << r.exitCode << " with record writes " << a.recordWrites
               << ", audio writes " << a.audioWrites;
    }
    a.detail = detail.str();
    return a;
}

PreviewRun previewFor(const std::string& ip, const std::string& password,
                      std::chrono::milliseconds length) {
    PreviewRun run;
    RecordingNotifier notifier;
    auto renderer = std::make_unique<preview::HeadlessRenderer>();
    preview::HeadlessRenderer* view = renderer.get();
    const auto start = Clock::now();
    preview::CCamStreamClient client(
        protocol::makeLoginInfo(ip, protocol::kCameraCommandPort, u"admin",
                                text::fromUtf8(password), 0, 100),
        notifier, std::move(renderer));
    client.startPreview();
    run.started = client.threadsRunning() && client.reply().width > 0;
    if (run.started) {
        const auto end = start + length;
        if (view->waitForPictures(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()))) {
            run.firstPicture =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        }
        std::this_thread::sleep_until(end);
    }
    run.pictures = view->pictures();
    client.stop();
    const auto stats = client.stats();
    run.decoderFaults = stats.decoderFaults;
    run.receiveEnded = stats.receiveEnded;
    return run;
}

}  // namespace tarvo::test
