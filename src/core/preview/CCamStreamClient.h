#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>

#include "core/preview/CDecoder.h"
#include "core/preview/PacketRing.h"
#include "core/preview/Renderer.h"
#include "core/preview/StreamWire.h"
#include "core/protocol/CCamClient.h"

namespace tarvo::preview {

// The camera client with its stream side: the command connection stays open while the stream
// connection (command port + 1) delivers media packets. A receive thread fills the packet
// ring, a decode thread decodes the video packets and draws each picture with the renderer.
//
// Use from one thread (the window's): construct, startPreview(), read reply()/title(), and
// stop() (or destroy) when the window closes. stop() wakes both threads and joins them; no
// thread is ever killed, and none touches the client after stop() returned.
class CCamStreamClient final : public protocol::CCamClient {
public:
    static constexpr int kStreamIoTimeoutMs = 15000;
    static constexpr int kSocketBufferBytes = 0x500000;
    static constexpr int kLingerSeconds = 4;

    // Called on the decode thread for every packet, before it is decoded: its type and payload.
    using PacketTap = std::function<void(int type, std::span<const std::uint8_t> header,
                                         std::span<const std::uint8_t> payload)>;

    struct Stats {
        std::uint64_t packets = 0;         // whole packets taken by the decode thread
        std::uint64_t videoPackets = 0;    // type 0
        std::uint64_t skippedPackets = 0;  // type 1 and unknown types
        std::uint64_t pictures = 0;        // pictures drawn
        std::uint64_t decoderFaults = 0;   // chunks whose decoding raised an exception
        bool receiveEnded = false;         // the stream connection ended (stalled preview)
        bool oversizePacket = false;       // ended because a packet would not fit a slot
    };

    // `renderer` may be null (nothing is drawn); `window` is handed to its initialise().
    CCamStreamClient(const protocol::LoginInfo& info, text::Notifier& notifier,
                     std::unique_ptr<Renderer> renderer, void* window = nullptr);
    ~CCamStreamClient() override;

    // Initialises the renderer, opens the command connection (a failure is reported and the
    // preview goes on) and starts the stream. Always 1.
    int startPreview();
    // Stream connection, request, reply, decoder and surface, then both threads. True when
    // both threads run. Messages: "connect error!" when the stream port cannot be reached, the
    // decoder and display texts when those cannot be set up (streaming goes on after them).
    bool startStream();
    // Ends both threads, closes both connections, frees the decoder and the renderer.
    void stop() override;

    // Before startStream() only.
    void setPacketTap(PacketTap tap) { tap_ = std::move(tap); }
    // Before startStream() only: the longest the stream's connect and its reply may take, when
    // shorter than their own limits (a caller with a deadline of its own). 0: those limits.
    void setStartLimitMs(int ms) { startLimitMs_ = ms; }
    // Before startStream() only: at most this many decoding threads (0: the decoder's choice),
    // for a window that plays many streams at once.
    void setDecoderThreads(int count) { decoderThreads_ = count; }

    [[nodiscard]] const StreamReply& reply() const { return reply_; }
    [[nodiscard]] std::span<const std::uint8_t> replyBytes() const { return replyBytes_; }
    // The preview window's title for the reply (zeros before one arrived).
    [[nodiscard]] std::u16string title() const;
    [[nodiscard]] Stats stats() const;
    [[nodiscard]] CDecoder* decoder() const { return decoder_.get(); }
    [[nodiscard]] Renderer* renderer() const { return renderer_.get(); }
    // Whole packets received and not yet decoded.
    [[nodiscard]] int pendingPackets() const { return ring_.filled(); }
    [[nodiscard]] bool threadsRunning() const {
        return decodeThread_.joinable() || receiveThread_.joinable();
    }

private:
    void receiveLoop();
    void decodeLoop();
    void decodeStep(const std::uint8_t* packet);
    bool readReply();

    // The stream reports as it starts, several messages in one start (the connect error, then the
    // decoder's and the display's), and each one as it happens, so it keeps a notifier rather
    // than returning one outcome.
    text::Notifier& notifier_;
    std::unique_ptr<Renderer> renderer_;
    void* window_;
    std::unique_ptr<CDecoder> decoder_;
    PacketTap tap_;
    PacketRing ring_;
    std::array<std::uint8_t, kStreamReplySize> replyBytes_{};
    StreamReply reply_;
    // The size the surface was last set up with (or tried); the decode thread's once it runs.
    int surfaceWidth_ = 0;
    int surfaceHeight_ = 0;
    std::atomic<bool> receiveRunning_{false};
    std::atomic<bool> decodeRunning_{false};
    std::atomic<std::uint64_t> packets_{0};
    std::atomic<std::uint64_t> videoPackets_{0};
    std::atomic<std::uint64_t> skippedPackets_{0};
    std::atomic<std::uint64_t> pictures_{0};
    std::atomic<std::uint64_t> decoderFaults_{0};
    std::atomic<bool> receiveEnded_{false};
    std::atomic<bool> oversize_{false};
    std::thread decodeThread_;
    std::thread receiveThread_;
    bool stopped_ = false;
    int startLimitMs_ = 0;
    int decoderThreads_ = 0;
};

}  // namespace tarvo::preview
