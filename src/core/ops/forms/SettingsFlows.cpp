#include "core/ops/forms/SettingsFlows.h"

#include "core/discovery/DeviceTypes.h"
#include "core/ops/forms/UdpSession.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/DeviceCommands.h"
#include "core/protocol/Frames.h"
#include "core/protocol/VersionRules.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/Translate.h"

namespace tarvo::ops {

namespace cmd = protocol::cmd;
using Reply = discovery::ReplyCache::Reply;

SettingsFlows::SettingsFlows(SettingsDialogs& dialogs, UdpSession& session,
                             text::Notifier& notifier, VersionCheck versionCheck)
    : dialogs_(dialogs),
      session_(session),
      notifier_(notifier),
      versionCheck_(std::move(versionCheck)) {
    if (!versionCheck_) {
        versionCheck_ = [this](std::string_view address, std::uint16_t port,
                               std::u16string& version) {
            return protocol::checkCameraVersion(address, port, version).report(notifier_)
                       ? VersionAsked::Answered
                       : VersionAsked::Failed;
        };
    }
}

bool SettingsFlows::sendChain(const std::string& address,
                              std::initializer_list<protocol::Frame> frames, int gapMs) {
    bool first = true;
    for (const auto& frame : frames) {
        if (!first && gapMs > 0) dialogs_.waitMs(gapMs);
        first = false;
        if (!session_.send(address, frame)) return false;
    }
    return true;
}

std::u16string SettingsFlows::sharedTargetMessage(const std::vector<std::u16string>& devices,
                                                  bool write) {
    std::u16string text =
        text::tr(write ? text::msg::kSharedTargetRefused : text::msg::kSharedTargetRead);
    for (const auto& device : devices) text += u"\n" + device;
    return text;
}

bool SettingsFlows::targetReachesOneDevice(const std::string& address) {
    const auto devices =
        session_.devicesSharingTarget(std::u16string(address.begin(), address.end()));
    if (devices.empty()) return true;
    notifier_.message(sharedTargetMessage(devices, dialogs_.mayWrite()));
    return !dialogs_.mayWrite();
}

bool SettingsFlows::fixMac(const std::string& address) {
    const auto devices =
        session_.devicesSharingTarget(std::u16string(address.begin(), address.end()));
    if (!devices.empty()) {
        notifier_.message(sharedTargetMessage(devices, true));
        return false;
    }
    cameraForm_.SetCameraIp(address);
    return cameraForm_.fixMac(session_);
}

bool SettingsFlows::networkSettings(const std::string& address, int type) {
    if (!targetReachesOneDevice(address)) return false;
    const std::uint16_t target = protocol::targetFor(address);
    auto& cache = session_.cache();
    cache.expect(Reply::NetParams, address);
    cache.expect(Reply::Audio, address);
    sendChain(address,
              {protocol::udpQuery(cmd::kGetNetParams, target),
               protocol::udpQuery(cmd::kGetAudio, target)},
              0);
    dialogs_.waitMs(kReplyWaitMs);

    netForm_.setAnswered(cache.answered(Reply::NetParams), cache.answered(Reply::Audio));
    netForm_.SetDeviceIp(address);
    netForm_.SetNetParams(cache.netParams());
    netForm_.SetAudio(cache.audio());
    netForm_.SetDeviceType(type);
    cache.takeNetParams();  // the audio flag stays

    const SettingsDialogs::NetCheck check = [this](const NetSettingsEntry& entry,
                                                   text::Notifier& notifier) {
        return netForm_.ok(entry, session_, notifier, [this](int ms) { dialogs_.waitMs(ms); });
    };
    if (!dialogs_.runNetSettings(netForm_, check)) return false;
    sendChain(address,
              {protocol::udpNetParams(target, netForm_.netParams()),
               protocol::udpValue(cmd::kSetAudio, target, netForm_.audio())},
              0);
    session_.startSearch();
    return true;
}

bool SettingsFlows::cameraConfig(const std::string& address, int type, std::uint16_t port) {
    if (!targetReachesOneDevice(address)) return false;
    std::u16string version;
    // Its messages are told and the sequence goes on, unless the user called the query off.
    if (versionCheck_(address, port, version) == VersionAsked::Cancelled) return false;

    const std::uint16_t target = protocol::targetFor(address);
    auto& cache = session_.cache();
    for (const Reply reply : {Reply::Protocol, Reply::Overlay, Reply::OnvifSubStream})
        cache.expect(reply, address);
    sendChain(address,
              {protocol::udpQuery(cmd::kGetCameraConfig1, target),
               protocol::udpQuery(cmd::kGetCameraConfig2, target),
               protocol::udpQuery(cmd::kOnvifSubStream, target)},
              kChainWaitMs);
    dialogs_.waitMs(kReplyWaitMs);
    // Without all three of the camera's own values the window would show, and its OK write
    // back, values the camera never had.
    if (!cache.answered(Reply::Protocol) || !cache.answered(Reply::Overlay) ||
        !cache.answered(Reply::OnvifSubStream)) {
        notifier_.message(text::msg::kCameraOptionsUnanswered);
        return false;
    }

    cameraForm_.SetCameraIp(address);
    cameraForm_.SetProtocol(cache.protocolSupport());
    cameraForm_.SetOverlay(cache.overlay());
    cameraForm_.SetSubStream(cache.onvifSubStream());
    cameraForm_.SetVersion(version);

    const bool takesResolution =
        type == discovery::kTypeSelectableResolution &&
        protocol::versionAtLeast(cameraForm_.version(), kResolutionMinimum);
    if (takesResolution) {
        // Preselect what the camera reported to the search (its resolution reply relabelled the
        // row).
        const std::u16string addressText(address.begin(), address.end());
        if (const auto label = session_.type89Label(addressText)) {
            cameraForm_.SetResolution(*label == discovery::resolutionLabel(0) ? 0 : 1, true);
        }
    } else {
        cameraForm_.SetResolution(0, false);
    }

    if (!dialogs_.runCameraConfig(cameraForm_)) return false;
    if (takesResolution)
        session_.send(
            address, protocol::udpValue(cmd::kSetMainResolution, target, cameraForm_.resolution()));
    sendChain(address,
              {protocol::udpValue(cmd::kSetOverlay, target, cameraForm_.overlay()),
               protocol::udpValue(cmd::kSetProtocol, target, cameraForm_.protocolSupport()),
               protocol::udpValue(cmd::kSetOnvifSubStream, target, cameraForm_.subStream())},
              kChainWaitMs);
    return true;
}

bool SettingsFlows::cloudSettings(const std::string& address) {
    if (!targetReachesOneDevice(address)) return false;
    session_.cache().expect(Reply::Cloud, address);
    session_.send(address, protocol::udpQuery(cmd::kGetCloud, protocol::targetFor(address)));
    dialogs_.waitMs(kReplyWaitMs);
    cloudForm_.SetCloudRecord(session_.cache().cloud());
    cloudForm_.SetDeviceIp(address);
    session_.cache().takeCloud();
    const auto entry = dialogs_.runCloudSettings(cloudForm_);
    return entry && cloudForm_.ok(entry->identity, entry->password, entry->deviceId, session_,
                                  [this](int ms) { dialogs_.waitMs(ms); });
}

}  // namespace tarvo::ops
