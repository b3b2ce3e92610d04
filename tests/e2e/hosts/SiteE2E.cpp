// A site through the command line: a plan by MAC imported from a spreadsheet's CSV, refused
// whole while any row cannot be carried out, then applied and compared with what answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "core/site/SiteFile.h"
#include "core/text/Reason.h"
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

    // One device of the plan is not there and one address is taken: nothing may be sent.
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
    ASSERT_EQ(result["problems"].size(), 2u) << refused.out;
    EXPECT_EQ(result["problems"][0]["line"], 4);
    EXPECT_EQ(result["problems"][1]["line"], 5);
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
// device's time-out rather than the stream's own 15 s.
TEST_F(SiteE2E, VerifyStoresFiguresSnapshotAndReasons) {
    auto good = cameraInHost(1, nlohmann::json::object());
    auto locked = cameraInHost(2, {{"loginRefused", true}});
    auto silent = cameraInHost(3, {{"video", {{"replySilent", true}}}});
    const auto started = std::chrono::steady_clock::now();
    const auto r = site({"verify", "--password", "pw", "--seconds", "1", "--timeout", "2",
                         "--search-seconds", "1"});
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    EXPECT_LT(took, std::chrono::seconds(8));
    std::map<std::string, nlohmann::json> byIp;
    for (const auto& d : nlohmann::json::parse(r.out)) byIp[d["ip"]] = d;
    ASSERT_EQ(byIp.size(), 3u) << r.out;
    const auto& pass = byIp[test::sandboxHostAddress(1)];
    EXPECT_TRUE(pass["ok"]) << pass;
    EXPECT_EQ(pass["figures"]["width"], 320);
    EXPECT_GT(pass["figures"]["fps"].get<double>(), 10.0) << pass;
    EXPECT_GT(pass["figures"]["kbps"].get<double>(), 0.0);
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
    EXPECT_EQ(actions["02:00:0A:FA:00:0C"].detail, "The device refused the user name or password");
    EXPECT_TRUE(actions["02:00:0A:FA:00:0D"].snapshot.empty());
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
