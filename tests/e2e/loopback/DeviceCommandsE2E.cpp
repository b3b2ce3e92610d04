// The TCP procedures against the simulator: login, reboot and the version check, through the
// core and through tarvo-cli.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/protocol/DeviceCommands.h"
#include "core/text/Messages.h"
#include "core/text/TextConvert.h"
#include "core/upgrade/FirmwareUploader.h"
#include "support/RecordingNotifier.h"
#include "support/RunProcess.h"
#include "support/SharedSimTest.h"
#include "support/SimProcess.h"

using namespace tarvo;
using namespace std::chrono_literals;
using test::RecordingNotifier;

namespace {

const char* kFleet = R"({"devices": [
  {"ip": "127.0.0.2", "type": 100, "name": "Cam", "version": "v00.00.22.06"},
  {"ip": "127.0.0.3", "type": 100, "name": "Locked", "loginRefused": true},
  {"ip": "127.0.0.4", "type": 100, "version": "v00.00.21.06"},
  {"ip": "127.0.0.5", "type": 100, "version": "v00.00.23.06"},
  {"ip": "127.0.0.6", "type": 100, "version": "v00.00.01.07"},
  {"ip": "127.0.0.7", "type": 100, "version": "v0.00.22.6"},
  {"ip": "127.0.0.8", "type": 100, "tcpSilent": true},
  {"ip": "127.0.0.9", "type": 100, "noTcp": true},
  {"ip": "127.0.0.10", "type": 100, "user": "operator12345", "password": "secret"},
  {"ip": "127.0.0.11", "type": 100, "version": "v00.00.22.06"},
  {"ip": "127.0.0.12", "type": 181, "password": "nvrpw"}
]})";

class DeviceCommandsE2E : public test::SharedSimTest<&kFleet> {
protected:
    void SetUp() override { sim->clear(true); }

    static protocol::LoginInfo login(const std::string& ip, std::u16string user = u"admin",
                                     std::u16string password = u"") {
        return protocol::makeLoginInfo(ip, 5505, user, password, 0, 100);
    }
    static std::vector<std::string> framesOf(const std::string& ip, int command) {
        std::vector<std::string> out;
        const nlohmann::json device = sim->device(ip);
        for (const auto& f : device["received"]) {
            if (f["transport"] == "tcp" && f["command"] == command) out.push_back(f["hex"]);
        }
        return out;
    }

    RecordingNotifier notifier;
};

std::string cli() {
    return TARVO_CLI_PATH;
}

}  // namespace

TEST_F(DeviceCommandsE2E, LoginAcceptedSendsTheThirtyByteFrame) {
    EXPECT_TRUE(protocol::loginCheck(login("127.0.0.2")).report(notifier));
    EXPECT_TRUE(notifier.entries().empty());
    const auto frames = framesOf("127.0.0.2", 0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0],
              "000b211c1e00"
              "61646d696e" +
                  std::string(14, '0') + std::string(24, '0'));
    const auto logins = sim->device("127.0.0.2")["logins"];
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_TRUE(logins[0]["accepted"].get<bool>());
}

TEST_F(DeviceCommandsE2E, LoginRefusedSaysControlFailed) {
    EXPECT_FALSE(protocol::loginCheck(login("127.0.0.3")).report(notifier));
    EXPECT_EQ(notifier.texts(), std::vector<std::u16string>{u"Control failed"});
    EXPECT_FALSE(notifier.entries()[0].systemError);
    // Wrong password on a device that would accept the right one.
    notifier.clear();
    EXPECT_FALSE(protocol::loginCheck(login("127.0.0.2", u"admin", u"wrong")).report(notifier));
    EXPECT_EQ(notifier.texts(), std::vector<std::u16string>{u"Control failed"});
}

TEST_F(DeviceCommandsE2E, LongUserNamesAreCutToTwelveBytes) {
    // The device knows the user by its first twelve bytes, as every client sends it.
    EXPECT_TRUE(
        protocol::loginCheck(login("127.0.0.10", u"operator12345", u"secret")).report(notifier));
    const auto frames = framesOf("127.0.0.10", 0);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].substr(12, 24), "6f70657261746f7231323334");  // "operator1234", no NUL
}

