// The preview's receive side fed arbitrary bytes cut into arbitrary reads: the packets the
// decode side takes must be exactly the ones a plain sequential reader frames from the same
// bytes, in order, each read landing inside the slot being filled; a length that does not fit
// a slot ends the stream as soon as its header field is in.
//
// The stream's 32-byte reply comes first on the connection: whatever width and height it
// claims, what the client sets up from it stays within what a window can show (or waits for
// the first picture), and the decoder is set up with a size it accepts.
//
// Input: byte 0: bit 7 set when a 32-byte reply follows the read sizes; the rest modulo 33
// gives how many read sizes follow (0 to 32, none means full reads); each size byte c asks for
// 1 + c² · 2000 / 255² bytes, used in turn. The rest is the stream.
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <thread>
#include <vector>

#include "core/preview/AvPictureDecoder.h"
#include "core/preview/PacketRing.h"
#include "core/preview/StreamReceive.h"
#include "core/preview/StreamWire.h"

namespace {

using tarvo::preview::kPacketHeaderSize;
using tarvo::preview::kStreamReplySize;
using tarvo::preview::PacketRing;
using tarvo::preview::StreamEnd;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "stream assembler: %s\n", what);
    std::abort();
}

struct Framed {
    std::size_t offset = 0;  // of the header in the stream
    std::size_t length = 0;  // payload bytes
};

struct Reference {
    std::vector<Framed> packets;
    bool oversize = false;
    std::size_t oversizeKnownAt = 0;  // stream bytes needed to see the bad length
};

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Frames the whole stream at once: 18-byte header, little-endian payload length at offset 6.
// A packet without payload is handed over once a byte after it has arrived.
Reference frame(std::span<const std::uint8_t> stream) {
    Reference ref;
    std::size_t at = 0;
    while (stream.size() - at >= 10) {
        const std::uint32_t length = le32(stream.data() + at + 6);
        if (length > PacketRing::kSlotSize - kPacketHeaderSize) {
            ref.oversize = true;
            ref.oversizeKnownAt = at + 10;
            break;
        }
        const std::size_t rest = stream.size() - at;
        if (rest < kPacketHeaderSize + length) break;
        if (length == 0 && rest == kPacketHeaderSize) break;
        ref.packets.push_back({at, length});
        at += kPacketHeaderSize + length;
    }
    return ref;
}

// The decode side: takes every packet as the preview's decode thread does and checks it.
struct Taker {
    PacketRing& ring;
    std::span<const std::uint8_t> stream;
    const Reference& ref;
    std::atomic<std::size_t> taken{0};
    std::atomic<const char*> error{nullptr};
    std::size_t video = 0;
    std::size_t skipped = 0;

    void run() {
        for (;;) {
            const std::uint8_t* packet = ring.waitPacket();
            if (packet == nullptr) return;
            check(packet);
            ring.release();
            taken.fetch_add(1);
        }
    }

    void check(const std::uint8_t* packet) {
        const std::size_t index = taken.load();
        if (packet != ring.slot(ring.readSlot()))
            return note("packet not at the start of its slot");
        if (index >= ref.packets.size()) return note("more packets than the stream frames");
        const Framed& want = ref.packets[index];
        const std::uint32_t length = tarvo::preview::packetPayloadLength(packet);
        if (length != want.length) return note("payload length differs");
        if (kPacketHeaderSize + length > PacketRing::kSlotSize)
            return note("packet beyond its slot");
        if (std::memcmp(packet, stream.data() + want.offset, kPacketHeaderSize + length) != 0)
            return note("packet bytes differ from the stream");
        const int type = tarvo::preview::packetType(packet);
        if (type != (stream[want.offset] & 0x0F)) return note("packet type differs");
        if (type == static_cast<int>(tarvo::preview::PacketType::Video)) {
            ++video;
        } else {
            ++skipped;
        }
    }

    void note(const char* what) {
        const char* none = nullptr;
        error.compare_exchange_strong(none, what);
    }
};

