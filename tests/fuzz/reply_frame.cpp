// Any frame the MAC helper's socket can hand it (the filter lets through few, but the reader
// does not count on it), on any interface, and any record on its pipe as the programs read it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/net/ReplyFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    const int interfaceIndex = data[0] % 4;  // 0: no interface
    if (const auto frame = tarvo::net::readReplyFrame(bytes, interfaceIndex)) {
        // What the helper writes the programs read back the same.
        const auto record = tarvo::net::frameRecord(*frame);
        if (tarvo::net::readFrameRecord(record) != frame) __builtin_trap();
    }
    if (bytes.size() >= tarvo::net::kReplyRecordSize) {
        const std::span<const std::uint8_t, tarvo::net::kReplyRecordSize> record(
            bytes.data(), tarvo::net::kReplyRecordSize);
        (void)tarvo::net::readFrameRecord(record);
        (void)tarvo::net::readSyncRecord(record);
        (void)tarvo::net::isReadyRecord(record);
    }
    return 0;
}