TEST_F(DeviceCommandsE2E, RefusedConnectionFailsFast) {
    // Fast means well inside the 4 s connect wait, with room for a loaded machine.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(protocol::loginCheck(login("127.0.0.9")).report(notifier));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3000ms);
    ASSERT_EQ(notifier.entries().size(), 1u);
    EXPECT_TRUE(notifier.entries()[0].systemError);
    EXPECT_EQ(notifier.entries()[0].text, u"Connect to IP camera failed !");

    notifier.clear();
    std::u16string version;
    const auto again = std::chrono::steady_clock::now();
    EXPECT_FALSE(protocol::checkCameraVersion("127.0.0.9", 5505, version).report(notifier));
    EXPECT_LT(std::chrono::steady_clock::now() - again, 3000ms);
    EXPECT_EQ(notifier.texts(), std::vector<std::u16string>{u"连接摄像机失败"});
}

TEST_F(DeviceCommandsE2E, RebootOnlyAfterAnAcceptedLogin) {
    EXPECT_FALSE(protocol::rebootDevice(login("127.0.0.3")).report(notifier));
    EXPECT_EQ(notifier.texts(), std::vector<std::u16string>{u"Control failed"});
    EXPECT_TRUE(framesOf("127.0.0.3", 130).empty());
    EXPECT_EQ(sim->device("127.0.0.3")["reboots"], 0);

    notifier.clear();
    EXPECT_TRUE(protocol::rebootDevice(login("127.0.0.2")).report(notifier));
    EXPECT_TRUE(notifier.entries().empty());
    EXPECT_EQ(framesOf("127.0.0.2", 130), std::vector<std::string>{"820000000600"});
    EXPECT_EQ(sim->device("127.0.0.2")["reboots"], 1);
}

TEST_F(DeviceCommandsE2E, VersionRulesAndTheirMessages) {
    struct Case {
        const char* ip;
        bool ok;
        std::u16string version;
        std::vector<std::u16string> messages;
    };
    const std::vector<Case> cases{
        {"127.0.0.2", true, u"00.00.22.06", {}},
        {"127.0.0.4", false, u"00.00.21.06", {u"操作不支持，摄像机版本太低，请升级到最新版本"}},
        {"127.0.0.5", true, u"00.00.23.06", {}},
        {"127.0.0.6", true, u"00.00.01.07", {}},
        {"127.0.0.7", false, u"", {u"摄像机版本信息出错"}},
    };
    for (const auto& c : cases) {
        notifier.clear();
        std::u16string version = u"stale";
        EXPECT_EQ(protocol::checkCameraVersion(c.ip, 5505, version).report(notifier), c.ok) << c.ip;
        EXPECT_EQ(version, c.version) << c.ip;
        EXPECT_EQ(notifier.texts(), c.messages) << c.ip;
        EXPECT_EQ(framesOf(c.ip, 103), std::vector<std::string>{"670000000600"}) << c.ip;
    }
    std::u16string version;
    EXPECT_FALSE(protocol::checkCameraVersion("", 5505, version).report(notifier));
}

TEST_F(DeviceCommandsE2E, SilentDeviceTimesOutWithItsMessage) {
    const auto start = std::chrono::steady_clock::now();
    std::u16string version;
    EXPECT_FALSE(protocol::checkCameraVersion("127.0.0.8", 5505, version).report(notifier));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 4500ms);
    EXPECT_LT(took, 7000ms);
    EXPECT_EQ(notifier.texts(), std::vector<std::u16string>{u"获取摄像机版本信息失败"});

    // A login there is not silent either: the address and the wait are named.
    const auto r = test::runProcess({cli(), "login", "127.0.0.8"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "设备 127.0.0.8 在 5 秒内没有应答\n");
}