void checkReply(const tarvo::preview::StreamReply& reply) {
    using tarvo::preview::AvPictureDecoder;
    using tarvo::preview::kMaxClaimedSide;
    using tarvo::preview::kMinClaimedSide;
    const auto sizes = tarvo::preview::sizesFor(reply);
    const auto decoderAccepts = [](int side) {
        return side >= AvPictureDecoder::kMinSide && side <= AvPictureDecoder::kMaxSide;
    };
    if (!decoderAccepts(sizes.decoderWidth) || !decoderAccepts(sizes.decoderHeight))
        fail("the decoder is set up with a size it refuses");
    const bool none = sizes.surfaceWidth == 0 && sizes.surfaceHeight == 0;
    const auto shown = [](int side) { return side >= kMinClaimedSide && side <= kMaxClaimedSide; };
    if (!none && !(shown(sizes.surfaceWidth) && shown(sizes.surfaceHeight)))
        fail("a surface set up at a size no window can show");
    if (!none && (sizes.surfaceWidth != reply.width || sizes.surfaceHeight != reply.height))
        fail("a surface of another size than claimed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One ring for every input, as one preview window uses one for each stream it opens.
    static auto* ring = new PacketRing();
    if (size == 0) return 0;
    const std::size_t splitCount = std::min<std::size_t>((data[0] & 0x7F) % 33, size - 1);
    const std::span<const std::uint8_t> splits(data + 1, splitCount);
    std::span<const std::uint8_t> stream(data + 1 + splitCount, size - 1 - splitCount);
    if ((data[0] & 0x80) != 0) {
        const auto replyBytes = stream.first(std::min(stream.size(), kStreamReplySize));
        stream = stream.subspan(replyBytes.size());
        checkReply(tarvo::preview::parseStreamReply(replyBytes));
    }
    const Reference ref = frame(stream);

    ring->reset();
    Taker taker{*ring, stream, ref};
    std::thread decodeSide([&taker] { taker.run(); });

    std::size_t fed = 0;
    std::size_t lastRead = 0;
    std::size_t reads = 0;
    const char* readError = nullptr;
    const auto read = [&](std::span<std::uint8_t> space) -> long {
        const std::uint8_t* slot = ring->slot(ring->writeSlot());
        if (space.empty() || space.size() > PacketRing::kReadSize || space.data() < slot ||
            space.data() + space.size() > slot + PacketRing::kSlotSize) {
            readError = "read space outside the slot being filled";
            return 0;
        }
        std::size_t want = PacketRing::kReadSize;
        if (!splits.empty()) {
            const std::size_t c = splits[reads % splits.size()];
            want = 1 + c * c * 2000 / (255 * 255);
        }
        ++reads;
        const std::size_t n = std::min({want, space.size(), stream.size() - fed});
        std::memcpy(space.data(), stream.data() + fed, n);
        fed += n;
        lastRead = n;
        return static_cast<long>(n);
    };
    const std::atomic<bool> running{true};
    const StreamEnd end = tarvo::preview::receiveStream(*ring, read, running);

    // Let the decode side take what is waiting, then end it as stop() does.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ring->filled() > 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    const bool drained = ring->filled() == 0;
    ring->close();
    decodeSide.join();

    if (readError != nullptr) fail(readError);
    if (!drained) fail("packets left in the ring that nobody can take");
    if (const char* error = taker.error.load()) fail(error);
    if (taker.taken.load() != ref.packets.size()) fail("fewer packets than the stream frames");
    if (ref.oversize) {
        if (end != StreamEnd::Oversize) fail("an oversize length did not end the stream");
        // Ended by the very read that completed the length field.
        if (fed < ref.oversizeKnownAt || fed - lastRead >= ref.oversizeKnownAt)
            fail("oversize length noticed at the wrong read");
    } else if (end != StreamEnd::SourceEnded || fed != stream.size()) {
        fail("the stream ended early");
    }
    return 0;
}
