// Upload engine without a device: package rules, frame layouts, and the worker against the
// other end of a socket pair (no network).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "core/protocol/CommandCodes.h"
#include "core/protocol/Frames.h"
#include "core/site/GuardedUpgrade.h"
#include "core/text/Messages.h"
#include "core/text/Reason.h"
#include "core/upgrade/DeviceUploads.h"
#include "core/upgrade/FirmwareUploader.h"
#include "core/upgrade/NvrResolutionClient.h"
#include "core/upgrade/PackageRules.h"
#include "support/FrameBytes.h"

using namespace tarvo;
using namespace tarvo::upgrade;
using namespace std::chrono_literals;

namespace {

using tarvo::test::bytesOf;

// Records what the worker reports; waits for its end.
class Recorder final : public UploadObserver {
public:
    void uploadStarted(int upper, std::uint32_t size) override {
        std::lock_guard guard(mutex_);
        ++starts;
        range = upper;
        announced = size;
    }
    void uploadProgress(int position, std::uint64_t) override {
        std::function<void(int)> hook;
        {
            std::lock_guard guard(mutex_);
            positions.push_back(position);
            hook = onProgress;
        }
        if (hook) hook(position);
    }
    void uploadFinished(const UploadOutcome& o) override {
        std::lock_guard guard(mutex_);
        ++finishes;
        outcome = o;
        busyAtFinish = DeviceUploads::receiving("");
        done_.notify_all();
    }
    bool waitFinished(std::chrono::milliseconds limit = 10s) {
        std::unique_lock lock(mutex_);
        return done_.wait_for(lock, limit, [this] { return finishes > 0; });
    }

    std::mutex mutex_;
    std::condition_variable done_;
    int starts = 0;
    int finishes = 0;
    int range = -1;
    std::uint32_t announced = 0;
    std::vector<int> positions;
    UploadOutcome outcome;
    bool busyAtFinish = true;
    std::function<void(int)> onProgress;
};

// The device end of a socket pair placed in a profile's slot.
class PairedDevice {
public:
    explicit PairedDevice(UploadSlot& slot) : slot_(slot) {
        std::array<int, 2> fds{};
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds.data()), 0);
        const timeval tv{5, 0};
        ::setsockopt(fds[0], SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
        ::setsockopt(fds[0], SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(fds[1], SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        std::lock_guard guard(slot_.mutex);
        slot_.socket = net::Socket(fds[0]);
        device_ = net::Socket(fds[1]);
    }
    ~PairedDevice() {
        if (reader_.joinable()) reader_.join();
        std::lock_guard guard(slot_.mutex);
        slot_.socket.close();
    }
    // Reads frame A, frame B and `size` bytes, then answers with `tag`.
    void serve(std::uint32_t size, std::uint8_t tag) {
        reader_ = std::thread([this, size, tag] {
            std::vector<std::uint8_t> buffer(65536);
            std::uint64_t want = 134 + 6 + static_cast<std::uint64_t>(size);
            while (want > 0) {
                const ssize_t got = ::recv(device_.fd(), buffer.data(),
                                           std::min<std::uint64_t>(want, buffer.size()), 0);
                if (got <= 0) return;
                if (received.size() < 140) {
                    received.insert(received.end(), buffer.begin(),
                                    buffer.begin() + std::min<ssize_t>(got, 140));
                }
                total += static_cast<std::uint64_t>(got);
                want -= static_cast<std::uint64_t>(got);
            }
            const std::array<std::uint8_t, 6> answer{102, tag, 0, 0, 6, 0};
            ::send(device_.fd(), answer.data(), answer.size(), MSG_NOSIGNAL);
        });
    }
    // Bytes waiting unread at the device end.
    std::size_t pending() const {
        std::array<std::uint8_t, 256> buffer{};
        const ssize_t got = ::recv(device_.fd(), buffer.data(), buffer.size(), MSG_DONTWAIT);
        return got > 0 ? static_cast<std::size_t>(got) : 0;
    }

    std::vector<std::uint8_t> received;  // the first 140 bytes: frames A and B
    std::uint64_t total = 0;

private:
    UploadSlot& slot_;
    net::Socket device_;
    std::thread reader_;
};

class PackageDir {
public:
    PackageDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarvo-up-XXXXXX").string();
        path = ::mkdtemp(pattern.data()) ? pattern : "";
    }
    ~PackageDir() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name, std::uint64_t size) const {
        std::string full = path + "/" + name;
        std::ofstream out(full, std::ios::binary);
        for (std::uint64_t i = 0; i < size; ++i) out.put(static_cast<char>(i * 7));
        return full;
    }
    std::string path;
};

}  // namespace

