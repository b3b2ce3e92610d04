// Firmware upload and NVR output resolution against the simulator, through the core and
// through tarvo-cli.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/sha.h>
}

#include "core/net/Socket.h"
#include "core/site/GuardedUpgrade.h"
#include "core/site/SiteFile.h"
#include "core/text/Messages.h"
#include "core/text/Reason.h"
#include "core/text/TextConvert.h"
#include "core/text/Translate.h"
#include "core/upgrade/FirmwareUploader.h"
#include "core/upgrade/NvrResolutionClient.h"
#include "support/FakeNvrPeer.h"
#include "support/RecordingNotifier.h"
#include "support/RunProcess.h"
#include "support/SharedSimTest.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

using namespace tarvo;
using namespace tarvo::upgrade;
using namespace std::chrono_literals;
using test::RecordingNotifier;

namespace {

const char* kUpgradeFleet = R"({"devices": [
  {"ip": "127.0.0.2", "type": 100, "version": "v00.00.02.08"},
  {"ip": "127.0.0.3", "type": 181, "version": "v8.9.1", "outputResolution": 4},
  {"ip": "127.0.0.4", "type": 100, "version": "v00.00.02.08", "uploadResetAfter": 40000},
  {"ip": "127.0.0.5", "type": 100, "version": "v00.00.02.08", "uploadStallAfter": 0},
  {"ip": "127.0.0.6", "type": 181, "uploadRefused": true},
  {"ip": "127.0.0.7", "type": 181, "outputResolution": 6},
  {"ip": "127.0.0.8", "type": 181, "noTcp": true},
  {"ip": "127.0.0.9", "type": 100, "version": "v00.00.02.08", "uploadNoAnswer": true},
  {"ip": "127.0.0.10", "type": 100, "version": "v00.00.02.08", "uploadReadRate": 2000000},
  {"ip": "127.0.0.11", "type": 100, "version": "v00.00.02.08"},
  {"ip": "127.0.0.12", "type": 100, "version": "v00.00.02.08", "uploadLeftover": "6601",
   "uploadRefused": true},
  {"ip": "127.0.0.13", "type": 181, "password": "nvrpw", "outputResolution": 2}
]})";

class Recorder final : public UploadObserver {
public:
    void uploadStarted(int upper, std::uint32_t) override {
        std::lock_guard guard(mutex);
        range = upper;
    }
    void uploadProgress(int position, std::uint64_t) override {
        std::lock_guard guard(mutex);
        positions.push_back(position);
    }
    void uploadFinished(const UploadOutcome& o) override {
        std::lock_guard guard(mutex);
        outcome = o;
        ++finishes;
    }
    std::mutex mutex;
    int range = -1;
    std::vector<int> positions;
    UploadOutcome outcome;
    int finishes = 0;
};

