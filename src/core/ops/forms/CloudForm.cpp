#include "core/ops/forms/CloudForm.h"

#include <array>
#include <cstdlib>

#include "core/ops/forms/UdpSession.h"
#include "core/text/TextConvert.h"

namespace tarvo::ops {

namespace {

std::u16string widenField(const std::array<char, 64>& field) {
    std::array<char16_t, 128> wide{};
    text::widenText(std::string_view(field.data(), field.size()), wide);
    return std::u16string(text::fieldText(std::span<const char16_t>(wide)));
}

void narrowInto(std::array<char, 64>& field, std::u16string_view text) {
    std::array<char, 64> candidate{};
    if (text::narrowText(text, candidate) == 1) field = candidate;
}

}  // namespace

std::u16string CloudForm::identityText() const {
    return widenField(record_.identity);
}
std::u16string CloudForm::passwordText() const {
    return widenField(record_.password);
}

std::u16string CloudForm::deviceIdText() const {
    const std::string digits = std::to_string(record_.deviceId);
    return {digits.begin(), digits.end()};
}

protocol::CloudRecord CloudForm::edited(std::u16string_view identity, std::u16string_view password,
                                        std::u16string_view deviceId) const {
    protocol::CloudRecord out = record_;
    narrowInto(out.identity, identity);
    narrowInto(out.password, password);
    std::array<char, 16> digits{};
    text::narrowText(deviceId, digits);
    out.deviceId = static_cast<std::int32_t>(std::strtol(digits.data(), nullptr, 10));
    return out;
}

bool CloudForm::passwordFits(std::u16string_view password) {
    std::array<char, 64> field{};
    return text::narrowText(password, field) == 1;
}

bool CloudForm::ok(std::u16string_view identity, std::u16string_view password,
                   std::u16string_view deviceId, UdpSession& session,
                   const std::function<void(int)>& wait) {
    if (!passwordFits(password)) return false;
    session.send(deviceIp_, protocol::udpCloud(protocol::targetFor(deviceIp_),
                                               edited(identity, password, deviceId)));
    wait(kAfterSendMs);
    return true;
}

}  // namespace tarvo::ops
