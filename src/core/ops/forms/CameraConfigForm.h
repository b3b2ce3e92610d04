#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvo::ops {

class UdpSession;

// The four camera options of the configuration dialog, apart from its widgets. Values persist
// between openings; the setters keep the previous value when a reply carried something else.
class CameraConfigForm {
public:
    // Combo items, in the order they are inserted.
    static constexpr std::array<std::u16string_view, 2> kProtocolItems{u"支持私有协议和Onvif协议",
                                                                       u"仅支持私有协议"};
    static constexpr std::array<std::u16string_view, 2> kOverlayItems{u"显示", u"不显示"};
    static constexpr std::array<std::u16string_view, 2> kResolutionItems{u"不限制分辨率",
                                                                         u"只支持100万"};
    static constexpr std::array<std::u16string_view, 2> kSubStreamItems{u"D1", u"CIF"};

    void SetCameraIp(std::string address) { cameraIp_ = std::move(address); }
    void SetProtocol(std::uint32_t value);
    void SetOverlay(std::uint32_t value);
    void SetSubStream(std::uint32_t value);
    void SetResolution(std::uint32_t value, bool enabled);
    // At most 31 characters are kept.
    void SetVersion(std::u16string_view version);

    [[nodiscard]] const std::string& cameraIp() const { return cameraIp_; }
    [[nodiscard]] std::uint32_t protocolSupport() const { return protocol_; }
    [[nodiscard]] std::uint32_t overlay() const { return overlay_; }
    [[nodiscard]] std::uint32_t resolution() const { return resolution_; }
    [[nodiscard]] std::uint32_t subStream() const { return subStream_; }
    [[nodiscard]] bool resolutionEnabled() const { return resolutionEnabled_; }
    [[nodiscard]] const std::u16string& version() const { return version_; }

    // Combo selections: the index is the value, for the sub-stream the value minus 1.
    [[nodiscard]] int protocolIndex() const { return static_cast<int>(protocol_); }
    [[nodiscard]] int overlayIndex() const { return static_cast<int>(overlay_); }
    [[nodiscard]] int resolutionIndex() const { return static_cast<int>(resolution_); }
    [[nodiscard]] int subStreamIndex() const { return static_cast<int>(subStream_) - 1; }
    // OK: the four selections become the values. No validation, as the combos offer only valid
    // items; an index outside them (no selection) keeps the value.
    void accept(int protocolIndex, int overlayIndex, int resolutionIndex, int subStreamIndex);

    // The MAC button: asks the camera to take a new MAC address (143). Its answer is told once,
    // and only when it comes from this camera.
    bool fixMac(UdpSession& session) const;

private:
    std::string cameraIp_;
    std::uint32_t protocol_ = 0;
    std::uint32_t overlay_ = 0;
    std::uint32_t resolution_ = 0;
    std::uint32_t subStream_ = 1;
    bool resolutionEnabled_ = false;
    std::u16string version_;
};

}  // namespace tarvo::ops