std::string sha256Of(const std::string& path) {
    AVSHA* sha = av_sha_alloc();
    av_sha_init(sha, 256);
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        av_sha_update(sha, reinterpret_cast<const std::uint8_t*>(buffer.data()),
                      static_cast<std::size_t>(in.gcount()));
    }
    std::array<std::uint8_t, 32> digest{};
    av_sha_final(sha, digest.data());
    av_free(sha);
    std::string hex;
    for (const auto byte : digest) {
        static constexpr char kDigits[] = "0123456789abcdef";
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

class UpgradeE2E : public test::SharedSimTest<&kUpgradeFleet> {
protected:
    void SetUp() override {
        sim->clear(true);
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarvo-e2e-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // A package of random bytes.
    std::string package(const std::string& name, std::uint64_t size) const {
        std::string path = dir + "/" + name;
        std::ofstream out(path, std::ios::binary);
        std::mt19937_64 random(size);
        std::vector<std::uint64_t> block(8192);
        std::uint64_t left = size;
        while (left > 0) {
            for (auto& word : block) word = random();
            const auto n = std::min<std::uint64_t>(left, block.size() * 8);
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
            left -= n;
        }
        return path;
    }

    static nlohmann::json uploads(const std::string& ip) { return sim->device(ip)["uploads"]; }
    static std::vector<std::string> framesOf(const std::string& ip, int command) {
        std::vector<std::string> out;
        const nlohmann::json device = sim->device(ip);
        for (const auto& f : device["received"]) {
            if (f["transport"] == "tcp" && f["command"] == command) out.push_back(f["hex"]);
        }
        return out;
    }

    // Connects, reads the version and uploads on this thread's uploader.
    static UploadOutcome upload(const UpgradeProfile& profile, const std::string& ip, int port,
                                const std::string& path, Recorder& recorder) {
        FirmwareUploader uploader(profile, recorder);
        uploader.SetTarget(port, ip);
        uploader.connect();
        uploader.QueryFirmwareVersion();
        EXPECT_TRUE(uploader.start(path));
        uploader.wait();
        return recorder.outcome;
    }

    static test::ProcessResult cli(const std::vector<std::string>& args,
                                   std::chrono::milliseconds limit = 60s) {
        std::vector<std::string> argv{TARVO_CLI_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        return test::runProcess(argv, limit);
    }

    std::string dir;
};

}  // namespace

TEST_F(UpgradeE2E, SixtyFourMebibytesArriveWithTheSameHashThroughCoreAndCli) {
    const std::string path = package("IPC_update_00.00.03.08.img", 64u << 20);
    const std::string expected = sha256Of(path);
    Recorder recorder;
    const UploadOutcome outcome = upload(cameraUpgrade(), "127.0.0.2", 5505, path, recorder);
    EXPECT_EQ(outcome.status, UploadStatus::Accepted);
    EXPECT_EQ(outcome.message, u"摄像机正在升级，请不要断电，重新搜到摄像机表示升级完成");
    EXPECT_EQ(recorder.range, 2048);
    ASSERT_EQ(recorder.positions.size(), 2048u);
    EXPECT_EQ(recorder.positions.back(), 2048);
    auto seen = uploads("127.0.0.2");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]["name"], "IPC_update_00.00.03.08.img");
    EXPECT_EQ(seen[0]["announced"], 64u << 20);
    EXPECT_EQ(seen[0]["received"], 64u << 20);
    EXPECT_EQ(seen[0]["sha256"], expected);
    EXPECT_TRUE(seen[0]["complete"].get<bool>());

    sim->clear(true);
    const auto result = cli({"upgrade", "--no-wait", "127.0.0.2", path});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("2048/2048 块"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("摄像机正在升级"), std::string::npos);
    seen = uploads("127.0.0.2");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0]["sha256"], expected);
    // The window's login check ran first.
    EXPECT_EQ(sim->device("127.0.0.2")["logins"].size(), 1u);
}

TEST_F(UpgradeE2E, SeveralDevicesAtOnceEachWithItsOwnResult) {
    // Two cameras take it, one breaks off part-way.
    const std::string path = package("IPC_update_00.00.03.08.img", 2u << 20);
    const std::vector<std::string> ips{"127.0.0.2", "127.0.0.4", "127.0.0.11"};
    auto args = ips;
    args.insert(args.begin(), {"--json", "upgrade"});
    args.insert(args.end(), {path, "--parallel", "3", "--wait", "30"});
    for (const char* ip : {"127.0.0.2", "127.0.0.11"}) sim->set(ip, "uploadInstalls=true");
    const auto result = cli(args, 120s);
    for (const char* ip : {"127.0.0.2", "127.0.0.11"})
        sim->set(ip, "uploadInstalls=false,version=v00.00.02.08");
    EXPECT_EQ(result.exitCode, 4) << result.err;  // the first that failed: broke off
    std::istringstream lines(result.out);
    std::vector<std::string> statuses;
    for (std::string line; std::getline(lines, line);) {
        const auto json = nlohmann::json::parse(line);
        EXPECT_EQ(json["ip"], ips[statuses.size()]);
        statuses.push_back(json["status"]);
    }
    EXPECT_EQ(statuses, (std::vector<std::string>{"upgraded", "stream-failed", "upgraded"}));
    for (const char* ip : {"127.0.0.2", "127.0.0.11"})
        EXPECT_EQ(uploads(ip)[0]["sha256"], sha256Of(path));
    EXPECT_NE(result.err.find("3 台设备中有 2 台接受了升级包"), std::string::npos);
}

