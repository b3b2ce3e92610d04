// Replies on the command port: how a reply is framed on the connection, the version text, the
// header fields every reply parser reads, and the records carried in UDP replies.
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "core/net/Socket.h"
#include "core/protocol/CCamClient.h"
#include "core/protocol/CommandHeader.h"
#include "core/protocol/DeviceCommands.h"
#include "core/protocol/NetParams.h"
#include "core/protocol/VersionRules.h"

namespace {

using namespace tarvo;

// The reply arrives on a connection the device then closes; the first input byte picks the
// operation that reads it. Whatever the header announces, the reader stays inside its buffer,
// never waits (the peer has closed) and hands on a usable reply.
void readFramed(std::span<const std::uint8_t> input) {
    if (input.empty()) return;
    struct Reader {
        protocol::ReplyNeeds needs;
        std::size_t capacity;
    };
    static constexpr std::array<Reader, 4> kReaders{{
        {protocol::needsLoginResult, 2048},
        {protocol::needsVersionText, 260},
        {protocol::needsUploadAnswer, 6},
        {protocol::needsAnyByte, 256},
    }};
    const Reader& reader = kReaders[input[0] % kReaders.size()];
    const auto bytes = input.subspan(1);
    std::array<int, 2> fds{};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds.data()) != 0) return;
    const net::Socket program(fds[0]);
    const net::Socket device(fds[1]);
    if (!bytes.empty() && ::send(device.fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
                              static_cast<ssize_t>(bytes.size())) {
        return;
    }
    ::shutdown(device.fd(), SHUT_WR);
    std::vector<std::uint8_t> buffer(reader.capacity);
    const protocol::ReplyRead got = protocol::receiveReply(program, buffer, 1000, reader.needs);
    if (got.count > buffer.size() || got.count > bytes.size() || !got.usable()) std::abort();
    const std::span<const std::uint8_t> reply(buffer.data(), got.count);
    if (got.enough && !reader.needs(reply) && got.count < buffer.size()) {
        // Ended early only where the announced frame was complete.
        const auto header = protocol::CommandHeader::decode(reply);
        if (header.length < 6 || got.count < header.length) std::abort();
    }
    (void)protocol::versionFromReply(reply);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> reply(data, size);
    readFramed(reply);
    const auto header = tarvo::protocol::CommandHeader::decode(reply);
    (void)header;
    const std::u16string version = tarvo::protocol::versionFromReply(reply);
    (void)tarvo::protocol::meetsMinimumVersion(version);
    const auto params = tarvo::protocol::NetParams::decode(size > 6 ? reply.subspan(6) : reply);
    std::uint8_t encoded[tarvo::protocol::NetParams::kSize];
    params.encode(encoded);
    const auto cloud = tarvo::protocol::CloudRecord::decode(reply);
    std::uint8_t cloudBytes[tarvo::protocol::CloudRecord::kSize];
    cloud.encode(cloudBytes);
    return 0;
}
