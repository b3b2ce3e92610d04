#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ops/forms/CameraConfigForm.h"
#include "core/ops/forms/CloudForm.h"
#include "core/ops/forms/NetSettingsForm.h"

namespace tarvo::text {
class Notifier;
}

namespace tarvo::ops {

class UdpSession;

// The three settings windows, run modally on their forms. Each returns what the user chose; none
// writes to the device: the flow sends the values after the window closed.
class SettingsDialogs {
public:
    // The network dialog's OK hands the entered values to it: the values no device can use,
    // the UDP login and the subnet rule. The dialog closes only on Accepted (the form then
    // holds the new values); a refusal is told through the notifier given, over the dialog.
    using NetCheck = std::function<NetSettingsOutcome(const NetSettingsEntry&, text::Notifier&)>;

    virtual ~SettingsDialogs() = default;
    // True on OK; the form holds the checked values.
    virtual bool runNetSettings(NetSettingsForm& form, const NetCheck& check) = 0;
    // True on OK; the form holds the four selections.
    virtual bool runCameraConfig(CameraConfigForm& form) = 0;
    // The values OK left, or nothing on Cancel.
    virtual std::optional<CloudEntry> runCloudSettings(const CloudForm& form) = 0;
    // Lets time pass while the window keeps repainting.
    virtual void waitMs(int milliseconds) = 0;
    // False when the dialogs only show what the device holds (nothing is written back).
    virtual bool mayWrite() const { return true; }
};

// The settings operations as the main window starts them, once the device and its login are
// settled.
class SettingsOperations {
public:
    virtual ~SettingsOperations() = default;
    virtual bool networkSettings(const std::string& address, int type) = 0;
    virtual bool cameraConfig(const std::string& address, int type, std::uint16_t port) = 0;
    virtual bool cloudSettings(const std::string& address) = 0;
};

// The main window's UDP sequences around the settings windows: the queries before, the fixed
// waits, the hand-over from the reply cache, the window, and the writes after it returned (the
// one place they are sent from). A failed send skips the rest of its group without a message;
// the sequence itself goes on.
class SettingsFlows final : public SettingsOperations {
public:
    static constexpr int kReplyWaitMs = 500;
    static constexpr int kChainWaitMs = 100;
    // Type-89 cameras take the resolution setting from this version on.
    static constexpr std::u16string_view kResolutionMinimum = u"00.00.08.08";

    // How the version query before the camera configuration ended: a failure is told and the
    // sequence goes on; a query the user called off ends it.
    enum class VersionAsked { Answered, Failed, Cancelled };
    using VersionCheck = std::function<VersionAsked(std::string_view address, std::uint16_t port,
                                                    std::u16string& version)>;

    // `versionCheck` defaults to the TCP version query with its messages.
    SettingsFlows(SettingsDialogs& dialogs, UdpSession& session, text::Notifier& notifier,
                  VersionCheck versionCheck = {});

    // 99 and 129, 500 ms, the dialog, then 106 and 128 and a new search. True on OK.
    bool networkSettings(const std::string& address, int type) override;
    // Version check, 140/142/148, 500 ms, the dialog, then 144 (when the camera takes it),
    // 141, 139 and 149. The dialog is not opened, with a message, unless the camera answered
    // all three queries. True on OK.
    bool cameraConfig(const std::string& address, int type, std::uint16_t port) override;
    // After the login check: 124, 500 ms, the dialog, then 123 with its values. True when the
    // record was sent.
    bool cloudSettings(const std::string& address) override;
    // The MAC-conflict repair (143) of the camera at `address` without its dialog. Refused, with
    // its message, when the command would reach more than one device; false then or when the
    // frame could not be sent.
    bool fixMac(const std::string& address);

    NetSettingsForm& netForm() { return netForm_; }
    CameraConfigForm& cameraForm() { return cameraForm_; }
    CloudForm& cloudForm() { return cloudForm_; }

    // The refusal of a write (or the caution on a read) that would reach all of `devices`, in
    // the language shown.
    static std::u16string sharedTargetMessage(const std::vector<std::u16string>& devices,
                                              bool write);

private:
    // A command for `address` reaching more than one device: refused where the dialogs may
    // write (nothing is sent), told as a caution where they only read. False when refused.
    bool targetReachesOneDevice(const std::string& address);
    // Sends the frames in order with `gapMs` between them; stops at the first failed send.
    bool sendChain(const std::string& address, std::initializer_list<protocol::Frame> frames,
                   int gapMs);

    SettingsDialogs& dialogs_;
    UdpSession& session_;
    text::Notifier& notifier_;
    VersionCheck versionCheck_;
    NetSettingsForm netForm_;
    CameraConfigForm cameraForm_;
    CloudForm cloudForm_;
};

}  // namespace tarvo::ops
