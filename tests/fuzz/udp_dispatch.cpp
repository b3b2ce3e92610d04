// Any datagram a device (or anything else on the group) can send, through the receive filter
// and the dispatcher into the device table and the reply cache.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/discovery/DeviceTable.h"
#include "core/discovery/DiscoveryEngine.h"
#include "core/net/MacResolver.h"
#include "core/text/Notifier.h"

namespace {

class QuietNotifier : public tarvo::text::Notifier {
public:
    void message(std::u16string_view) override {}
    void systemError(std::u16string_view) override {}
};

class AnyMac : public tarvo::net::MacResolver {
public:
    std::optional<tarvo::net::MacAddress> resolve(std::uint32_t address) override {
        if ((address & 0xFF000000u) == 0) return std::nullopt;  // some addresses do not resolve
        return tarvo::net::MacAddress{2, 0, 0, 0, 0, static_cast<std::uint8_t>(address)};
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QuietNotifier notifier;
    static AnyMac mac;
    tarvo::discovery::DeviceTable table;
    tarvo::discovery::DiscoveryEngine engine(table, mac, notifier);
    engine.setIgnoreReplies(false);
    // The first four bytes choose the sender; the rest is split into datagrams of at most 1,024
    // bytes at the lengths the next byte gives, as a burst from one device would arrive.
    std::uint32_t sender = 0x0100000A;  // 10.0.0.1
    std::size_t at = 0;
    if (size >= 4) {
        sender = static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
                 (static_cast<std::uint32_t>(data[2]) << 16) |
                 (static_cast<std::uint32_t>(data[3]) << 24);
        at = 4;
    }
    // The first sender is the device asked: its settings replies reach the cache.
    using Reply = tarvo::discovery::ReplyCache::Reply;
    for (const Reply reply : {Reply::NetParams, Reply::Audio, Reply::Protocol, Reply::Overlay,
                              Reply::OnvifSubStream, Reply::Cloud, Reply::Login})
        engine.replyCache().expect(reply, sender);
    engine.replyCache().expectMacReassigned(sender);
    const std::uint32_t interfaceAddress = 0x0705000A;  // 10.0.5.7
    while (at < size) {
        const std::size_t want = data[at++] * 5u;
        const std::size_t len = want < size - at ? want : size - at;
        engine.handleDatagram(nullptr, interfaceAddress,
                              std::span<const std::uint8_t>(data + at, len > 1024 ? 1024 : len),
                              sender++);
        at += len;
    }
    // Whatever was listed must be readable and sortable.
    for (int column = 0; column < tarvo::discovery::kColumnCount; ++column)
        table.Sort(column, column % 2 == 0);
    return 0;
}