TEST_F(UpgradeE2E, ADeviceThatRestartsHoldsNoUploadSlot) {
    // One upload at a time, and the first camera restarts for a while after taking the
    // package: the second camera's upload must not wait until the first is back.
    const std::string path = package("IPC_update_00.00.03.08.img", 100000);
    sim->set("127.0.0.2", "uploadInstalls=true,rebootSeconds=3");
    sim->set("127.0.0.11", "uploadInstalls=true");
    const std::vector<site::UpgradeTarget> devices{{"127.0.0.2", 100, {}}, {"127.0.0.11", 100, {}}};
    std::mutex mutex;
    std::vector<std::string> events;
    const auto note = [&](std::string event) {
        std::lock_guard guard(mutex);
        events.push_back(std::move(event));
    };
    site::GuardedOptions options;
    options.packagePath = path;
    options.parallel = 1;
    options.wait = 30s;
    site::GuardedHooks hooks;
    hooks.upload = [&](std::size_t i) {
        note("upload " + devices[i].address);
        Recorder recorder;
        FirmwareUploader uploader(cameraUpgrade(), recorder, FirmwareUploader::Connection::Own);
        uploader.SetTarget(5505, devices[i].address);
        site::UploadAttempt attempt;
        if (uploader.connect()) {
            uploader.QueryFirmwareVersion();
            attempt.oldVersion = uploader.currentVersion();
            if (uploader.start(path)) uploader.wait();
        }
        attempt.accepted = recorder.outcome.status == UploadStatus::Accepted;
        return attempt;
    };
    hooks.finished = [&](std::size_t i, const site::GuardedResult&) {
        note("back " + devices[i].address);
    };
    const auto results = site::runGuardedUpgrade(devices, options, hooks);
    EXPECT_TRUE(
        test::waitUntil([] { return !sim->device("127.0.0.2")["rebooting"].get<bool>(); }, 10s));
    for (const char* ip : {"127.0.0.2", "127.0.0.11"})
        sim->set(ip, "uploadInstalls=false,rebootSeconds=0,version=v00.00.02.08");

    ASSERT_EQ(results.size(), 2u);
    EXPECT_TRUE(results[0].upgraded()) << text::toUtf8(results[0].text());
    EXPECT_TRUE(results[1].upgraded()) << text::toUtf8(results[1].text());
    const auto at = [&](const std::string& event) {
        return std::find(events.begin(), events.end(), event) - events.begin();
    };
    ASSERT_EQ(events.size(), 4u);
    EXPECT_LT(at("upload 127.0.0.11"), at("back 127.0.0.2")) << ::testing::PrintToString(events);
}

TEST_F(UpgradeE2E, APackageThatDoesNotFitOneDeviceSendsNothingToAny) {
    // A camera of another type (its version ends in 09), and an NVR, which takes part files.
    const std::string path = package("IPC_update_00.00.03.08.img", 100000);
    sim->set("127.0.0.11", "version=v00.00.02.09");
    const auto result = cli(
        {"--json", "upgrade", "127.0.0.2", "127.0.0.11", "127.0.0.3", path, "--wait", "5"}, 60s);
    sim->set("127.0.0.11", "version=v00.00.02.08");
    EXPECT_EQ(result.exitCode, 5) << result.err;
    std::istringstream lines(result.out);
    std::vector<std::string> statuses;
    for (std::string line; std::getline(lines, line);)
        statuses.push_back(nlohmann::json::parse(line)["status"]);
    EXPECT_EQ(statuses, (std::vector<std::string>{"not-started", "package-misfit", "not-started"}));
    // The first that does not fit, in the order given, is named.
    EXPECT_NE(result.err.find("升级包不适合设备 127.0.0.11"), std::string::npos) << result.err;
    for (const char* ip : {"127.0.0.2", "127.0.0.11", "127.0.0.3"}) {
        EXPECT_TRUE(uploads(ip).empty()) << ip;
        EXPECT_TRUE(framesOf(ip, 102).empty() && framesOf(ip, 230).empty()) << ip;
        EXPECT_TRUE(sim->device(ip)["logins"].empty()) << ip;
    }
}

TEST_F(UpgradeE2E, OneDeviceIsReadBackUnlessNoWait) {
    const std::string path = package("IPC_update_00.00.03.08.img", 100000);
    sim->set("127.0.0.11", "uploadInstalls=true,rebootSeconds=1");
    const auto waited = cli({"--json", "upgrade", "127.0.0.11", path, "--wait", "30"}, 60s);
    sim->set("127.0.0.11", "version=v00.00.02.08");
    const auto told = cli({"--json", "upgrade", "--no-wait", "127.0.0.11", path}, 60s);
    // Back from its restart before the next test asks it anything.
    ASSERT_TRUE(
        test::waitUntil([] { return !sim->device("127.0.0.11")["rebooting"].get<bool>(); }, 10s));
    sim->set("127.0.0.11", "uploadInstalls=false,rebootSeconds=0,version=v00.00.02.08");

    EXPECT_EQ(waited.exitCode, 0) << waited.err;
    const auto w = nlohmann::json::parse(waited.out);
    EXPECT_EQ(w["status"], "upgraded");
    EXPECT_EQ(w["newVersion"], "v00.00.03.08");
    EXPECT_EQ(told.exitCode, 0) << told.err;
    const auto t = nlohmann::json::parse(told.out);
    EXPECT_EQ(t["status"], "accepted");
    EXPECT_FALSE(t.contains("newVersion"));
    EXPECT_EQ(uploads("127.0.0.11").size(), 2u);
}

