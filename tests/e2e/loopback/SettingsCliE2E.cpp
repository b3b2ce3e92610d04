// The settings sequences through tarvo-cli against the simulator: what goes out on the wire,
// byte for byte, and what the devices end up with.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "TarvoVersion.h"
#include "support/RunProcess.h"
#include "support/SharedSimTest.h"
#include "support/SimProcess.h"
#include "support/UniqueName.h"

using namespace tarvo;

namespace {

const char* kSettingsFleet = R"({"devices": [
  {"ip": "127.0.0.2", "type": 100, "name": "cam", "version": "v00.00.22.06", "password": "pw", "audio": 1,
   "netParams": {"mask": "255.0.0.0", "gateway": "127.0.0.1", "dns": "127.0.0.1", "httpPort": 65535,
                 "reserved": 4660, "dhcp": 0, "opaque": 3405691582}},
  {"ip": "127.0.0.3", "type": 175, "name": "decoder", "password": "pw", "audio": 1,
   "netParams": {"mask": "255.0.0.0", "gateway": "127.0.0.1", "dhcp": 1}},
  {"ip": "127.0.0.4", "type": 100, "version": "v00.00.21.06", "overlay": 1, "onvifSubStream": 2},
  {"ip": "127.0.0.5", "type": 89, "version": "v00.00.08.07", "resolution": 1},
  {"ip": "127.0.0.6", "type": 89, "version": "v00.00.08.08", "resolution": 0},
  {"ip": "127.0.0.7", "type": 100, "cloud": {"identity": "ID-7", "password": "old", "deviceId": -5}},
  {"ip": "127.0.0.8", "type": 181, "name": "nvr"},
  {"ip": "127.0.0.9", "type": 100, "name": "\u001b]0;owned\u0007\u001b[2J\u202ecam",
   "version": "v\u001b]0;X\u0007\u001b[2J\u202e",
   "cloud": {"identity": "hex:49441b5d35323b633b61476b3d07ff", "password": "\u001b[8mhidden"}},
  {"ip": "127.0.0.10", "type": 100, "replyDelayMs": 1500},
  {"ip": "127.0.5.20", "type": 100, "password": "pw"},
  {"ip": "127.1.5.20", "type": 100, "password": "pw"}
]})";

class SettingsCliE2E : public test::SharedSimTest<&kSettingsFleet> {
protected:
    void SetUp() override { sim->clear(true); }

    // `password` goes in the environment: a literal --password adds its warning to stderr.
    static test::ProcessResult cli(std::vector<std::string> args,
                                   const std::string& password = {}) {
        args.insert(args.begin(), TARVO_CLI_PATH);
        return test::runProcess(args, std::chrono::seconds(30),
                                {"LANG=en_US.UTF-8", "LC_ALL=", "TARVO_PASSWORD=" + password});
    }
    // UDP frames the device received with this command code, as hex.
    static std::vector<std::string> udpFrames(const std::string& ip, int command) {
        const nlohmann::json device = sim->device(ip);
        std::vector<std::string> out;
        for (const auto& f : device["received"]) {
            if (f["transport"] == "udp" && f["command"] == command) out.push_back(f["hex"]);
        }
        return out;
    }
};

}  // namespace