TEST(PackageRules, NewerPackageComparesTheNameFromIndexElevenWithTheVersionAfterItsV) {
    EXPECT_FALSE(IsNewerPackage(u"v00.00.02.08", u"IPC_update_00.00.02.08.img"));
    EXPECT_TRUE(IsNewerPackage(u"v00.00.02.08", u"IPC_update_00.00.02.09.img"));
    EXPECT_TRUE(IsNewerPackage(u"v00.00.02.08", u"IPC_update_00.00.03.08.img"));
    EXPECT_FALSE(IsNewerPackage(u"v00.00.02.08", u"IPC_update_00.00.01.99.img"));
    // No version from the camera: anything goes.
    EXPECT_TRUE(IsNewerPackage(u"", u"x"));
    // Names too short to carry a version are never newer.
    EXPECT_FALSE(IsNewerPackage(u"v00.00.02.08", u"short.img"));
    // A cut-short name compares as far as it goes.
    EXPECT_TRUE(IsNewerPackage(u"v00.00.02.08", u"IPC_update_01"));
}

TEST(PackageRules, FileNameIsTheTextAfterTheLastSlash) {
    EXPECT_EQ(fileNameOf("/home/me/fw/IPC_update_00.00.02.09.img"), "IPC_update_00.00.02.09.img");
    EXPECT_EQ(fileNameOf("relative/uboot.bin"), "uboot.bin");
    EXPECT_EQ(fileNameOf("nodirectory.img"), "");
    EXPECT_EQ(fileNameOf("/dir/"), "");
    // A backslash is an ordinary character in a Linux file name.
    EXPECT_EQ(fileNameOf("/fw/a\\b.img"), "a\\b.img");
}

TEST(PackageRules, PiecesAndProgressRange) {
    EXPECT_EQ(pieceCount(0), 0u);
    EXPECT_EQ(pieceCount(1), 1u);
    EXPECT_EQ(pieceCount(65536), 2u);
    EXPECT_EQ(pieceCount(3 * 32768 + 100), 4u);
    EXPECT_EQ(progressUpper(0), 0);
    EXPECT_EQ(progressUpper(65536), 2);
    EXPECT_EQ(progressUpper(3 * 32768 + 100), 3);  // the position ends one above: 4
    EXPECT_EQ(progressUpper(0x7FFFFFFF), 65535);
}

TEST(PackageRules, NvrPartsByCaseSensitivePrefix) {
    const auto text = [](std::u16string_view name) {
        const auto part = nvrPartOf(name);
        return part ? std::u16string(part->text) : std::u16string(u"<none>");
    };
    EXPECT_EQ(text(u"uboot.bin"), u"你选择了升级 uboot");
    EXPECT_EQ(text(u"environment.img"), u"你选择了升级 环境变量");
    EXPECT_EQ(text(u"env"), u"你选择了升级 环境变量");
    EXPECT_EQ(text(u"rootfs_v9.squashfs"), u"你选择了升级 文件系统");
    EXPECT_EQ(text(u"kernel.uImage"), u"你选择了升级 内核");
    EXPECT_EQ(text(u"Uboot.bin"), u"<none>");
    EXPECT_EQ(text(u"my_kernel"), u"<none>");
    EXPECT_EQ(text(u""), u"<none>");
}