TEST_F(UpgradeE2E, ABareFileNameIsRecordedAndReasonsAreStoredAsKeys) {
    const std::string name = "IPC_update_00.00.03.08.img";
    const std::string path = package(name, 100000);
    const std::string sitePath = dir + "/s.tarvo-site";
    // Typed as a bare name in the current folder; the camera keeps its old version. The
    // English program must store the reason, not its English words.
    const std::string command = "cd '" + dir + "' && exec '" + TARVO_CLI_PATH +
                                "' upgrade 127.0.0.2 " + name + " --wait 2 --site '" + sitePath +
                                "'";
    const auto result =
        test::runProcess({"/bin/sh", "-c", command}, 60s, {"LANG=en_US.UTF-8", "LC_ALL="});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    // The status word in the language shown.
    EXPECT_NE(result.err.find("127.0.0.2: old version"), std::string::npos) << result.err;

    const auto site = site::SiteFile::open(sitePath, false);
    const auto actions = site->actions();
    ASSERT_EQ(actions.size(), 1u);
    EXPECT_EQ(actions[0].packageName, name);
    EXPECT_EQ(actions[0].packageSha256, sha256Of(path));
    EXPECT_EQ(actions[0].outcome, "failed");
    const text::Reason stored = text::decodeReason(actions[0].detail);
    EXPECT_EQ(stored.key, "GuardOldVersionFormat") << actions[0].detail;
    EXPECT_EQ(actions[0].detail.find("old version"), std::string::npos) << actions[0].detail;
    // Read back in this process's language, whichever the writer showed.
    EXPECT_EQ(text::showStored(actions[0].detail),
              text::formatText(text::tr(text::msg::kGuardOldVersionFormat), {u"v00.00.02.08"}));
}

TEST_F(UpgradeE2E, EmptyExactAndOddSizedPackages) {
    struct Case {
        std::uint32_t size;
        const char* frameB;
        int range;
        std::vector<int> positions;
    };
    const std::vector<Case> cases{
        {0, "660000000000", 0, {}},
        {65536, "660001000000", 2, {1, 2}},
        {3 * 32768 + 100, "660001006480", 3, {1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        sim->clear(true);
        const std::string path = package("IPC_update_00.00.03.08.img", c.size);
        Recorder recorder;
        EXPECT_EQ(upload(cameraUpgrade(), "127.0.0.2", 5505, path, recorder).status,
                  UploadStatus::Accepted);
        EXPECT_EQ(recorder.range, c.range);
        EXPECT_EQ(recorder.positions, c.positions);
        const auto frames = framesOf("127.0.0.2", 102);
        ASSERT_EQ(frames.size(), 2u);  // frames A and B
        EXPECT_EQ(frames[1], c.frameB);
        const auto seen = uploads("127.0.0.2");
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0]["received"], c.size);
        EXPECT_EQ(seen[0]["sha256"], sha256Of(path));
    }
}

TEST_F(UpgradeE2E, PackagesNotNewerThanTheCameraAreRefusedSilently) {
    RecordingNotifier notifier;
    Recorder same;
    const UploadOutcome outcome = upload(cameraUpgrade(), "127.0.0.2", 5505,
                                         package("IPC_update_00.00.02.08.img", 1000), same);
    EXPECT_EQ(outcome.status, UploadStatus::NotNewer);
    EXPECT_TRUE(outcome.message.empty());
    EXPECT_FALSE(outcome.closeDialog);
    EXPECT_TRUE(framesOf("127.0.0.2", 102).empty());
    EXPECT_TRUE(uploads("127.0.0.2").empty());

    const auto refused =
        cli({"upgrade", "--no-wait", "127.0.0.2", dir + "/IPC_update_00.00.02.08.img"});
    EXPECT_EQ(refused.exitCode, 5);
    EXPECT_NE(refused.err.find("不比摄像机的 "), std::string::npos) << refused.err;
    EXPECT_TRUE(uploads("127.0.0.2").empty());

    Recorder newer;
    EXPECT_EQ(upload(cameraUpgrade(), "127.0.0.2", 5505,
                     package("IPC_update_00.00.03.08.img", 1000), newer)
                  .status,
              UploadStatus::Accepted);
    EXPECT_EQ(uploads("127.0.0.2").size(), 1u);
}

