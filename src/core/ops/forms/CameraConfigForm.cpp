#include "core/ops/forms/CameraConfigForm.h"

#include <algorithm>

#include "core/net/NetworkInterfaces.h"
#include "core/ops/forms/UdpSession.h"
#include "core/protocol/CommandCodes.h"

namespace tarvo::ops {

namespace {
bool isBinary(std::uint32_t value) {
    return value == 0 || value == 1;
}
bool isChoice(int index) {
    return index == 0 || index == 1;
}
}  // namespace

void CameraConfigForm::SetProtocol(std::uint32_t value) {
    if (isBinary(value)) protocol_ = value;
}

void CameraConfigForm::SetOverlay(std::uint32_t value) {
    if (isBinary(value)) overlay_ = value;
}

void CameraConfigForm::SetSubStream(std::uint32_t value) {
    if (value == 1 || value == 2) subStream_ = value;
}

void CameraConfigForm::SetResolution(std::uint32_t value, bool enabled) {
    if (!isBinary(value)) return;
    resolution_ = value;
    resolutionEnabled_ = enabled;
}

void CameraConfigForm::SetVersion(std::u16string_view version) {
    version_ = std::u16string(version.substr(0, std::min<std::size_t>(version.size(), 31)));
}

void CameraConfigForm::accept(int protocolIndex, int overlayIndex, int resolutionIndex,
                              int subStreamIndex) {
    if (isChoice(protocolIndex)) protocol_ = static_cast<std::uint32_t>(protocolIndex);
    if (isChoice(overlayIndex)) overlay_ = static_cast<std::uint32_t>(overlayIndex);
    if (isChoice(resolutionIndex)) resolution_ = static_cast<std::uint32_t>(resolutionIndex);
    if (isChoice(subStreamIndex)) subStream_ = static_cast<std::uint32_t>(subStreamIndex + 1);
}

bool CameraConfigForm::fixMac(UdpSession& session) const {
    std::uint32_t camera = 0;
    if (!net::parseIPv4(cameraIp_, camera)) camera = 0;
    session.cache().expectMacReassigned(camera);
    return session.send(cameraIp_, protocol::udpValue(protocol::cmd::kResolveMacConflict,
                                                      protocol::targetFor(cameraIp_), 0));
}

}  // namespace tarvo::ops
