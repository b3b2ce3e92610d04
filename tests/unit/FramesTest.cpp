#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <vector>

#include "core/protocol/CommandCodes.h"
#include "core/protocol/CommandHeader.h"
#include "core/protocol/Frames.h"
#include "support/FrameBytes.h"

using namespace tarvo::protocol;

namespace {

using tarvo::test::bytesOf;

std::vector<std::uint8_t> withZeros(std::vector<std::uint8_t> head, std::size_t total) {
    head.resize(total, 0);
    return head;
}

using tarvo::test::addr;

}  // namespace

TEST(Frames, DiscoveryRequestIsTheSixFixedBytes) {
    EXPECT_EQ(bytesOf(discoveryRequest()), (std::vector<std::uint8_t>{0x0A, 0, 0, 0, 6, 0}));
}

TEST(Frames, TcpLoginForAdminWithEmptyPassword) {
    std::vector<std::uint8_t> expected{0x00, 0x0B, 0x21, 0x1C, 0x1E, 0x00, 'a', 'd', 'm', 'i', 'n'};
    EXPECT_EQ(bytesOf(tcpLogin("admin", "")), withZeros(expected, 30));
}

TEST(Frames, TcpLoginCutsLongCredentialsToTwelveBytesWithoutTerminator) {
    const Frame f = tcpLogin("abcdefghijklmnop", "123456789012");
    ASSERT_EQ(f.size, 30u);
    EXPECT_EQ(std::string(f.bytes.begin() + 6, f.bytes.begin() + 18), "abcdefghijkl");
    EXPECT_EQ(std::string(f.bytes.begin() + 18, f.bytes.begin() + 30), "123456789012");
    // Nothing of the longer name spills past its field.
    EXPECT_EQ(f.bytes[30], 0);
}

TEST(Frames, TargetCarriesThirdAndFourthOctet) {
    EXPECT_EQ(targetFor("192.168.1.64"), 0x4001);
    const Frame f = udpQuery(cmd::kGetNetParams, targetFor("192.168.1.64"));
    EXPECT_EQ(bytesOf(f), (std::vector<std::uint8_t>{99, 0, 0x01, 0x40, 6, 0}));
    EXPECT_EQ(targetFor(addr("10.0.5.7")), 0x0705);
    // A text that is no address targets FF FF. Only 31 characters of the text count: whole,
    // this one reads 192.168.1.64; its first 31 characters read 0.0.0.0.
    EXPECT_EQ(targetFor("not an address"), 0xFFFF);
    EXPECT_EQ(targetFor("0x" + std::string(29, '0') + "c0a80140"), 0x0000);
}

TEST(Frames, U32CommandsAreTenBytesLittleEndian) {
    const Frame f = udpValue(cmd::kSetAudio, targetFor("192.168.1.64"), 0x01020304);
    EXPECT_EQ(bytesOf(f), (std::vector<std::uint8_t>{128, 0, 0x01, 0x40, 10, 0, 4, 3, 2, 1}));
    for (std::uint8_t code : {cmd::kSetProtocol, cmd::kSetOverlay, cmd::kResolveMacConflict,
                              cmd::kSetMainResolution, cmd::kSetOnvifSubStream}) {
        const Frame g = udpValue(code, 0, 1);
        EXPECT_EQ(g.size, 10u);
        EXPECT_EQ(g.bytes[4], 10);
        EXPECT_EQ(g.bytes[0], code);
    }
}

TEST(Frames, ReceiveFilterAcceptsZeroAndTheInterfaceLowOctets) {
    const std::uint32_t iface = addr("10.0.5.7");
    for (int tag : {0, 5, 7})
        EXPECT_TRUE(passesReceiveFilter(static_cast<std::uint8_t>(tag), iface)) << tag;
    for (int tag : {1, 10, 6, 255})
        EXPECT_FALSE(passesReceiveFilter(static_cast<std::uint8_t>(tag), iface)) << tag;
}

TEST(Frames, UdpLoginFieldsThatDoNotFitAreSentAsZeros) {
    const Frame f = udpLogin(targetFor("192.168.1.64"), u"admin", u"12345678901");  // 11 + NUL fits
    ASSERT_EQ(f.size, 30u);
    EXPECT_EQ(f.bytes[4], 30);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f.bytes[6])), "admin");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f.bytes[18]), 11), "12345678901");
    EXPECT_EQ(f.bytes[29], 0);

    const Frame g = udpLogin(0, u"123456789012", u"pw");  // 12 + NUL does not fit
    for (std::size_t i = 6; i < 18; ++i) EXPECT_EQ(g.bytes[i], 0) << i;
    EXPECT_EQ(g.bytes[18], 'p');
}

