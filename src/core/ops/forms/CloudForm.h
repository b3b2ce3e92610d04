#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/protocol/Frames.h"
#include "core/protocol/NetParams.h"

namespace tarvo::ops {

class UdpSession;

// What the user left in the cloud settings dialog on OK.
struct CloudEntry {
    std::u16string identity;
    std::u16string password;
    std::u16string deviceId;
};

// The cloud settings dialog apart from its widgets: the record as the device sent it, the
// texts it shows, and the frame sent with the values the dialog returns.
class CloudForm {
public:
    static constexpr int kAfterSendMs = 10;

    void SetDeviceIp(std::string address) { deviceIp_ = std::move(address); }
    void SetCloudRecord(const protocol::CloudRecord& record) { record_ = record; }

    [[nodiscard]] const std::string& deviceIp() const { return deviceIp_; }
    [[nodiscard]] const protocol::CloudRecord& record() const { return record_; }
    [[nodiscard]] std::u16string identityText() const;  // the invisible field at offset 0
    [[nodiscard]] std::u16string passwordText() const;
    [[nodiscard]] std::u16string deviceIdText() const;

    // The record OK sends: each text narrowed into its 64-byte field (one that does not fit
    // keeps the field as received), the device ID parsed from its text.
    [[nodiscard]] protocol::CloudRecord edited(std::u16string_view identity,
                                               std::u16string_view password,
                                               std::u16string_view deviceId) const;
    // A cloud password fits its field: at most 63 bytes in the device encoding. One that does
    // not would leave the device's old password in place while the window reports success.
    [[nodiscard]] static bool passwordFits(std::u16string_view password);
    // The write after OK: sends 123 with the edited record (the send is not checked), then
    // `wait`s 10 ms.
    // A password that does not fit is refused: nothing is sent, false.
    bool ok(std::u16string_view identity, std::u16string_view password,
            std::u16string_view deviceId, UdpSession& session,
            const std::function<void(int)>& wait);

private:
    std::string deviceIp_;
    protocol::CloudRecord record_{};
};

}  // namespace tarvo::ops
