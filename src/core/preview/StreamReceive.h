#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "core/preview/PacketRing.h"

namespace tarvo::preview {

// Why the receive side stopped.
enum class StreamEnd {
    SourceEnded,  // the read gave nothing more: closed, failed or timed out
    Oversize,     // a header announced more than a slot holds; nothing after it can be framed
    Closed,       // the ring was closed while the receiver waited for a free slot
    Stopped,      // `running` turned false
};

// Reads into `space` and returns the bytes put there; 0 or less ends the stream.
using StreamRead = std::function<long(std::span<std::uint8_t> space)>;

// The receive side of the preview: reads the stream straight into the ring's slots, where the
// ring cuts it into packets, until one of the ends above. No socket is involved here, so the
// same loop runs on a real connection and on bytes from anywhere else.
StreamEnd receiveStream(PacketRing& ring, const StreamRead& read, const std::atomic<bool>& running);

}  // namespace tarvo::preview
