#include "core/preview/StreamWire.h"

#include <algorithm>

#include "core/protocol/ByteIo.h"
#include "core/text/Messages.h"
#include "core/text/Translate.h"

namespace tarvo::preview {

StreamRequest streamRequest(int deviceType, int streamChoice) {
    StreamRequest request{};
    protocol::ByteWriter out(request);
    const bool nvr = deviceType == kNvrType;
    const std::uint16_t channel = nvr ? 255 : 0;
    out.u8(0, 0);
    out.u8(1, 0);
    out.u16(2, channel);
    out.u32(4, 100u + channel);
    out.u8(8, nvr ? 1 : static_cast<std::uint8_t>(streamChoice));
    return request;
}

StreamReply parseStreamReply(std::span<const std::uint8_t> reply) {
    const protocol::ByteReader in(reply);
    return {in.u16(8), in.u16(12), in.u8(26)};
}

bool claimsUsableSize(const StreamReply& reply) {
    const auto inRange = [](int side) {
        return side >= kMinClaimedSide && side <= kMaxClaimedSide;
    };
    return inRange(reply.width) && inRange(reply.height);
}

StreamSizes sizesFor(const StreamReply& reply) {
    if (!claimsUsableSize(reply)) return {1920, 1080, 0, 0};
    return {reply.width, reply.height, reply.width, reply.height};
}

bool decodesAsHevc(int codecCode) {
    return codecCode == 3 || codecCode == 4;
}

std::u16string previewTitle(int width, int height, int codecCode) {
    const auto number = [](int value) {
        const std::string digits = std::to_string(value);
        return std::u16string(digits.begin(), digits.end());
    };
    const bool h264 = codecCode == 1 || codecCode == 2;
    return text::formatText(text::tr(text::msg::kPreviewTitleFormat),
                            {number(width), number(height), h264 ? u"H264" : u"H265"});
}

WindowPlacement placeOnScreen(int videoWidth, int videoHeight, int screenWidth, int screenHeight) {
    WindowPlacement place;
    place.width = std::min(videoWidth, screenWidth);
    place.height = std::min(videoHeight, screenHeight);
    place.left = (screenWidth - place.width) / 2;
    place.top = (screenHeight - place.height) / 2;
    return place;
}

}  // namespace tarvo::preview