TEST_F(SettingsCliE2E, NetGetShowsTheDeviceRecord) {
    const auto r = cli({"net", "get", "127.0.0.2", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto values = nlohmann::json::parse(r.out)["values"];
    EXPECT_EQ(values["ip"], "127.0.0.2");
    EXPECT_EQ(values["mask"], "255.0.0.0");
    EXPECT_EQ(values["httpPort"], 65535);
    EXPECT_EQ(values["audio"], true);
    EXPECT_EQ(udpFrames("127.0.0.2", 99), std::vector<std::string>{"630000020600"});
    EXPECT_EQ(udpFrames("127.0.0.2", 129), std::vector<std::string>{"810000020600"});
    EXPECT_TRUE(udpFrames("127.0.0.2", 106).empty());  // get cancels
}

TEST_F(SettingsCliE2E, WrongPasswordSendsNoWrite) {
    const auto r = cli({"net", "set", "127.0.0.2", "--ip", "127.0.0.12"}, "nope");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Username and password do not match \n");
    const auto logins = udpFrames("127.0.0.2", 0);
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_EQ(logins[0],
              "00000002"
              "1e00"
              "61646d696e" +
                  std::string(14, '0') + "6e6f7065" + std::string(16, '0'));
    EXPECT_TRUE(udpFrames("127.0.0.2", 106).empty());
    EXPECT_TRUE(udpFrames("127.0.0.2", 128).empty());
}

TEST_F(SettingsCliE2E, GatewayOutsideTheSubnetIsRefused) {
    const auto r = cli({"net", "set", "127.0.0.2", "--ip", "192.168.2.10", "--mask",
                        "255.255.255.0", "--gateway", "192.168.1.1"},
                       "pw");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "The IP address and the gateway are not in the same subnet! Please check\n");
    EXPECT_TRUE(udpFrames("127.0.0.2", 106).empty());
}

TEST_F(SettingsCliE2E, AcceptedChangeWritesTheRecordAndCarriesFieldsBack) {
    // The device moves to its new loopback address and a new search finds it there.
    const auto r = cli({"net", "set", "127.0.0.2", "--password", "pw", "--ip", "127.0.0.12",
                        "--dns", "127.0.0.53", "--audio", "off"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto writes =
        udpFrames("127.0.0.12", 106);  // the device's record, now at its new address
    ASSERT_EQ(writes.size(), 1u);
    // 106, target 00 02, 34 bytes: address, mask, gateway, DNS, port FFFF, reserved 1234, DHCP 0,
    // opaque CAFEBABE — the last three exactly as the device sent them.
    EXPECT_EQ(writes[0],
              "6a0000022200"
              "7f00000c"
              "ff000000"
              "7f000001"
              "7f000035"
              "ffff"
              "3412"
              "00000000"
              "bebafeca");
    EXPECT_EQ(udpFrames("127.0.0.12", 128), std::vector<std::string>{"800000020a0000000000"});
    EXPECT_EQ(sim->device("127.0.0.12")["audio"], 0);

    const auto found = cli({"discover", "--seconds", "1", "--json"});
    bool atNewAddress = false;
    for (const auto& row : nlohmann::json::parse(found.out))
        atNewAddress |= row["ip"] == "127.0.0.12";
    EXPECT_TRUE(atNewAddress) << found.out;
    // Put it back for the other tests.
    ASSERT_EQ(cli({"net", "set", "127.0.0.12", "--password", "pw", "--ip", "127.0.0.2"}).exitCode,
              0);
}

// A set shows the values it wrote; one that changes nothing says so and sends nothing.
TEST_F(SettingsCliE2E, SetShowsWhatItWroteAndSendsNothingWhenNothingChanges) {
    const std::vector<std::string> gateway{"net", "set",       "127.0.0.2",  "--password",
                                           "pw",  "--gateway", "127.0.0.254"};
    auto r = cli(gateway);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("gateway: 127.0.0.254\n"), std::string::npos) << r.out;
    sim->clear(true);
    for (const auto& args :
         {gateway, std::vector<std::string>{"camera", "set", "127.0.0.4", "--overlay", "off",
                                            "--substream", "cif"}}) {
        r = cli(args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find("Nothing to change; nothing was sent\n"), std::string::npos) << r.out;
    }
    EXPECT_TRUE(udpFrames("127.0.0.2", 0).empty());  // not even the login
    EXPECT_TRUE(udpFrames("127.0.0.2", 106).empty());
    for (int command : {139, 141, 149}) EXPECT_TRUE(udpFrames("127.0.0.4", command).empty());
    ASSERT_EQ(
        cli({"net", "set", "127.0.0.2", "--password", "pw", "--gateway", "127.0.0.1"}).exitCode, 0);
}

TEST_F(SettingsCliE2E, ValuesNoDeviceCanUseAreRefusedBeforeAnythingIsSent) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--ip", "127.0.0.255", "--mask", "255.255.255.0"},
         "The IP address is the broadcast address of its subnet; no device can use it! Please "
         "check\n"},
        {{"--mask", "255.0.255.0"},
         "Invalid subnet mask: all ones first, then all zeros (e.g. 255.255.255.0)! Please "
         "check\n"},
        {{"--ip", "999.1.1.1"}, "The IP address is not a valid IPv4 address! Please check\n"},
        {{"--gateway", "abc"}, "The gateway is not a valid IPv4 address! Please check\n"}};
    for (const auto& [options, message] : cases) {
        std::vector<std::string> args{"net", "set", "127.0.0.2"};
        args.insert(args.end(), options.begin(), options.end());
        const auto r = cli(args, "pw");
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, message);
    }
    EXPECT_TRUE(udpFrames("127.0.0.2", 0).empty());  // not even the login
    EXPECT_TRUE(udpFrames("127.0.0.2", 106).empty());
    EXPECT_EQ(sim->device("127.0.0.2")["ip"], "127.0.0.2");
}