// Devices that announce more than they send, on a connection they keep open: the reply ends
// where the bytes the operation reads have come.
TEST_F(DeviceCommandsE2E, RepliesEndWhereTheirFieldsArriveWhateverLengthTheyAnnounce) {
    for (const char* length : {"30", "2048"}) {
        // An accepted login of 9 bytes.
        sim->set("127.0.0.11", std::string("tcpReplyCut=9,tcpReplyLength=") + length);
        EXPECT_TRUE(protocol::loginCheck(login("127.0.0.11")).report(notifier)) << length;
    }
    EXPECT_EQ(test::runProcess({cli(), "login", "127.0.0.11"}).exitCode, 0);
    struct Silent final : upgrade::UploadObserver {
        void uploadStarted(int, std::uint32_t) override {}
        void uploadProgress(int, std::uint64_t) override {}
        void uploadFinished(const upgrade::UploadOutcome&) override {}
    } observer;
    for (const char* length : {"64", "260"}) {
        sim->set("127.0.0.11", std::string("tcpReplyCut=-1,tcpReplyLength=") + length);
        std::u16string version;
        EXPECT_TRUE(protocol::checkCameraVersion("127.0.0.11", 5505, version).report(notifier))
            << length;
        EXPECT_EQ(version, u"00.00.22.06");
        // The upgrade dialog's query: its package rule needs the version.
        upgrade::FirmwareUploader uploader(upgrade::cameraUpgrade(), observer);
        uploader.SetTarget(5505, "127.0.0.11");
        ASSERT_TRUE(uploader.connect());
        uploader.QueryFirmwareVersion();
        EXPECT_EQ(uploader.currentVersion(), u"v00.00.22.06") << length;
    }
    EXPECT_TRUE(notifier.entries().empty());
    sim->set("127.0.0.11", "tcpReplyLength=-1");
}

