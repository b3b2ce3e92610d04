#include "core/protocol/NetParams.h"

#include "core/protocol/ByteIo.h"

namespace tarvo::protocol {

void NetParams::encode(std::span<std::uint8_t> out) const {
    ByteWriter w(out);
    writeAddress(w, 0, address);
    writeAddress(w, 4, netmask);
    writeAddress(w, 8, gateway);
    writeAddress(w, 12, dns);
    w.u16(16, httpPort);
    w.u16(18, reserved);
    w.u32(20, dhcp);
    w.u32(24, opaque);
}

NetParams NetParams::decode(std::span<const std::uint8_t> in) {
    const ByteReader r(in);
    NetParams p;
    p.address = readAddress(r, 0);
    p.netmask = readAddress(r, 4);
    p.gateway = readAddress(r, 8);
    p.dns = readAddress(r, 12);
    p.httpPort = r.u16(16);
    p.reserved = r.u16(18);
    p.dhcp = r.u32(20);
    p.opaque = r.u32(24);
    return p;
}

void CloudRecord::encode(std::span<std::uint8_t> out) const {
    ByteWriter w(out);
    for (std::size_t i = 0; i < identity.size(); ++i)
        w.u8(i, static_cast<std::uint8_t>(identity[i]));
    for (std::size_t i = 0; i < password.size(); ++i)
        w.u8(64 + i, static_cast<std::uint8_t>(password[i]));
    w.u32(128, static_cast<std::uint32_t>(deviceId));
}

CloudRecord CloudRecord::decode(std::span<const std::uint8_t> in) {
    const ByteReader r(in);
    CloudRecord c;
    for (std::size_t i = 0; i < c.identity.size(); ++i) c.identity[i] = static_cast<char>(r.u8(i));
    for (std::size_t i = 0; i < c.password.size(); ++i)
        c.password[i] = static_cast<char>(r.u8(64 + i));
    c.deviceId = static_cast<std::int32_t>(r.u32(128));
    return c;
}

}  // namespace tarvo::protocol