TEST(PackageRules, ABatchChecksThePackageAgainstEveryDeviceType) {
    const std::string camera = "/x/IPC_update_00.00.03.08.img";
    EXPECT_FALSE(site::packageMisfit(100, camera, u"v00.00.02.08"));
    EXPECT_FALSE(site::packageMisfit(100, camera, u""));  // no version: the name's form only
    EXPECT_FALSE(site::packageMisfit(181, "/x/rootfs.bin", u"v8.9.1"));
    const auto key = [](const std::optional<text::Reason>& why) {
        return why ? why->key : std::string("fits");
    };
    EXPECT_EQ(key(site::packageMisfit(100, camera, u"v00.00.02.09")), "CameraPackageNameFormat");
    EXPECT_EQ(key(site::packageMisfit(100, "/x/rootfs.bin", u"")), "CameraPackageNameFormat");
    EXPECT_EQ(key(site::packageMisfit(181, camera, u"v8.9.1")), "WrongUpgradeFile");
    EXPECT_EQ(key(site::packageMisfit(31, camera, u"")), "GuardNoFirmwareFormat");
    EXPECT_EQ(
        key(site::packageMisfit(100, "/x/IPC_update_00.00.03.08" + std::string(130, 'x'), u"")),
        "UpgradeFileNameTooLong");
    // A bare name, as typed in the current folder, is a name all the same.
    EXPECT_EQ(site::packageFileName("IPC_update_00.00.03.08.img"), "IPC_update_00.00.03.08.img");
    EXPECT_EQ(site::packageFileName("./a/rootfs.bin"), "rootfs.bin");
}

TEST(PackageRules, AnAttemptKeepsItsReasonAsAKey) {
    ops::UpgradeProgress steps;
    steps.reached = ops::UpgradeStep::PartRule;
    steps.outcome = protocol::Outcome::failure(text::msg::kWrongUpgradeFile);
    EXPECT_EQ(ops::attemptOf(steps, true, std::nullopt).detail,
              text::Reason::of("WrongUpgradeFile"));
    steps.reached = ops::UpgradeStep::Started;
    steps.version = u"v00.00.02.08";
    UploadOutcome refused;
    refused.status = UploadStatus::Refused;
    const auto attempt = ops::attemptOf(steps, false, refused);
    EXPECT_FALSE(attempt.accepted);
    EXPECT_TRUE(attempt.sentAnything);
    EXPECT_EQ(attempt.oldVersion, u"v00.00.02.08");
    EXPECT_EQ(attempt.detail, text::Reason::of("BatchFailed"));
    UploadOutcome accepted;
    accepted.status = UploadStatus::Accepted;
    accepted.message = std::u16string(text::msg::kCameraUpgradeStarted);
    EXPECT_TRUE(ops::attemptOf(steps, false, accepted).accepted);
    EXPECT_TRUE(ops::attemptOf(steps, false, accepted).detail.empty());
    // Devices the sequence never ran for: none was sent anything, each says why.
    const auto notHeard = ops::attemptNotRun("127.0.0.9", std::nullopt);
    EXPECT_FALSE(notHeard.accepted || notHeard.sentAnything);
    EXPECT_EQ(notHeard.detail, text::Reason::said(text::msg::kDeviceNotHeardFormat,
                                                  {text::Reason::literal("127.0.0.9")}));
    EXPECT_EQ(ops::attemptNotRun("127.0.0.9", 31).detail.key, "GuardNoFirmwareFormat");
}

TEST(UploadFrames, SizeHalvesAndFileName) {
    EXPECT_EQ(bytesOf(protocol::uploadSizeFrame(102, 65536)),
              (std::vector<std::uint8_t>{102, 0, 1, 0, 0, 0}));
    EXPECT_EQ(bytesOf(protocol::uploadSizeFrame(230, 3 * 32768 + 100)),
              (std::vector<std::uint8_t>{230, 0, 1, 0, 0x64, 0x80}));
    // Chinese names travel in GB18030: 63 characters take 126 bytes and fit with their NUL,
    // 64 take 128 and do not.
    const auto a = protocol::uploadNameFrame(230, std::u16string(63, u'固'));
    EXPECT_EQ(a.size, 134u);
    EXPECT_NE(a.bytes[6], 0);
    EXPECT_EQ(a.bytes[6 + 126], 0);
    const auto b = protocol::uploadNameFrame(230, std::u16string(64, u'固'));
    std::vector<std::uint8_t> zeroName{230, 0, 0, 0, 134, 0};
    zeroName.resize(134, 0);
    EXPECT_EQ(bytesOf(b), zeroName);
}

