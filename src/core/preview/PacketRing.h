#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "core/preview/StreamWire.h"

namespace tarvo::preview {

// The preview's ten packet slots. The receive thread reads from the socket straight into the
// slot being filled and assembles packets in place; the decode thread takes whole packets in
// order. Nothing is allocated after construction; only the surplus of a read that straddles two
// packets is copied. Both sides wait on condition variables: the receiver while all ten slots
// are full, the decoder while none is.
class PacketRing {
public:
    static constexpr std::size_t kSlotCount = 10;
    static constexpr std::size_t kSlotSize = 0x300000;  // 3 MiB, header included
    static constexpr std::size_t kMaxPayload = kSlotSize - kPacketHeaderSize;
    static constexpr std::size_t kReadSize = 2000;

    enum class Result {
        Ok,
        Oversize,  // a header announced more than a slot holds: the stream cannot be trusted
        Closed,    // close() was called while waiting for a free slot
    };

    PacketRing();
    PacketRing(const PacketRing&) = delete;
    PacketRing& operator=(const PacketRing&) = delete;

    // Receive side (one thread).
    // Where the next read goes: the write slot at the current fill, at most kReadSize bytes.
    std::span<std::uint8_t> receiveSpace();
    // Takes `count` bytes just read into receiveSpace(): completes packets, moves a surplus to
    // the next slot. Waits for the decoder when the next slot is still occupied.
    Result commit(std::size_t count);

    // Decode side (one thread).
    // The oldest whole packet (header first); null once the ring is closed.
    const std::uint8_t* waitPacket();
    // Like waitPacket() but gives up at once: null when nothing is waiting.
    const std::uint8_t* peekPacket();
    // Frees the packet returned last.
    void release();

    // Wakes both sides for good; later waits return at once.
    void close();
    // Makes the ring usable again (a new stream). Only while neither side runs.
    void reset();

    [[nodiscard]] int filled() const;
    [[nodiscard]] std::size_t fill() const { return fill_; }
    [[nodiscard]] std::size_t writeSlot() const { return writeSlot_; }
    [[nodiscard]] std::size_t readSlot() const { return readSlot_; }
    [[nodiscard]] const std::uint8_t* slot(std::size_t index) const {
        return slots_.get() + index * kSlotSize;
    }

private:
    std::uint8_t* slotData(std::size_t index) { return slots_.get() + index * kSlotSize; }
    // One packet done: count it and wait until the next slot may be written.
    bool advance();

    std::unique_ptr<std::uint8_t[]> slots_;
    mutable std::mutex mutex_;
    std::condition_variable slotFreed_;
    std::condition_variable packetReady_;
    int filled_ = 0;       // whole packets waiting, guarded by mutex_
    bool closed_ = false;  // guarded by mutex_
    // Owned by the receive side.
    std::size_t writeSlot_ = 0;
    std::size_t fill_ = 0;
    // Owned by the decode side.
    std::size_t readSlot_ = 0;
};

}  // namespace tarvo::preview
