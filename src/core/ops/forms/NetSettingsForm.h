#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/protocol/NetParams.h"

namespace tarvo::text {
class Notifier;
}

namespace tarvo::ops {

class UdpSession;

// What the user entered in the network settings dialog.
struct NetSettingsEntry {
    std::u16string user;
    std::u16string password;
    std::u16string address;  // dotted texts; empty reads as 0.0.0.0
    std::u16string netmask;
    std::u16string gateway;
    std::u16string dns;
    std::u16string httpPort;
    bool dhcp = false;
    bool audio = false;
};

enum class NetSettingsOutcome {
    Accepted,        // the record and audio flag hold the new values
    Unusable,        // a value no device can use: nothing was sent; stay in the dialog
    LoginMismatch,   // the device did not accept user and password: stay in the dialog
    SubnetMismatch,  // address and gateway lie in different subnets: stay in the dialog
};

// The state and rules of the network settings dialog, apart from its widgets. Lives as long as
// the main window; every opening refills it through the setters.
class NetSettingsForm {
public:
    static constexpr int kLoginWaitMs = 200;

    void SetDeviceIp(std::string address) { deviceIp_ = std::move(address); }
    void SetNetParams(const protocol::NetParams& params) { params_ = params; }
    void SetAudio(std::uint32_t audio) { audio_ = audio; }
    void SetDeviceType(int type) { type_ = type; }
    // Whether the device answered the record and audio queries before this opening (otherwise
    // the values are zeros, not the device's).
    void setAnswered(bool record, bool audio) {
        recordAnswered_ = record;
        audioAnswered_ = audio;
    }
    [[nodiscard]] bool recordAnswered() const { return recordAnswered_; }
    [[nodiscard]] bool audioAnswered() const { return audioAnswered_; }

    [[nodiscard]] const std::string& deviceIp() const { return deviceIp_; }
    [[nodiscard]] const protocol::NetParams& netParams() const { return params_; }
    [[nodiscard]] std::uint32_t audio() const { return audio_; }
    [[nodiscard]] int deviceType() const { return type_; }
    // Decoders have no DHCP or audio switch to show; their values still go back.
    [[nodiscard]] bool showsDhcpAndAudio() const;

    // The texts the dialog opens with.
    [[nodiscard]] std::u16string addressText() const;
    [[nodiscard]] std::u16string netmaskText() const;
    [[nodiscard]] std::u16string gatewayText() const;
    [[nodiscard]] std::u16string dnsText() const;
    // The port as the device's signed 16-bit value, so 65535 reads "-1" and goes back unchanged.
    [[nodiscard]] std::u16string httpPortText() const;
    static std::u16string defaultUser() { return u"admin"; }

    // OK: the values no device can use are refused first (nothing sent); then the UDP login,
    // `wait` for the reply, the login result, the subnet check, then the entered values into
    // the record. The carried-back fields stay as received. A refusal is told through the
    // notifier and the dialog stays open.
    NetSettingsOutcome ok(const NetSettingsEntry& entry, UdpSession& session,
                          text::Notifier& notifier, const std::function<void(int)>& wait);

    // The pieces of OK, for the dialog and the tests.
    static std::uint32_t parseAddress(std::u16string_view text);  // network order; bad text: 0
    static std::uint16_t parseHttpPort(std::u16string_view text);
    static bool sameSubnet(std::uint32_t address, std::uint32_t netmask, std::uint32_t gateway);
    // The message for the first value of `entry` no device can use, or empty: a field that is
    // neither empty nor a dotted IPv4 address, a mask whose ones are not contiguous, an address
    // that is its subnet's network or broadcast address.
    static std::u16string_view unusableValue(const NetSettingsEntry& entry);

private:
    std::string deviceIp_;
    protocol::NetParams params_{};
    std::uint32_t audio_ = 0;
    int type_ = 0;
    bool recordAnswered_ = false;
    bool audioAnswered_ = false;
};

}  // namespace tarvo::ops
