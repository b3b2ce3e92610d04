// Replies on the command port: the version text, the header fields every reply parser reads,
// and the records carried in UDP replies.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/protocol/CommandHeader.h"
#include "core/protocol/DeviceCommands.h"
#include "core/protocol/NetParams.h"
#include "core/protocol/VersionRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> reply(data, size);
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