// Camera packages are told by the version in their name: one without it, or of another camera
// type (the last two digits), would leave the camera unusable.
TEST_F(UpgradeE2E, PackagesOfNoVersionOrAnotherTypeAreTheWrongFile) {
    for (const char* name : {"firmware.bin", "IPC_update_00.00.03.06.img"}) {
        SCOPED_TRACE(name);
        const std::string path = package(name, 50000);
        Recorder recorder;
        const UploadOutcome outcome = upload(cameraUpgrade(), "127.0.0.2", 5505, path, recorder);
        EXPECT_EQ(outcome.status, UploadStatus::WrongFile);
        EXPECT_EQ(outcome.message, text::msg::kWrongUpgradeFile);
        const auto result = cli({"upgrade", "--no-wait", "127.0.0.2", path});
        EXPECT_EQ(result.exitCode, 5);
        EXPECT_NE(result.err.find("你选择了错误的升级文件"), std::string::npos) << result.err;
    }
    EXPECT_TRUE(uploads("127.0.0.2").empty());
}

// A folder has no size to announce: refused before the first frame, as the help promises.
TEST_F(UpgradeE2E, FolderGivenAsThePackageSendsNothing) {
    const std::string folder = dir + "/IPC_update_00.00.03.08.img";
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const auto result = cli({"upgrade", "--no-wait", "127.0.0.2", folder});
    EXPECT_EQ(result.exitCode, 5) << result.err;
    EXPECT_NE(result.err.find(text::toUtf8(text::msg::kUpgradeFileNotRegular)), std::string::npos)
        << result.err;
    EXPECT_TRUE(framesOf("127.0.0.2", 102).empty());
}

// An answer of two bytes, 66 01, on a connection the camera keeps open: the tag is all that is
// read.
TEST_F(UpgradeE2E, TwoByteAnswerCarriesTheTag) {
    Recorder recorder;
    FirmwareUploader uploader(cameraUpgrade(), recorder);
    uploader.SetTarget(5505, "127.0.0.11");
    ASSERT_TRUE(uploader.connect());
    uploader.QueryFirmwareVersion();
    sim->set("127.0.0.11", "tcpReplyCut=2");
    ASSERT_TRUE(uploader.start(package("IPC_update_00.00.03.08.img", 40000)));
    uploader.wait();
    sim->set("127.0.0.11", "tcpReplyCut=-1");
    EXPECT_EQ(recorder.outcome.status, UploadStatus::Accepted);
    EXPECT_EQ(recorder.outcome.answerTag, 1);
}

// Bytes a camera sent before it read the package are not its answer: this one refuses.
TEST_F(UpgradeE2E, BytesSentBeforeThePackageAreNotTheAnswer) {
    Recorder recorder;
    EXPECT_EQ(upload(cameraUpgrade(), "127.0.0.12", 5505,
                     package("IPC_update_00.00.03.08.img", 200000), recorder)
                  .status,
              UploadStatus::Refused);
    EXPECT_TRUE(uploads("127.0.0.12")[0]["complete"].get<bool>());
}

TEST_F(UpgradeE2E, ResetMidUploadFailsAndTheNextUploadWorks) {
    const std::string path = package("IPC_update_00.00.03.08.img", 200000);
    Recorder recorder;
    FirmwareUploader uploader(cameraUpgrade(), recorder);
    uploader.SetTarget(5505, "127.0.0.4");
    ASSERT_TRUE(uploader.connect());
    uploader.QueryFirmwareVersion();
    ASSERT_TRUE(uploader.start(path));
    uploader.wait();
    EXPECT_EQ(recorder.outcome.status, UploadStatus::StreamFailed);
    EXPECT_EQ(recorder.outcome.message, u"升级失败");
    EXPECT_FALSE(recorder.outcome.closeDialog);
    EXPECT_TRUE(uploads("127.0.0.4")[0]["reset"].get<bool>());

    // Same dialog, device healthy again: a fresh connection carries the whole package.
    sim->set("127.0.0.4", "uploadResetAfter=-1");
    ASSERT_TRUE(uploader.start(path));
    uploader.wait();
    EXPECT_EQ(recorder.outcome.status, UploadStatus::Accepted);
    EXPECT_EQ(recorder.finishes, 2);
    const auto seen = uploads("127.0.0.4");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1]["sha256"], sha256Of(path));

    // Through the CLI the reset is exit status 4 and the same message.
    sim->set("127.0.0.4", "uploadResetAfter=40000");
    const auto result = cli({"upgrade", "--no-wait", "127.0.0.4", path});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_NE(result.err.find("升级失败"), std::string::npos) << result.err;
}

