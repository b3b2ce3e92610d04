// The stream request and reply, the codec choice, the window title and placement.
#include <gtest/gtest.h>

#include <array>

#include "core/preview/NalScan.h"
#include "core/preview/StreamWire.h"
#include "core/text/UiTextTable.h"

using namespace tarvo::preview;

TEST(StreamWire, RequestForCameraAndNvr) {
    const StreamRequest cameraMain{0, 0, 0, 0, 0x64, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(streamRequest(100, 0), cameraMain);
    EXPECT_EQ(streamRequest(100, 2)[8], 2);
    EXPECT_EQ(streamRequest(89, 1)[8], 1);
    const StreamRequest nvr{0, 0, 0xFF, 0, 0x63, 0x01, 0, 0, 1, 0, 0, 0};
    // An NVR is asked for stream 1 whatever was chosen.
    for (int choice : {0, 1, 2}) EXPECT_EQ(streamRequest(181, choice), nvr);
}

TEST(StreamWire, ReplyFieldsAndShortReplies) {
    std::array<std::uint8_t, 32> reply{};
    reply[8] = 0x00;
    reply[9] = 0x0F;  // 3840
    reply[12] = 0x70;
    reply[13] = 0x08;  // 2160
    reply[26] = 3;
    const auto r = parseStreamReply(reply);
    EXPECT_EQ(r.width, 3840);
    EXPECT_EQ(r.height, 2160);
    EXPECT_EQ(r.codecCode, 3);
    const auto shortReply = parseStreamReply(std::span(reply).first(13));
    EXPECT_EQ(shortReply.width, 3840);
    EXPECT_EQ(shortReply.height, 0x70);
    EXPECT_EQ(shortReply.codecCode, 0);
}

TEST(StreamWire, CodecChoiceAndTitle) {
    EXPECT_FALSE(decodesAsHevc(0));
    EXPECT_FALSE(decodesAsHevc(1));
    EXPECT_FALSE(decodesAsHevc(2));
    EXPECT_TRUE(decodesAsHevc(3));
    EXPECT_TRUE(decodesAsHevc(4));
    EXPECT_FALSE(decodesAsHevc(5));
    tarvo::text::buildUiText(tarvo::text::kLanguageChinese);
    EXPECT_EQ(previewTitle(1920, 1080, 1), u"宽 x 高：1920 x 1080 , 编码模式：H264");
    EXPECT_EQ(previewTitle(1920, 1080, 2), u"宽 x 高：1920 x 1080 , 编码模式：H264");
    // Code 0 decodes as H.264 but is titled H265, as devices have always shown it.
    EXPECT_EQ(previewTitle(1280, 720, 0), u"宽 x 高：1280 x 720 , 编码模式：H265");
    EXPECT_EQ(previewTitle(3840, 2160, 3), u"宽 x 高：3840 x 2160 , 编码模式：H265");
    // No stream: zeros, H265 form.
    EXPECT_EQ(previewTitle(0, 0, 0), u"宽 x 高：0 x 0 , 编码模式：H265");
}

TEST(StreamWire, WindowClampedToScreenAndCentred) {
    const auto big = placeOnScreen(3840, 2160, 1920, 1080);
    EXPECT_EQ(big.width, 1920);
    EXPECT_EQ(big.height, 1080);
    EXPECT_EQ(big.left, 0);
    EXPECT_EQ(big.top, 0);
    const auto small = placeOnScreen(1280, 720, 1920, 1080);
    EXPECT_EQ(small.width, 1280);
    EXPECT_EQ(small.height, 720);
    EXPECT_EQ(small.left, 320);
    EXPECT_EQ(small.top, 180);
    const auto tall = placeOnScreen(1000, 2000, 1920, 1080);
    EXPECT_EQ(tall.width, 1000);
    EXPECT_EQ(tall.height, 1080);
    EXPECT_EQ(tall.left, 460);
    EXPECT_EQ(tall.top, 0);
}

TEST(StreamWire, PacketHeaderTypeIsTheLowNibble) {
    std::array<std::uint8_t, 18> header{};
    header[0] = 0x91;
    header[6] = 0x10;
    header[7] = 0x27;
    EXPECT_EQ(packetType(header.data()), 1);
    EXPECT_EQ(packetPayloadLength(header.data()), 10000u);
}

TEST(NalScan, FindsPicturesADecoderCanStartFrom) {
    const std::array<std::uint8_t, 12> h264Idr{0, 0, 0, 1, 0x67, 0x42, 0, 0, 1, 0x65, 0x88, 0};
    const std::array<std::uint8_t, 8> h264P{0, 0, 0, 1, 0x41, 0x9A, 0, 0};
    EXPECT_TRUE(startsDecoding(h264Idr, false));
    EXPECT_FALSE(startsDecoding(h264P, false));
    const std::array<std::uint8_t, 8> hevcIdr{0, 0, 1, 0x26, 0x01, 0xAF, 0, 0};    // type 19
    const std::array<std::uint8_t, 8> hevcTrail{0, 0, 1, 0x02, 0x01, 0xD0, 0, 0};  // type 1
    EXPECT_TRUE(startsDecoding(hevcIdr, true));
    EXPECT_FALSE(startsDecoding(hevcTrail, true));
    EXPECT_FALSE(startsDecoding(std::span<const std::uint8_t>(), true));
}

TEST(NalScan, TellsWhereAnAccessUnitBegins) {
    const std::array<std::uint8_t, 6> sps{0, 0, 0, 1, 0x67, 0x42};
    const std::array<std::uint8_t, 5> firstSlice{0, 0, 1, 0x41, 0x9A};  // first_mb 0
    const std::array<std::uint8_t, 5> laterSlice{0, 0, 1, 0x41, 0x1A};  // first_mb > 0
    const std::array<std::uint8_t, 5> noStartCode{0x41, 0x9A, 0, 0, 1};
    EXPECT_TRUE(startsAccessUnit(sps, false));
    EXPECT_TRUE(startsAccessUnit(firstSlice, false));
    EXPECT_FALSE(startsAccessUnit(laterSlice, false));
    EXPECT_FALSE(startsAccessUnit(noStartCode, false));
    const std::array<std::uint8_t, 7> vps{0, 0, 0, 1, 0x40, 0x01, 0x0C};
    const std::array<std::uint8_t, 6> hevcFirst{0, 0, 1, 0x02, 0x01, 0xD0};
    const std::array<std::uint8_t, 6> hevcLater{0, 0, 1, 0x02, 0x01, 0x50};
    EXPECT_TRUE(startsAccessUnit(vps, true));
    EXPECT_TRUE(startsAccessUnit(hevcFirst, true));
    EXPECT_FALSE(startsAccessUnit(hevcLater, true));
    EXPECT_FALSE(startsAccessUnit(std::span<const std::uint8_t>(), true));
}