TEST(Frames, NetParamsFrameLayout) {
    NetParams p;
    p.address = addr("192.168.1.64");
    p.netmask = addr("255.255.255.0");
    p.gateway = addr("192.168.1.1");
    p.dns = addr("8.8.8.8");
    p.httpPort = 0x1F90;
    p.reserved = 0xBEEF;
    p.dhcp = 1;
    p.opaque = 0xA1B2C3D4;
    const Frame f = udpNetParams(targetFor("192.168.1.64"), p);
    std::vector<std::uint8_t> expected{
        106, 0, 0x01, 0x40, 34, 0,    192,  168,  1,    64, 255, 255, 255, 0,    192,  168,  1,
        1,   8, 8,    8,    8,  0x90, 0x1F, 0xEF, 0xBE, 1,  0,   0,   0,   0xD4, 0xC3, 0xB2, 0xA1};
    EXPECT_EQ(bytesOf(f), expected);
    EXPECT_EQ(NetParams::decode(std::span<const std::uint8_t>(f.bytes).subspan(6, 28)), p);
}

TEST(Frames, CloudFrameIs138BytesWithSignedId) {
    CloudRecord c;
    c.identity[0] = 'X';
    c.password[0] = 'p';
    c.password[63] = 'z';
    c.deviceId = -2;
    const Frame f = udpCloud(0x0102, c);
    ASSERT_EQ(f.size, 138u);
    EXPECT_EQ(f.bytes[0], 123);
    EXPECT_EQ(f.bytes[4], 138);
    EXPECT_EQ(f.bytes[6], 'X');
    EXPECT_EQ(f.bytes[70], 'p');
    EXPECT_EQ(f.bytes[133], 'z');
    EXPECT_EQ((std::vector<std::uint8_t>(f.bytes.begin() + 134, f.bytes.begin() + 138)),
              (std::vector<std::uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(CloudRecord::decode(std::span<const std::uint8_t>(f.bytes).subspan(6, 132)), c);
}

TEST(Frames, TcpQueriesAndUploadFrames) {
    EXPECT_EQ(bytesOf(tcpQuery(cmd::kReboot)), (std::vector<std::uint8_t>{0x82, 0, 0, 0, 6, 0}));
    EXPECT_EQ(bytesOf(tcpQuery(cmd::kCameraVersion)),
              (std::vector<std::uint8_t>{0x67, 0, 0, 0, 6, 0}));
    EXPECT_EQ(bytesOf(tcpQueryWithTarget(cmd::kSetNvrResolution, 5)),
              (std::vector<std::uint8_t>{0xE9, 0, 5, 0, 6, 0}));
    // 65536 bytes: upper half 1 in target, lower half 0 in length.
    EXPECT_EQ(bytesOf(uploadSizeFrame(cmd::kCameraUpload, 65536)),
              (std::vector<std::uint8_t>{0x66, 0, 1, 0, 0, 0}));
    EXPECT_EQ(bytesOf(uploadSizeFrame(cmd::kNvrUpload, 0x12345678)),
              (std::vector<std::uint8_t>{0xE6, 0, 0x34, 0x12, 0x78, 0x56}));

    const Frame a = uploadNameFrame(cmd::kCameraUpload, u"IPC_V00.00.22.06.img");
    ASSERT_EQ(a.size, 134u);
    EXPECT_EQ(bytesOf(a)[4], 134);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&a.bytes[6])), "IPC_V00.00.22.06.img");
    const Frame tooLong = uploadNameFrame(cmd::kCameraUpload, std::u16string(128, u'a'));
    for (std::size_t i = 6; i < 134; ++i) ASSERT_EQ(tooLong.bytes[i], 0) << i;
    const Frame fits = uploadNameFrame(cmd::kCameraUpload, std::u16string(127, u'a'));
    EXPECT_EQ(fits.bytes[132], 'a');
    EXPECT_EQ(fits.bytes[133], 0);
}

TEST(CommandHeader, DecodesLittleEndianAndReadsMissingBytesAsZero) {
    const std::uint8_t full[] = {100, 7, 0xB5, 0x00, 0x20, 0x01};
    EXPECT_EQ(CommandHeader::decode(full), (CommandHeader{100, 7, 181, 288}));
    const std::uint8_t shortFrame[] = {100, 7, 0xB5};
    EXPECT_EQ(CommandHeader::decode(shortFrame), (CommandHeader{100, 7, 181, 0}));
    EXPECT_EQ(CommandHeader::decode({}), CommandHeader{});
}