TEST_F(UpgradeE2E, NvrClosesItsConnectionAfterEveryAttemptAndReconnectsNextTime) {
    const std::string path = package("rootfs.squashfs", 100000);
    Recorder accepted;
    {
        FirmwareUploader uploader(nvrUpgrade(), accepted);
        uploader.SetTarget(5500, "127.0.0.3");
        ASSERT_TRUE(uploader.connect());
        uploader.QueryFirmwareVersion();
        EXPECT_EQ(uploader.currentVersion(), u"v8.9.1");
        ASSERT_TRUE(uploader.start(path));
        uploader.wait();
        EXPECT_FALSE(uploader.connected());
    }
    EXPECT_EQ(accepted.outcome.status, UploadStatus::Accepted);
    EXPECT_EQ(accepted.outcome.message, u"NVR正在升级，请不要断电，升级完后NVR会自动重启");
    EXPECT_TRUE(accepted.outcome.closeDialog);
    EXPECT_EQ(uploads("127.0.0.3")[0]["command"], 230);

    Recorder refused;
    {
        FirmwareUploader uploader(nvrUpgrade(), refused);
        uploader.SetTarget(5500, "127.0.0.6");
        ASSERT_TRUE(uploader.connect());
        ASSERT_TRUE(uploader.start(path));
        uploader.wait();
        EXPECT_FALSE(uploader.connected());
    }
    EXPECT_EQ(refused.outcome.status, UploadStatus::Refused);
    EXPECT_TRUE(refused.outcome.message.empty());
    EXPECT_TRUE(refused.outcome.closeDialog);

    // The next dialog connects anew and uploads again.
    Recorder next;
    EXPECT_EQ(upload(nvrUpgrade(), "127.0.0.3", 5500, path, next).status, UploadStatus::Accepted);
    EXPECT_EQ(uploads("127.0.0.3").size(), 2u);
}

TEST_F(UpgradeE2E, NvrPartFilesByNameThroughTheCli) {
    for (const char* name : {"uboot.bin", "environment.img"}) {
        const auto result =
            cli({"upgrade", "--no-wait", "--nvr", "127.0.0.3", package(name, 5000)});
        EXPECT_EQ(result.exitCode, 0) << name << result.err;
    }
    EXPECT_NE(cli({"upgrade", "--no-wait", "--nvr", "127.0.0.3", dir + "/environment.img"})
                  .err.find("你选择了升级 环境变量"),
              std::string::npos);
    for (const char* name : {"Uboot.bin", "my_kernel"}) {
        const auto result =
            cli({"upgrade", "--no-wait", "--nvr", "127.0.0.3", package(name, 5000)});
        EXPECT_EQ(result.exitCode, 5) << name;
        EXPECT_NE(result.err.find("你选择了错误的升级文件"), std::string::npos) << result.err;
    }
    const auto seen = uploads("127.0.0.3");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0]["name"], "uboot.bin");
    EXPECT_EQ(seen[1]["name"], "environment.img");
}

TEST_F(UpgradeE2E, PeerThatStopsReadingEndsWithinTheTimeout) {
    Recorder recorder;
    const auto start = std::chrono::steady_clock::now();
    const UploadOutcome outcome =
        upload(cameraUpgrade(), "127.0.0.5", 5505, package("IPC_update_00.00.03.08.img", 48u << 20),
               recorder);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(outcome.status, UploadStatus::StreamFailed);
    EXPECT_EQ(outcome.message, u"升级失败");
    // Until the socket buffers fill, pieces go out at their pace; then one 5 s send time-out.
    EXPECT_LT(elapsed, 25s);
    EXPECT_TRUE(uploads("127.0.0.5")[0]["stalled"].get<bool>());
}