TEST(Targets, UploaderAndResolutionClientSetTarget) {
    Recorder recorder;
    FirmwareUploader uploader(cameraUpgrade(), recorder);
    uploader.SetTarget(65536 + 5505, std::string(80, '1'));
    EXPECT_EQ(uploader.address().size(), 63u);
    EXPECT_EQ(uploader.port(), 5505);  // the low 16 bits

    NvrResolutionClient client;
    client.SetTarget("1.2", 6000);  // too short: nothing changes
    EXPECT_EQ(client.port(), 5500);
    EXPECT_EQ(client.address(), "");
    client.SetTarget("10.0.0.9", -1);
    EXPECT_EQ(client.port(), 5500);
    EXPECT_EQ(client.address(), "10.0.0.9");
    client.SetTarget("10.0.0.10", 5600);
    EXPECT_EQ(client.port(), 5600);
    client.SetTarget(std::string(60, 'h'), 5601);
    EXPECT_EQ(client.address(), std::string(47, 'h'));
    EXPECT_EQ(NvrResolutionClient::resolutionText(4), u"1920 x 1080");
    EXPECT_EQ(NvrResolutionClient::resolutionText(6), u"");
    // Nothing selected, or nothing connected: nothing sent, no wait.
    bool waited = false;
    EXPECT_FALSE(client.ApplyOutputResolution(5, [&](auto) { waited = true; }));
    EXPECT_FALSE(waited);
}

TEST(UploadWorker, PiecesProgressAndAnswerOverASocketPair) {
    PackageDir dir;
    for (const auto& [size, upper, positions] :
         {std::tuple<std::uint32_t, int, std::vector<int>>{0, 0, {}},
          {65536, 2, {1, 2}},
          {3 * 32768 + 100, 3, {1, 2, 3, 4}}}) {
        SCOPED_TRACE(size);
        PairedDevice device(g_cameraUpgradeSocket);
        device.serve(size, 1);
        Recorder recorder;
        FirmwareUploader uploader(cameraUpgrade(), recorder);
        ASSERT_TRUE(uploader.start(dir.file("IPC_update_00.00.02.09.img", size)));
        uploader.wait();
        ASSERT_EQ(recorder.finishes, 1);
        EXPECT_EQ(recorder.outcome.status, UploadStatus::Accepted);
        EXPECT_EQ(recorder.outcome.message, text::msg::kCameraUpgradeStarted);
        EXPECT_TRUE(recorder.outcome.closeDialog);
        EXPECT_EQ(recorder.range, upper);
        EXPECT_EQ(recorder.positions, positions);
        EXPECT_EQ(recorder.outcome.bytesSent, size);
        EXPECT_FALSE(recorder.busyAtFinish);
        EXPECT_FALSE(DeviceUploads::receiving(""));
        ASSERT_GE(device.received.size(), 140u);
        EXPECT_EQ(device.received[0], 102);
        EXPECT_EQ(std::string(device.received.begin() + 6, device.received.begin() + 32),
                  "IPC_update_00.00.02.09.img");
        const protocol::Frame b = protocol::uploadSizeFrame(102, size);
        EXPECT_TRUE(
            std::equal(b.bytes.begin(), b.bytes.begin() + 6, device.received.begin() + 134));
        // The camera keeps its connection after an answered upload.
        EXPECT_TRUE(uploader.connected());
    }
}

