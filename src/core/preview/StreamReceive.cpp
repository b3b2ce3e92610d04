#include "core/preview/StreamReceive.h"

namespace tarvo::preview {

StreamEnd receiveStream(PacketRing& ring, const StreamRead& read,
                        const std::atomic<bool>& running) {
    while (running.load()) {
        const std::span<std::uint8_t> space = ring.receiveSpace();
        const long got = read(space);
        if (got <= 0) return StreamEnd::SourceEnded;
        // A reader never reports more than it was given room for; anything else is clamped
        // rather than trusted.
        const std::size_t count = static_cast<std::size_t>(got) < space.size()
                                      ? static_cast<std::size_t>(got)
                                      : space.size();
        switch (ring.commit(count)) {
            case PacketRing::Result::Ok:
                break;
            case PacketRing::Result::Oversize:
                return StreamEnd::Oversize;
            case PacketRing::Result::Closed:
                return StreamEnd::Closed;
        }
    }
    return StreamEnd::Stopped;
}

}  // namespace tarvo::preview