TEST_F(UpgradeE2E, SilentAndSlowCameras) {
    const std::string path = package("IPC_update_00.00.03.08.img", 200000);
    Recorder silent;
    EXPECT_EQ(upload(cameraUpgrade(), "127.0.0.9", 5505, path, silent).status,
              UploadStatus::NoAnswer);
    // Not silence: the camera and the wait are named.
    EXPECT_EQ(silent.outcome.message, u"设备 127.0.0.9 在 5 秒内没有应答");
    EXPECT_EQ(uploads("127.0.0.9")[0]["received"], 200000);

    // 2 MB/s reader: every byte still arrives, in order.
    Recorder slow;
    EXPECT_EQ(upload(cameraUpgrade(), "127.0.0.10", 5505, path, slow).status,
              UploadStatus::Accepted);
    EXPECT_EQ(uploads("127.0.0.10")[0]["sha256"], sha256Of(path));
}

TEST_F(UpgradeE2E, NvrResolutionQueryAndChange) {
    NvrResolutionClient client;
    client.SetTarget("127.0.0.3", -1);  // a negative port means 5500
    const auto listing = client.FillResolutionList();
    EXPECT_EQ(listing.shown, 4);
    EXPECT_TRUE(listing.message.empty());
    EXPECT_EQ(NvrResolutionClient::resolutionText(client.currentIndex()), u"1920 x 1080");
    EXPECT_EQ(framesOf("127.0.0.3", 232), std::vector<std::string>{"e80000000600"});

    std::vector<std::chrono::milliseconds> waits;
    const auto record = [&](std::chrono::milliseconds ms) { waits.push_back(ms); };
    EXPECT_FALSE(client.ApplyOutputResolution(4, record));  // unchanged: nothing, no wait
    EXPECT_TRUE(waits.empty());
    EXPECT_TRUE(client.ApplyOutputResolution(5, record));
    EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>{3000ms});
    ASSERT_TRUE(test::waitUntil([] { return !framesOf("127.0.0.3", 233).empty(); }, 2s));
    EXPECT_EQ(framesOf("127.0.0.3", 233), std::vector<std::string>{"e90005000600"});
    EXPECT_EQ(sim->device("127.0.0.3")["outputResolution"], 5);

    const auto shown = cli({"nvr-resolution", "127.0.0.3"});
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(shown.out, "3840 x 2160\n");
    // As the window: no login (this NVR has a password), 232 on a connection of its own.
    const auto locked = cli({"nvr-resolution", "127.0.0.13"});
    EXPECT_EQ(locked.exitCode, 0) << locked.err;
    EXPECT_EQ(locked.out, "1366 x 768\n");
    EXPECT_TRUE(sim->device("127.0.0.13")["logins"].empty());
    // The resolution as the list shows it; one the NVR does not know is a usage error.
    EXPECT_EQ(cli({"nvr-resolution", "127.0.0.3", "--set", "1920x1081"}).exitCode, 2);
    const auto set = cli({"nvr-resolution", "127.0.0.3", "--set", "1920x1080"});
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_GE(set.elapsed, 3000ms);
    EXPECT_EQ(sim->device("127.0.0.3")["outputResolution"], 4);
}

TEST_F(UpgradeE2E, NvrResolutionFailures) {
    using Listing = NvrResolutionClient::Listing;
    {
        NvrResolutionClient client;
        client.SetTarget("127.0.0.7", 5500);  // reports index 6
        EXPECT_EQ(client.FillResolutionList(), (Listing{0, u"获取NVR分辨率失败！"}));
        EXPECT_TRUE(client.connected());
        EXPECT_EQ(client.currentIndex(), 0);
    }
    {
        NvrResolutionClient client;
        client.SetTarget("127.0.0.8", 5500);  // nothing listens
        EXPECT_EQ(client.FillResolutionList(), (Listing{0, u"连接NVR失败！"}));
        EXPECT_FALSE(client.ApplyOutputResolution(3, [](auto) {}));
    }
    // A peer that answers 232 with five bytes.
    const test::FakeNvrPeer peer("127.0.0.99", 5500, {232, 0, 4, 0, 6});
    ASSERT_TRUE(peer.listening());
    NvrResolutionClient client;
    client.SetTarget("127.0.0.99", 5500);
    EXPECT_EQ(client.FillResolutionList(), (Listing{0, u"获取NVR分辨率失败！"}));
}