TEST(UploadWorker, RefusalsBeforeAnythingIsSent) {
    PackageDir dir;
    PairedDevice device(g_nvrUpgradeSocket);
    Recorder recorder;
    FirmwareUploader uploader(nvrUpgrade(), recorder);

    // 2 GiB (sparse, no disk used): refused with a message, nothing on the wire.
    const std::string big = dir.path + "/rootfs.img";
    {
        const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 0x80000000LL), 0);
        ::close(fd);
    }
    ASSERT_TRUE(uploader.start(big));
    uploader.wait();
    EXPECT_EQ(recorder.outcome.status, UploadStatus::FileTooLarge);
    EXPECT_EQ(recorder.outcome.message, text::msg::kUpgradeFileTooLarge);
    EXPECT_EQ(recorder.starts, 0);
    EXPECT_EQ(device.pending(), 0u);
    EXPECT_TRUE(recorder.outcome.closeDialog);  // the NVR dialog closes after every attempt

    // A file that cannot be opened: the system's words for it.
    PairedDevice again(g_nvrUpgradeSocket);
    Recorder second;
    FirmwareUploader other(nvrUpgrade(), second);
    ASSERT_TRUE(other.start(dir.path + "/uboot-missing.bin"));
    other.wait();
    EXPECT_EQ(second.outcome.status, UploadStatus::FileError);
    EXPECT_FALSE(second.outcome.message.empty());
    EXPECT_EQ(again.pending(), 0u);

    // No connection: ends at once, silently.
    {
        std::lock_guard guard(g_nvrUpgradeSocket.mutex);
        g_nvrUpgradeSocket.socket.close();
    }
    Recorder third;
    FirmwareUploader none(nvrUpgrade(), third);
    ASSERT_TRUE(none.start(dir.file("uboot.bin", 10)));
    none.wait();
    EXPECT_EQ(third.outcome.status, UploadStatus::NotConnected);
    EXPECT_TRUE(third.outcome.message.empty());
}

TEST(UploadWorker, SecondStartWhileOneRunsDoesNothing) {
    PackageDir dir;
    PairedDevice device(g_cameraUpgradeSocket);
    const std::string path = dir.file("IPC_update_00.00.02.09.img", 0);
    Recorder recorder;
    FirmwareUploader uploader(cameraUpgrade(), recorder);
    // The device reads nothing yet: the worker waits for its answer.
    ASSERT_TRUE(uploader.start(path));
    Recorder other;
    FirmwareUploader second(cameraUpgrade(), other);
    EXPECT_FALSE(uploader.start(path));
    EXPECT_FALSE(second.start(path));
    EXPECT_FALSE(second.connect());  // the running upload's connection is not replaced
    device.serve(0, 1);
    uploader.wait();
    EXPECT_EQ(recorder.outcome.status, UploadStatus::Accepted);
    EXPECT_EQ(other.finishes, 0);
}

TEST(UploadWorker, FileShrinkingDuringTheUploadFails) {
    PackageDir dir;
    PairedDevice device(g_cameraUpgradeSocket);
    device.serve(4 * 32768, 1);
    const std::string path = dir.file("IPC_update_00.00.02.09.img", 4 * 32768);
    Recorder recorder;
    recorder.onProgress = [&](int position) {
        if (position == 1) std::filesystem::resize_file(path, 32768);
    };
    FirmwareUploader uploader(cameraUpgrade(), recorder);
    ASSERT_TRUE(uploader.start(path));
    uploader.wait();
    EXPECT_EQ(recorder.outcome.status, UploadStatus::StreamFailed);
    EXPECT_EQ(recorder.outcome.message, u"升级失败");
    EXPECT_FALSE(recorder.outcome.closeDialog);  // the camera dialog stays for another try
    EXPECT_EQ(recorder.outcome.bytesSent, 32768u);
    EXPECT_FALSE(DeviceUploads::receiving(""));
}

TEST(UploadWorker, CancelWakesABlockedSendAndJoins) {
    PackageDir dir;
    PairedDevice device(g_cameraUpgradeSocket);  // never reads: the send blocks
    const std::string path = dir.path + "/IPC_update_00.00.02.09.img";
    std::filesystem::resize_file(dir.file("IPC_update_00.00.02.09.img", 1), 64 << 20);
    Recorder recorder;
    std::atomic<bool> busySeen{false};
    recorder.onProgress = [&](int) { busySeen = DeviceUploads::receiving(""); };
    {
        FirmwareUploader uploader(cameraUpgrade(), recorder);
        ASSERT_TRUE(uploader.start(path));
        ASSERT_TRUE([&] {
            for (int i = 0; i < 500 && !busySeen; ++i) std::this_thread::sleep_for(10ms);
            return busySeen.load();
        }());
        // Destroying the uploader cancels and joins.
    }
    EXPECT_EQ(recorder.finishes, 1);
    EXPECT_EQ(recorder.outcome.status, UploadStatus::Cancelled);
    EXPECT_TRUE(recorder.outcome.message.empty());
    EXPECT_LT(recorder.outcome.bytesSent, std::uint64_t{64} << 20);
    EXPECT_FALSE(DeviceUploads::receiving(""));
}
