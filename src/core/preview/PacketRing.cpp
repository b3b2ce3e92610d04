#include "core/preview/PacketRing.h"

#include <algorithm>
#include <cstring>

namespace tarvo::preview {

PacketRing::PacketRing()
    // Not zeroed: pages are touched only as packets arrive.
    : slots_(std::make_unique_for_overwrite<std::uint8_t[]>(kSlotCount * kSlotSize)) {}

std::span<std::uint8_t> PacketRing::receiveSpace() {
    const std::size_t room = std::min(kReadSize, kSlotSize - fill_);
    return {slotData(writeSlot_) + fill_, room};
}

bool PacketRing::advance() {
    std::unique_lock lock(mutex_);
    ++filled_;
    packetReady_.notify_one();
    writeSlot_ = (writeSlot_ + 1) % kSlotCount;
    // The next slot is still the decoder's while all ten are waiting.
    slotFreed_.wait(lock, [this] { return closed_ || filled_ < static_cast<int>(kSlotCount); });
    return !closed_;
}

PacketRing::Result PacketRing::commit(std::size_t count) {
    fill_ += count;
    while (fill_ > kPacketHeaderSize) {
        const std::uint8_t* packet = slotData(writeSlot_);
        const std::size_t length = packetPayloadLength(packet);
        if (length > kMaxPayload) return Result::Oversize;
        const std::size_t got = fill_ - kPacketHeaderSize;
        if (got < length) break;  // wait for the rest
        const std::size_t surplus = got - length;
        const std::size_t from = writeSlot_;
        if (!advance()) return Result::Closed;
        fill_ = surplus;
        if (surplus > 0) {
            // The old slot is not written again before the ring comes round, so its tail is
            // still intact even if the decoder has consumed the packet meanwhile.
            std::memcpy(slotData(writeSlot_), slotData(from) + kPacketHeaderSize + length, surplus);
        }
    }
    if (fill_ >= kPacketLengthOffset + 4 && packetPayloadLength(slotData(writeSlot_)) > kMaxPayload)
        return Result::Oversize;
    return Result::Ok;
}

const std::uint8_t* PacketRing::waitPacket() {
    std::unique_lock lock(mutex_);
    packetReady_.wait(lock, [this] { return closed_ || filled_ > 0; });
    if (closed_) return nullptr;
    return slotData(readSlot_);
}

const std::uint8_t* PacketRing::peekPacket() {
    std::lock_guard lock(mutex_);
    if (closed_ || filled_ <= 0) return nullptr;
    return slotData(readSlot_);
}

void PacketRing::release() {
    std::lock_guard lock(mutex_);
    if (filled_ <= 0) return;
    readSlot_ = (readSlot_ + 1) % kSlotCount;
    --filled_;
    slotFreed_.notify_one();
}

void PacketRing::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    slotFreed_.notify_all();
    packetReady_.notify_all();
}

void PacketRing::reset() {
    std::lock_guard lock(mutex_);
    closed_ = false;
    filled_ = 0;
    writeSlot_ = 0;
    readSlot_ = 0;
    fill_ = 0;
}

int PacketRing::filled() const {
    std::lock_guard lock(mutex_);
    return filled_;
}

}  // namespace tarvo::preview