TEST_F(SettingsCliE2E, DecoderSwitchesAreSentAlthoughNotShown) {
    const auto r = cli({"net", "set", "127.0.0.3", "--password", "pw", "--dns", "127.0.0.53"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto writes = udpFrames("127.0.0.3", 106);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].substr(12 + 40, 8), "01000000");  // DHCP as the device had it
    EXPECT_EQ(udpFrames("127.0.0.3", 128), std::vector<std::string>{"800000030a0001000000"});
}

TEST_F(SettingsCliE2E, CameraOptionsReadAndWritten) {
    auto r = cli({"camera", "get", "127.0.0.4", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err,
              "Not supported: the camera's firmware is too old, please upgrade it to the latest "
              "version\n");  // and the options still show
    const auto values = nlohmann::json::parse(r.out)["values"];
    EXPECT_EQ(values["overlay"], "off");
    EXPECT_EQ(values["substream"], "cif");
    EXPECT_EQ(values["version"], "00.00.21.06");

    sim->clear(true);
    r = cli({"camera", "set", "127.0.0.4", "--substream", "d1", "--overlay", "on"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(udpFrames("127.0.0.4", 140), std::vector<std::string>{"8c0000040600"});
    EXPECT_EQ(udpFrames("127.0.0.4", 142), std::vector<std::string>{"8e0000040600"});
    EXPECT_EQ(udpFrames("127.0.0.4", 148), std::vector<std::string>{"940000040600"});
    EXPECT_EQ(udpFrames("127.0.0.4", 141), std::vector<std::string>{"8d0000040a0000000000"});
    EXPECT_EQ(udpFrames("127.0.0.4", 139), std::vector<std::string>{"8b0000040a0000000000"});
    EXPECT_EQ(udpFrames("127.0.0.4", 149), std::vector<std::string>{"950000040a0001000000"});
    EXPECT_TRUE(udpFrames("127.0.0.4", 144).empty());

    r = cli({"camera", "set", "127.0.0.4", "--substream", "cif"});
    EXPECT_EQ(udpFrames("127.0.0.4", 149).back(), "950000040a0002000000");
    EXPECT_EQ(sim->device("127.0.0.4")["onvifSubStream"], 2);
}

TEST_F(SettingsCliE2E, CameraOptionsThatCameTooLateAreNotShownAsTheCamerasOwn) {
    // The camera answers, but only after the sequence's wait: there is nothing of its own to show.
    const auto r = cli({"camera", "get", "127.0.0.10", "--json"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("The camera did not send its settings; nothing was changed"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("overlay"), std::string::npos) << r.out;
}

TEST_F(SettingsCliE2E, ResolutionOnlyForNewerType89Cameras) {
    auto r = cli({"camera", "set", "127.0.0.5", "--resolution", "all"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(udpFrames("127.0.0.5", 144).empty());

    r = cli({"camera", "get", "127.0.0.6", "--json"});
    EXPECT_EQ(nlohmann::json::parse(r.out)["values"]["resolutionChangeable"], true);
    EXPECT_EQ(nlohmann::json::parse(r.out)["values"]["resolution"], "all");
    r = cli({"camera", "set", "127.0.0.6", "--resolution", "1mp"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(udpFrames("127.0.0.6", 144), std::vector<std::string>{"900000060a0001000000"});
    EXPECT_EQ(sim->device("127.0.0.6")["resolution"], 1);
}

TEST_F(SettingsCliE2E, CloudPasswordFitsSixtyThreeCharacters) {
    const std::string fits(63, 'k');
    auto r = cli({"cloud", "set", "127.0.0.7", "--cloud-password", fits});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto device = sim->device("127.0.0.7");
    EXPECT_EQ(device["cloud"]["password"], fits);
    EXPECT_EQ(device["cloud"]["identity"], "ID-7");
    EXPECT_EQ(device["cloud"]["deviceId"], -5);
    const auto frames = udpFrames("127.0.0.7", 123);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].size(), 2u * 138);

    // Too long for the field: refused before anything is sent, not reported as done.
    sim->clear(true);
    r = cli({"cloud", "set", "127.0.0.7", "--cloud-password", std::string(64, 'x'), "--json"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(nlohmann::json::parse(r.out)["ok"], false);
    EXPECT_NE(r.err.find("The cloud password is too long"), std::string::npos) << r.err;
    EXPECT_TRUE(udpFrames("127.0.0.7", 124).empty());
    EXPECT_TRUE(udpFrames("127.0.0.7", 123).empty());
    EXPECT_EQ(sim->device("127.0.0.7")["cloud"]["password"], fits);

    r = cli({"cloud", "get", "127.0.0.7", "--json"});
    EXPECT_EQ(nlohmann::json::parse(r.out)["values"]["deviceId"], -5);

    // The new password may come from a file instead of the command line.
    const auto file =
        std::filesystem::temp_directory_path() / ("cloud-" + test::uniqueName() + ".txt");
    std::ofstream(file) << "from-a-file\n";
    r = cli({"cloud", "set", "127.0.0.7", "--cloud-password-file", file.string()});
    std::filesystem::remove(file);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(sim->device("127.0.0.7")["cloud"]["password"], "from-a-file");
}

TEST_F(SettingsCliE2E, FixMacAndTypeRules) {
    auto r = cli({"camera", "fix-mac", "127.0.0.2"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "The camera has a new MAC address; it takes effect after a reboot\n");
    EXPECT_EQ(udpFrames("127.0.0.2", 143), std::vector<std::string>{"8f0000020a0000000000"});

    r = cli({"net", "get", "127.0.0.8"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("NVR"), std::string::npos);
    r = cli({"net", "get", "127.0.0.99", "--search-seconds", "0.5"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("did not answer"), std::string::npos);
}

TEST_F(SettingsCliE2E, DeviceTextIsPrintedEscapedAndBadUtf8KeepsTheJson) {
    // Names, versions and cloud texts that would retitle the terminal, clear it, write the
    // clipboard or hide text, one of them with a byte that is not GB18030.
    const auto found = cli({"discover", "--seconds", "1"});
    EXPECT_NE(found.out.find("\\x1b]0;owned\\x07\\x1b[2J\\u202ecam"), std::string::npos)
        << found.out;
    const auto version = cli({"version", "127.0.0.9"});
    EXPECT_EQ(version.out, "\\x1b]0;X\\x07\\x1b[2J\\u202e\n");
    const auto cloud = cli({"cloud", "get", "127.0.0.9"});
    ASSERT_EQ(cloud.exitCode, 0) << cloud.err;
    EXPECT_NE(cloud.out.find("identity: ID\\x1b]52;c;aGk=\\x07\xEF\xBF\xBD\n"), std::string::npos);
    EXPECT_NE(cloud.out.find("cloudPassword: \\x1b[8mhidden\n"), std::string::npos);
    for (const auto& out : {found.out, version.out, cloud.out})
        EXPECT_EQ(out.find('\x1b'), std::string::npos) << out;

    // A file name that is not UTF-8: the upload's result still comes, the bad byte replaced.
    const auto file =
        std::filesystem::temp_directory_path() / ("rootfs-" + test::uniqueName() + "\xff.bin");
    std::ofstream(file) << std::string(5000, 'f');
    const auto upload =
        cli({"upgrade", "--no-wait", "--nvr", "127.0.0.8", file.string(), "--json"});
    std::filesystem::remove(file);
    EXPECT_EQ(upload.exitCode, 0) << upload.err;
    std::string shown = file.string();
    shown.replace(shown.find('\xff'), 1, "\xEF\xBF\xBD");
    EXPECT_EQ(nlohmann::json::parse(upload.out)["file"], shown) << upload.out;
}

TEST_F(SettingsCliE2E, WritesThatOtherAddressesWouldTakeAreRefused) {
    // Both end in .5.20, the two octets a UDP command carries: a write to one reaches both.
    for (const std::vector<std::string>& write :
         {std::vector<std::string>{"net", "set", "127.0.5.20", "--password", "pw", "--dns",
                                   "127.0.0.9"},
          {"camera", "set", "127.0.5.20", "--overlay", "off"},
          {"camera", "fix-mac", "127.1.5.20"}}) {
        const auto r = cli(write);
        EXPECT_EQ(r.exitCode, 1) << write[0];
        EXPECT_NE(r.err.find("127.1.5.20"), std::string::npos) << r.err;
    }
    const auto get = cli({"net", "get", "127.0.5.20"});
    EXPECT_EQ(get.exitCode, 0);
    EXPECT_NE(get.err.find("may come from any of them"), std::string::npos) << get.err;
    for (const char* ip : {"127.0.5.20", "127.1.5.20"}) {
        for (const int command : {106, 128, 141, 139, 149, 143})
            EXPECT_TRUE(udpFrames(ip, command).empty());
    }
}

// --help and --version answer and end without opening a window or searching; command-line
// mistakes are named.
TEST_F(SettingsCliE2E, HelpVersionAndMistakesSendNothing) {
    const std::string version = std::string(" ") + kVersion + "\n";
    std::vector<std::pair<std::vector<std::string>, std::string>> runs{
        {{TARVO_CLI_PATH, "--version"}, "tarvo-cli" + version},
        {{TARVO_SIM_PATH, "--version"}, "tarvo-sim" + version}};
#ifdef TARVO_GUI_PATH
    runs.push_back({{TARVO_GUI_PATH, "--version"}, "tarvo" + version});
    runs.push_back({{TARVO_GUI_PATH, "--help"}, ""});
#endif
    for (const auto& [argv, expected] : runs) {
        const auto r =
            test::runProcess(argv, std::chrono::seconds(30), {"QT_QPA_PLATFORM=offscreen"});
        EXPECT_EQ(r.exitCode, 0) << argv[0] << " " << argv[1] << ": " << r.err;
        if (expected.empty())
            EXPECT_NE(r.out.find("--version"), std::string::npos) << r.out;
        else
            EXPECT_EQ(r.out, expected);
    }
    const auto unknown = cli({"frobnicate"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown command frobnicate"), std::string::npos) << unknown.err;
    const auto port = cli({"reboot", "127.0.0.2", "--port", "abc"});
    EXPECT_EQ(port.exitCode, 2);
    EXPECT_NE(port.err.find("--port abc: not a number"), std::string::npos) << port.err;
    EXPECT_TRUE(udpFrames("127.0.0.2", 10).empty());
}
