// A site through the command line: a plan by MAC imported from a spreadsheet's CSV, refused
// whole while any row cannot be carried out, then applied and compared with what answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "core/site/SiteFile.h"
#include "core/text/Messages.h"
#include "core/text/Reason.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "support/RunProcess.h"
#include "support/Sandbox.h"
#include "support/SimProcess.h"
#include "support/UniqueName.h"

using namespace tarvo;

namespace {

std::unique_ptr<test::SimProcess> simInHost(int k) {
    test::SimOptions options;
    options.host = k;
    nlohmann::json device{{"ip", test::sandboxHostAddress(k)},
                          {"type", 100},
                          {"password", "pw"},
                          {"netParams", {{"mask", "255.255.255.0"}, {"gateway", "10.250.0.1"}}}};
    return std::make_unique<test::SimProcess>(nlohmann::json{{"devices", {device}}}, options);
}

// Frames the device received besides searches.
int commandsSeen(const test::SimProcess& sim, int k) {
    int count = 0;
    const nlohmann::json device = sim.device(test::sandboxHostAddress(k));
    for (const auto& f : device["received"]) count += f["command"] != 10 ? 1 : 0;
    return count;
}

class SiteE2E : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("tarvo-site-e2e-" + test::uniqueName());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    test::ProcessResult site(std::vector<std::string> args) {
        args.insert(args.begin(),
                    {TARVO_CLI_PATH, "--json", "site", "--site", file("s.tarvo-site")});
        return test::runProcess(args, std::chrono::seconds(60), {"LANG=en_US.UTF-8", "LC_ALL="});
    }
    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    std::string writePlan(const std::string& name, const std::string& rows) {
        // As LibreOffice saves it: BOM, semicolons, CRLF, Chinese header.
        std::ofstream(file(name), std::ios::binary)
            << "\xEF\xBB\xBFMAC地址;IP地址;子网掩码;网关;名称\r\n"
            << rows;
        return file(name);
    }
    std::map<std::string, nlohmann::json> statusByMac() {
        const auto r = site({"status", "--seconds", "1"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::map<std::string, nlohmann::json> out;
        for (const auto& d : nlohmann::json::parse(r.out)) out[d["mac"]] = d;
        return out;
    }

    std::filesystem::path dir_;
};

}  // namespace

TEST_F(SiteE2E, PlanImportDryRunApplyAndStatus) {
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.250.0.31/24", "dev", "eth0"}), 0);
    ASSERT_EQ(test::runInHost(2, {"ip", "addr", "add", "10.250.0.32/24", "dev", "eth0"}), 0);
    auto one = simInHost(1);
    auto two = simInHost(2);
    auto three = simInHost(3);
    const std::string mac1 = "02-00-0A-FA-00-0B";  // as labels print them
    const std::string mac2 = "0200.0afa.000c";

    // One device of the plan is not there (no error: left for later) and one address is taken
    // (an error of the plan): nothing may be sent.
    const std::string good = mac1 + ";10.250.0.31;255.255.255.0;10.250.0.1;东门\r\n" + mac2 +
                             ";10.250.0.32;255.255.255.0;10.250.0.1;西门\r\n";
    ASSERT_EQ(site({"plan", "import",
                    writePlan("bad.csv", good + "02:00:0a:fa:00:30;10.250.0.40;;;\r\n" +
                                             "02:00:0a:fa:00:31;10.250.0.13;;;\r\n")})
                  .exitCode,
              0);
    const auto refused = site({"apply", "--password", "pw", "--search-seconds", "1"});
    EXPECT_EQ(refused.exitCode, 1) << refused.out;
    auto result = nlohmann::json::parse(refused.out);
    EXPECT_FALSE(result["sent"]);
    ASSERT_EQ(result["problems"].size(), 1u) << refused.out;
    EXPECT_EQ(result["problems"][0]["line"], 5);
    EXPECT_EQ(result["steps"][0]["result"],
              "Not sent: the batch holds devices that cannot be done");
    EXPECT_EQ(commandsSeen(*one, 1) + commandsSeen(*two, 2), 0);

    ASSERT_EQ(site({"plan", "import", writePlan("good.csv", good)}).exitCode, 0);
    const auto dry = site({"apply", "--dry-run", "--search-seconds", "1"});
    EXPECT_EQ(dry.exitCode, 0) << dry.out;
    result = nlohmann::json::parse(dry.out);
    ASSERT_EQ(result["steps"].size(), 2u);
    EXPECT_EQ(result["steps"][0]["ip"], test::sandboxHostAddress(1));
    EXPECT_EQ(result["steps"][0]["newIp"], "10.250.0.31");
    ASSERT_EQ(result["unplanned"].size(), 1u);
    EXPECT_EQ(result["unplanned"][0]["ip"], test::sandboxHostAddress(3));
    EXPECT_EQ(commandsSeen(*one, 1) + commandsSeen(*two, 2), 0);

    const auto applied = site({"apply", "--password", "pw", "--search-seconds", "1"});
    EXPECT_EQ(applied.exitCode, 0) << applied.out << applied.err;
    EXPECT_EQ(one->device("10.250.0.31")["netParams"]["gateway"], "10.250.0.1");

    three->stop();
    auto status = statusByMac();
    EXPECT_EQ(status["02:00:0A:FA:00:0B"]["state"], "in-place");
    EXPECT_EQ(status["02:00:0A:FA:00:0B"]["name"], "东门");
    EXPECT_EQ(status["02:00:0A:FA:00:0C"]["ip"], "10.250.0.32");
    EXPECT_EQ(status["02:00:0A:FA:00:0D"]["state"], "missing");
    EXPECT_EQ(status["02:00:0A:FA:00:0D"]["lastIp"], test::sandboxHostAddress(3));
}

// The plan puts cameras on the site's own network, which no interface of the computer is on: both
// are written together, found there by their MACs in one confirming search round, and marked as
// reached by search only.
TEST_F(SiteE2E, DevicesMoveOntoANetworkTheComputerIsNotOn) {
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.251.7.15/24", "dev", "eth0"}), 0);
    ASSERT_EQ(test::runInHost(2, {"ip", "addr", "add", "10.251.7.16/24", "dev", "eth0"}), 0);
    auto one = simInHost(1);
    auto two = simInHost(2);
    ASSERT_EQ(site({"plan", "import",
                    writePlan("site.csv",
                              "02:00:0a:fa:00:0b;10.251.7.15;255.255.255.0;10.251.7.1;A\r\n"
                              "02:00:0a:fa:00:0c;10.251.7.16;255.255.255.0;10.251.7.1;B\r\n")})
                  .exitCode,
              0);
    const auto r = site({"apply", "--password", "pw", "--search-seconds", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    const auto result = nlohmann::json::parse(r.out);
    ASSERT_EQ(result["steps"].size(), 2u) << r.out;
    for (const auto& step : result["steps"]) {
        EXPECT_TRUE(step["ok"]) << step;
        EXPECT_TRUE(step["searchOnly"]) << step;
        EXPECT_EQ(step["result"], "Changed") << step;
    }
    EXPECT_EQ(result["notApplied"], 0);
    // The search before the plan's check, the one the writes wait for, one confirming round.
    for (const auto& [sim, ip] :
         {std::pair{one.get(), "10.251.7.15"}, {two.get(), "10.251.7.16"}}) {
        const nlohmann::json device = sim->device(ip);
        EXPECT_EQ(device["netParams"]["gateway"], "10.251.7.1");
        int searches = 0;
        for (const auto& f : device["received"]) searches += f["command"] == 10 ? 1 : 0;
        EXPECT_LE(searches, 3) << ip;
    }
    auto status = statusByMac();
    EXPECT_EQ(status["02:00:0A:FA:00:0B"]["state"], "in-place");
    EXPECT_EQ(status["02:00:0A:FA:00:0B"]["ip"], "10.251.7.15");
    EXPECT_EQ(status["02:00:0A:FA:00:0C"]["state"], "in-place");
}

// A site commissioned over days: a camera not mounted yet and an NVR row do not hold back the
// camera that is there, unless the apply is strict; the exit status says something was left,
// and a refused move is kept in the site as a reason read in any language.
TEST_F(SiteE2E, DevicesAbsentTodayAreLeftForTheNextApply) {
    ASSERT_EQ(test::runInHost(1, {"ip", "addr", "add", "10.250.0.61/24", "dev", "eth0"}), 0);
    auto camera = simInHost(1);
    test::SimOptions nvrHost;
    nvrHost.host = 2;
    test::SimProcess nvr(
        nlohmann::json{{"devices", {{{"ip", test::sandboxHostAddress(2)}, {"type", 181}}}}},
        nvrHost);
    auto locked = simInHost(3);
    locked->set(test::sandboxHostAddress(3), "password=other");
    ASSERT_EQ(site({"plan", "import",
                    writePlan("days.csv",
                              "02:00:0a:fa:00:0b;10.250.0.61;;;cam\r\n"
                              "02:00:0a:fa:00:0c;10.250.0.62;;;nvr\r\n"
                              "02:00:0a:fa:00:0d;10.250.0.63;;;locked\r\n"
                              "02:00:0a:fa:00:40;10.250.0.64;;;not mounted\r\n")})
                  .exitCode,
              0);
    const auto strict = site({"apply", "--strict", "--password", "pw", "--search-seconds", "1"});
    EXPECT_EQ(strict.exitCode, 1) << strict.out;
    auto result = nlohmann::json::parse(strict.out);
    EXPECT_FALSE(result["sent"]);
    ASSERT_EQ(result["problems"].size(), 2u) << strict.out;
    EXPECT_EQ(result["problems"][0]["line"], 3);
    EXPECT_EQ(result["problems"][1]["line"], 5);
    EXPECT_EQ(commandsSeen(*camera, 1), 0);

    const auto r = site({"apply", "--password", "pw", "--search-seconds", "1"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    result = nlohmann::json::parse(r.out);
    EXPECT_TRUE(result["sent"]);
    EXPECT_EQ(result["notApplied"], 3);
    ASSERT_EQ(result["steps"].size(), 4u) << r.out;
    EXPECT_TRUE(result["steps"][0]["ok"]) << r.out;
    EXPECT_EQ(result["steps"][1]["result"], "NVRs and DVRs are not changed in a batch");
    EXPECT_EQ(result["steps"][3]["result"], "The device did not answer the search");
    EXPECT_FALSE(result["steps"][2]["ok"]);
    EXPECT_EQ(camera->device("10.250.0.61")["netParams"]["gateway"], "10.250.0.1");

    auto stored = site::SiteFile::open(file("s.tarvo-site"), false);
    std::map<std::string, site::ActionRecord> actions;
    for (auto& a : stored->actions()) actions[a.mac] = std::move(a);
    EXPECT_EQ(actions.size(), 2u);
    EXPECT_EQ(actions["02:00:0A:FA:00:0B"].outcome, "ok");
    EXPECT_EQ(actions["02:00:0A:FA:00:0D"].outcome, "failed");
    EXPECT_EQ(text::decodeReason(actions["02:00:0A:FA:00:0D"].detail).key, "AssignRefused")
        << actions["02:00:0A:FA:00:0D"].detail;
}

namespace {

std::unique_ptr<test::SimProcess> cameraInHost(int k, const nlohmann::json& settings) {
    test::SimOptions options;
    options.host = k;
    nlohmann::json device{{"ip", test::sandboxHostAddress(k)},
                          {"type", 100},
                          {"password", "pw"},
                          {"version", "v00.00.22.06"},
                          {"video", {{"width", 320}, {"height", 240}, {"fps", 25}, {"gop", 25}}}};
    device.update(settings);
    return std::make_unique<test::SimProcess>(nlohmann::json{{"devices", {device}}}, options);
}

}  // namespace

// A camera passes with its figures and snapshot stored in the site and its version observed; a
// refused login and a stream that never starts fail with their reasons, the latter within the
// device's time-out rather than the stream's own 15 s. How fast the pictures come is
// bench-site's figure: here any measured rate will do, the machine may be busy.
TEST_F(SiteE2E, VerifyStoresFiguresSnapshotAndReasons) {
    auto good = cameraInHost(1, nlohmann::json::object());
    auto locked = cameraInHost(2, {{"loginRefused", true}});
    auto silent = cameraInHost(3, {{"video", {{"replySilent", true}}}});
    auto dark = cameraInHost(4, {{"video", {{"scene", "black"}}}});
    const auto started = std::chrono::steady_clock::now();
    const auto r = site({"verify", "--password", "pw", "--seconds", "1", "--timeout", "2",
                         "--search-seconds", "1"});
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    // With the stream's own set-up time-out the silent camera alone would hold the run for 15 s
    // after the search; with the device's 2 s the whole run ends well before.
    EXPECT_LT(took, std::chrono::seconds(15));
    std::map<std::string, nlohmann::json> byIp;
    for (const auto& d : nlohmann::json::parse(r.out)) byIp[d["ip"]] = d;
    ASSERT_EQ(byIp.size(), 4u) << r.out;
    const auto& pass = byIp[test::sandboxHostAddress(1)];
    EXPECT_TRUE(pass["ok"]) << pass;
    EXPECT_EQ(pass["figures"]["width"], 320);
    EXPECT_GT(pass["figures"]["fps"].get<double>(), 0.0) << pass;
    EXPECT_GT(pass["figures"]["kbps"].get<double>(), 0.0);
    EXPECT_GT(pass["figures"]["contrast"].get<double>(), 20.0) << pass;
    // A camera whose picture is black streams well and still fails, saying why.
    const auto& black = byIp[test::sandboxHostAddress(4)];
    EXPECT_FALSE(black["ok"]) << black;
    EXPECT_EQ(black["reason"].get<std::string>().rfind("picture is black (brightness ", 0), 0u)
        << black;
    EXPECT_LT(black["figures"]["brightness"].get<double>(), 10.0) << black;
    EXPECT_EQ(byIp[test::sandboxHostAddress(2)]["reason"],
              "The device refused the user name or password");
    EXPECT_EQ(byIp[test::sandboxHostAddress(3)]["reason"],
              "the device did not answer the stream request");

    auto stored = site::SiteFile::open(file("s.tarvo-site"), false);
    std::map<std::string, site::ActionRecord> actions;
    for (auto& a : stored->actions()) actions[a.mac] = std::move(a);
    const auto& ok = actions["02:00:0A:FA:00:0B"];
    EXPECT_EQ(ok.kind, "verify");
    EXPECT_EQ(ok.outcome, "ok");
    EXPECT_EQ(ok.newValue, "v00.00.22.06");
    EXPECT_EQ(nlohmann::json::parse(ok.figures)["height"], 240);
    ASSERT_GT(ok.snapshot.size(), 2u);
    EXPECT_EQ(ok.snapshot[0], 0xFF);  // a JPEG
    EXPECT_EQ(ok.snapshot[1], 0xD8);
    EXPECT_EQ(actions["02:00:0A:FA:00:0C"].outcome, "failed");
    // Kept as its key: read in the language of whoever reads the site.
    EXPECT_EQ(text::decodeReason(actions["02:00:0A:FA:00:0C"].detail).key, "LoginRefusedNote");
    EXPECT_EQ(text::showStored(actions["02:00:0A:FA:00:0C"].detail),
              text::tr(text::msg::kLoginRefusedNote));
    EXPECT_TRUE(actions["02:00:0A:FA:00:0D"].snapshot.empty());
    const auto& darkAction = actions["02:00:0A:FA:00:0E"];
    EXPECT_EQ(darkAction.outcome, "failed");
    EXPECT_EQ(text::decodeReason(darkAction.detail).key, "PictureBlackFormat");
    EXPECT_FALSE(darkAction.snapshot.empty());  // what the camera sees is kept
    const auto known = stored->knownDevices();
    const auto camera = std::find_if(known.begin(), known.end(),
                                     [](const auto& d) { return d.mac == "02:00:0A:FA:00:0B"; });
    ASSERT_NE(camera, known.end());
    EXPECT_EQ(camera->version, "v00.00.22.06");
}

TEST_F(SiteE2E, CanaryThatComesBackWithItsOldVersionStopsTheBatch) {
    std::vector<std::unique_ptr<test::SimProcess>> sims;
    std::vector<std::string> ips;
    for (int k = 1; k <= 3; ++k) {
        sims.push_back(simInHost(k));
        ips.push_back(test::sandboxHostAddress(k));
        sims.back()->set(ips.back(), "version=v00.00.02.08");
    }
    const std::string package = file("IPC_update_00.00.03.08.img");
    std::ofstream(package, std::ios::binary) << std::string(100000, 'x');
    const auto upgrade = [&](const std::string& wait) {
        std::vector<std::string> args{TARVO_CLI_PATH, "--json", "upgrade"};
        args.insert(args.end(), ips.begin(), ips.end());
        args.insert(args.end(), {package, "--canary", "--wait", wait, "--password", "pw", "--site",
                                 file("s.tarvo-site")});
        return test::runProcess(args, std::chrono::seconds(90), {"LANG=en_US.UTF-8", "LC_ALL="});
    };
    const auto statuses = [](const std::string& out) {
        std::vector<std::string> seen;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            seen.push_back(nlohmann::json::parse(line)["status"]);
        return seen;
    };

    // The first device takes the package but keeps running its old firmware.
    auto r = upgrade("4");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(statuses(r.out),
              (std::vector<std::string>{"old-version", "not-started", "not-started"}));
    EXPECT_EQ(sims[0]->device(ips[0])["uploads"].size(), 1u);
    // Asked their versions for the package check, nothing more.
    for (int k = 1; k < 3; ++k) {
        const auto device = sims[k]->device(ips[k]);
        EXPECT_TRUE(device["uploads"].empty()) << k;
        EXPECT_TRUE(device["logins"].empty()) << k;
    }

    // Devices that run what they take: each comes back with the package's version.
    for (int k = 0; k < 3; ++k) sims[k]->set(ips[k], "uploadInstalls=true");
    r = upgrade("30");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(statuses(r.out), (std::vector<std::string>{"upgraded", "upgraded", "upgraded"}));

    const auto site = site::SiteFile::open(file("s.tarvo-site"), false);
    const auto actions = site->actions();
    ASSERT_EQ(actions.size(), 4u);
    EXPECT_EQ(actions[0].mac, "02:00:0A:FA:00:0B");
    EXPECT_EQ(actions[0].kind, "upgrade");
    EXPECT_EQ(actions[0].outcome, "failed");
    EXPECT_EQ(actions[0].oldValue, "v00.00.02.08");
    EXPECT_EQ(actions[0].newValue, "v00.00.02.08");
    EXPECT_EQ(actions[0].packageName, "IPC_update_00.00.03.08.img");
    EXPECT_EQ(actions[0].packageSha256.size(), 64u);
    // Written by an English run, kept as its key.
    EXPECT_EQ(text::decodeReason(actions[0].detail).key, "GuardOldVersionFormat");
    for (std::size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(actions[i].outcome, "ok");
        EXPECT_EQ(actions[i].oldValue, "v00.00.02.08");
        EXPECT_EQ(actions[i].newValue, "v00.00.03.08");
    }
    for (const auto& d : site->knownDevices()) EXPECT_EQ(d.version, "v00.00.03.08") << d.mac;
}