// What the window would never send, the command line does not send either: the type comes from
// the search (or --type) and brings the window's rules and the NVR's port.
TEST_F(DeviceCommandsE2E, CliAppliesTheWindowsTypeRulesAndPorts) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"reboot", "127.0.0.12", "--port", "5500", "--password", "nvrpw"},
             {"version", "127.0.0.12", "--port", "5500"},
             {"reboot", "127.0.0.2", "--type", "181"}}) {
        std::vector<std::string> argv{cli()};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = test::runProcess(argv);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_NE(r.err.find(" 是 NVR（类型 "), std::string::npos) << r.err;
    }
    EXPECT_TRUE(framesOf("127.0.0.12", 130).empty());
    EXPECT_TRUE(framesOf("127.0.0.12", 103).empty());
    EXPECT_TRUE(sim->device("127.0.0.12")["logins"].empty());
    EXPECT_TRUE(framesOf("127.0.0.2", 0).empty());

    // An NVR's own port without --port.
    auto r = test::runProcess({cli(), "login", "127.0.0.12", "--password", "nvrpw"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // An address nobody answers from is said to be silent, not a failed login.
    r = test::runProcess({cli(), "reboot", "127.0.0.99", "--search-seconds", "0.5"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("没有应答"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Connect to IP camera failed"), std::string::npos) << r.err;
}

TEST_F(DeviceCommandsE2E, CliExitStatusMessagesAndJson) {
    auto r = test::runProcess({cli(), "login", "127.0.0.2"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "登录成功\n");

    r = test::runProcess({cli(), "login", "127.0.0.3", "--user", "admin"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Control failed\n" + text::toUtf8(text::msg::kLoginRefusedNote) + "\n");

    r = test::runProcess({cli(), "--json", "login", "127.0.0.9"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Connect to IP camera failed !\n");
    const auto json = nlohmann::json::parse(r.out);
    EXPECT_EQ(json["ok"], false);
    EXPECT_EQ(json["messages"][0]["kind"], "error");
    EXPECT_EQ(json["messages"][0]["text"], "Connect to IP camera failed !");

    r = test::runProcess({cli(), "version", "127.0.0.2"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "00.00.22.06\n");
    r = test::runProcess({cli(), "version", "127.0.0.4", "--json"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "操作不支持，摄像机版本太低，请升级到最新版本\n");
    EXPECT_EQ(nlohmann::json::parse(r.out)["version"], "00.00.21.06");
    r = test::runProcess({cli(), "version", "127.0.0.4"}, 30s, {"LANG=en_US.UTF-8"});
    EXPECT_EQ(r.err,
              "Not supported: the camera's firmware is too old, please upgrade it to the "
              "latest version\n");

    r = test::runProcess({cli(), "reboot", "127.0.0.2", "--port", "5505"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "设备正在重启\n");
    EXPECT_EQ(sim->device("127.0.0.2")["reboots"], 1);

    r = test::runProcess({cli(), "reboot"});
    EXPECT_EQ(r.exitCode, 2);  // usage error: no address
}

// Every command gives one JSON object with --json, when the device is not there as well.
TEST_F(DeviceCommandsE2E, CliJsonResultOnEveryOutcome) {
    const std::string png = ::testing::TempDir() + "/tarvo-absent.png";
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"net", "get", "127.0.0.99", "--search-seconds", "0.5"},
             {"snapshot", "127.0.0.99", "--out", png},
             {"nvr-resolution", "127.0.0.99", "--search-seconds", "0.5"}}) {
        std::vector<std::string> argv{cli(), "--json"};
        argv.insert(argv.end(), args.begin(), args.end());
        const auto r = test::runProcess(argv);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        const auto json = nlohmann::json::parse(r.out, nullptr, false);
        EXPECT_TRUE(json.is_object() && !json.value("ok", true) &&
                    json.value("ip", "") == "127.0.0.99")
            << args[0] << ": " << r.out;
    }
    // A command line that does not parse, too.
    const auto r = test::runProcess({cli(), "--json", "snapshot", "127.0.0.99", "--out", "x.gif"});
    EXPECT_EQ(r.exitCode, 2);
    const auto json = nlohmann::json::parse(r.out, nullptr, false);
    EXPECT_TRUE(json.is_object() && json.value("exitCode", 0) == 2 &&
                json.value("command", "") == "snapshot")
        << r.out;
}

// Eight devices, one search: the batch learns every type from the same replies.
TEST_F(DeviceCommandsE2E, CliRebootsSeveralDevicesWithAResultEachAfterOneSearch) {
    const std::vector<std::string> ips{"127.0.0.2", "127.0.0.3", "127.0.0.4",  "127.0.0.5",
                                       "127.0.0.6", "127.0.0.7", "127.0.0.10", "127.0.0.11"};
    std::vector<std::string> argv{cli(), "--json", "reboot"};
    argv.insert(argv.end(), ips.begin(), ips.end());
    const auto r = test::runProcess(argv);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    std::istringstream lines(r.out);
    std::vector<std::pair<std::string, bool>> results;
    for (std::string line; std::getline(lines, line);) {
        const auto json = nlohmann::json::parse(line);
        results.emplace_back(json["ip"], json["ok"]);
    }
    ASSERT_EQ(results.size(), ips.size()) << r.out;
    for (std::size_t i = 0; i < ips.size(); ++i) {
        EXPECT_EQ(results[i].first, ips[i]);
        EXPECT_EQ(results[i].second, ips[i] != "127.0.0.3" && ips[i] != "127.0.0.10") << ips[i];
    }
    EXPECT_EQ(sim->device("127.0.0.11")["reboots"], 1);
    EXPECT_EQ(sim->device("127.0.0.3")["reboots"], 0);
    int searches = 0;
    // A device that refused the login kept its frames (a reboot forgets them).
    const nlohmann::json refused = sim->device("127.0.0.3");
    for (const auto& f : refused["received"]) searches += f["command"] == 10 ? 1 : 0;
    EXPECT_EQ(searches, 1);
}

// A password kept out of `ps`: from the environment, a file (ahead of the environment) or
// standard input; never printed back, and an unusable source stops the command before it sends.
TEST_F(DeviceCommandsE2E, CliTakesThePasswordOffTheCommandLineAndNeverShowsIt) {
    const std::vector<std::string> login{cli(),    "--json", "login",  "127.0.0.10",
                                         "--type", "100",    "--user", "operator12345"};
    const auto with = [&](std::vector<std::string> extra) {
        extra.insert(extra.begin(), login.begin(), login.end());
        return extra;
    };
    const std::string file = ::testing::TempDir() + "tarvo-password";
    std::ofstream(file) << "secret\r\nnot this line\n";
    ::chmod(file.c_str(), 0600);
    std::vector<std::string> piped{"/bin/sh", "-c", R"(printf 'secret\n' | "$0" "$@")"};
    piped.insert(piped.end(), login.begin(), login.end());
    piped.insert(piped.end(), {"--password", "-"});
    const test::ProcessResult accepted[] = {
        test::runProcess(login, 30s, {"TARVO_PASSWORD=secret"}),
        test::runProcess(with({"--password-file", file}), 30s, {"TARVO_PASSWORD=wrong"}),
        test::runProcess(piped)};
    for (const auto& r : accepted) {
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("\"ok\":true"), std::string::npos) << r.out;
        EXPECT_EQ((r.out + r.err).find("secret"), std::string::npos) << r.out << r.err;
    }
    const auto twoSources =
        test::runProcess(with({"--password", "secret", "--password-file", file}));
    EXPECT_EQ(twoSources.exitCode, 2) << twoSources.err;
    EXPECT_EQ(twoSources.err.find("secret"), std::string::npos) << twoSources.err;
    const auto unreadable = test::runProcess(with({"--password-file", file + ".missing"}));
    EXPECT_EQ(unreadable.exitCode, 2);
    EXPECT_NE(unreadable.err.find("无法读取"), std::string::npos) << unreadable.err;
    EXPECT_EQ(sim->device("127.0.0.10")["logins"].size(), 3u);
}

// Each refusal names its own cause, and none of them reaches the device.
TEST_F(DeviceCommandsE2E, CliNamesTheRealCause) {
    const auto run = [](std::vector<std::string> args) {
        args.insert(args.begin(), cli());
        return test::runProcess(args, 30s, {"LANG=en_US.UTF-8", "LC_ALL="});
    };
    const auto says = [](const test::ProcessResult& r, const std::string& text) {
        return r.err.find(text) != std::string::npos;
    };
    const std::string dir = ::testing::TempDir();
    const std::string package = dir + "/IPC_update_00.00.23.06.img";
    std::ofstream(package) << "firmware";

    auto r = run({"upgrade", "127.0.0.2", dir + "/nosuchfile.img"});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_TRUE(says(r, "nosuchfile.img does not exist")) << r.err;
    r = run({"upgrade", package});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(says(r, "address is missing")) << r.err;
    // Frame A's name field holds 127 bytes and its terminator; a longer name would go out empty.
    const std::string longName = dir + "/IPC_update_00.00.23.06" + std::string(120, 'x');
    std::ofstream(longName) << "firmware";
    r = run({"upgrade", "127.0.0.2", longName});
    EXPECT_EQ(r.exitCode, 5);
    EXPECT_TRUE(says(r, "name is too long")) << r.err;
    r = run({"record", "127.0.0.2", "--seconds", "1", "--out", dir + "/gate.avi"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(says(r, ".mp4, .mkv or .ts")) << r.err;
    EXPECT_TRUE(sim->device("127.0.0.2")["logins"].empty());

    r = run({"login", "127.0.0.3", "--password", "x"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(says(r, "visible to other users")) << r.err;
    EXPECT_TRUE(says(r, "Control failed\nThe device refused the user name or password\n")) << r.err;
    r = run({"snapshot", "127.0.0.99", "--out", dir + "/absent.png"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(says(r, "did not answer the search")) << r.err;
    EXPECT_FALSE(says(r, "--type")) << r.err;

    // Nobody answers: an empty list, exit status 0, and where it was asked.
    sim->set("all", "dropUdp=true");
    r = run({"discover", "--seconds", "0.3"});
    sim->set("all", "dropUdp=false");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(says(r, "No device answered; interfaces searched: lo 127.0.0.1")) << r.err;
}
