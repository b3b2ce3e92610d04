#include "core/preview/CCamStreamClient.h"

#include <sys/socket.h>

#include <algorithm>
#include <system_error>

#include "core/net/Connect.h"
#include "core/preview/AvPictureDecoder.h"
#include "core/preview/StreamReceive.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"

namespace tarvo::preview {

CCamStreamClient::CCamStreamClient(const protocol::LoginInfo& info, text::Notifier& notifier,
                                   std::unique_ptr<Renderer> renderer, void* window)
    : CCamClient(info), notifier_(notifier), renderer_(std::move(renderer)), window_(window) {}

CCamStreamClient::~CCamStreamClient() {
    if (!stopped_) stop();
}

int CCamStreamClient::startPreview() {
    if (renderer_) renderer_->initialise(window_);
    // Nothing is sent on the command connection; it stays open while the preview runs.
    (void)connect().report(notifier_);
    (void)startStream();
    return 1;
}

bool CCamStreamClient::readReply() {
    replyBytes_.fill(0);
    // All 32 bytes within one stream time-out: a reply that trickles in cannot hold the window.
    const int limit =
        startLimitMs_ > 0 ? std::min(startLimitMs_, kStreamIoTimeoutMs) : kStreamIoTimeoutMs;
    return net::receiveFull(streamSocket_, replyBytes_, limit).end == net::ReceiveEnd::Complete;
}

bool CCamStreamClient::startStream() {
    if (threadsRunning()) return false;  // one stream per client; stop() first
    stopped_ = false;
    receiveRunning_ = true;
    decodeRunning_ = true;
    if (!net::resolveIPv4(address())) return false;
    const int connectWait =
        startLimitMs_ > 0 ? std::min(startLimitMs_, net::kConnectWaitMs) : net::kConnectWaitMs;
    if (!net::connectSocket(address(), streamPort(), streamSocket_, kStreamIoTimeoutMs,
                            connectWait)) {
        notifier_.message(text::msg::kStreamConnectError);
        return false;
    }
    const linger lingerOption{1, kLingerSeconds};
    (void)::setsockopt(streamSocket_.fd(), SOL_SOCKET, SO_LINGER, &lingerOption,
                       sizeof lingerOption);
    const int bufferBytes = kSocketBufferBytes;
    (void)::setsockopt(streamSocket_.fd(), SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    (void)::setsockopt(streamSocket_.fd(), SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);

    const StreamRequest request = streamRequest(deviceType(), streamChoice());
    (void)net::sendBytes(streamSocket_, request.data(), request.size());
    if (!readReply()) return false;
    reply_ = parseStreamReply(replyBytes_);

    // What the reply claims only chooses the decoder's threads and sets the surface up before
    // the first picture; buffers follow the decoded pictures. A claim out of range is not used:
    // the first picture sets the surface up at its own size, and no message blames the display.
    const StreamSizes sizes = sizesFor(reply_);
    decoder_.reset();
    auto decoder = std::make_unique<AvPictureDecoder>(decodesAsHevc(reply_.codecCode) ? CHI265Decode
                                                                                      : C264Decode);
    decoder->setMaxThreads(decoderThreads_);
    decoder_ = std::move(decoder);
    if (!decoder_->Init(sizes.decoderWidth, sizes.decoderHeight))
        notifier_.systemError(text::msg::kDecoderInitFailed);
    // Each size is set up once: a size the renderer refused is not asked for again.
    surfaceWidth_ = sizes.surfaceWidth;
    surfaceHeight_ = sizes.surfaceHeight;
    if (renderer_ && sizes.surfaceWidth > 0 &&
        !renderer_->setUpSurface(sizes.surfaceWidth, sizes.surfaceHeight))
        notifier_.systemError(text::msg::kDisplayAdapterUnsupported);

    ring_.reset();
    receiveEnded_ = false;
    oversize_ = false;
    try {
        decodeThread_ = std::thread([this] { decodeLoop(); });
        receiveThread_ = std::thread([this] { receiveLoop(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CCamStreamClient::receiveLoop() {
    // Ends when the connection closes, fails or stays silent for 15 s (the picture freezes).
    const StreamEnd end = receiveStream(
        ring_,
        [this](std::span<std::uint8_t> space) {
            return net::receiveOnce(streamSocket_, space.data(), space.size());
        },
        receiveRunning_);
    if (end == StreamEnd::Oversize) {
        // Nothing after a length that cannot be right can be framed again.
        oversize_ = true;
        streamSocket_.shutdown();
    }
    receiveEnded_ = true;
}

void CCamStreamClient::decodeLoop() {
    while (decodeRunning_.load()) {
        const std::uint8_t* packet = ring_.waitPacket();
        if (packet == nullptr) break;
        decodeStep(packet);
        ring_.release();
    }
}

void CCamStreamClient::decodeStep(const std::uint8_t* packet) {
    ++packets_;
    const int type = packetType(packet);
    const std::uint32_t length = packetPayloadLength(packet);  // fits the slot: checked on arrival
    const std::uint8_t* payload = packet + kPacketHeaderSize;
    if (tap_) tap_(type, {packet, kPacketHeaderSize}, {payload, length});
    if (type != static_cast<int>(PacketType::Video)) {
        // Type 1 carries no video; unknown types are skipped too rather than stalling the ring.
        ++skippedPackets_;
        return;
    }
    ++videoPackets_;
    Picture picture;
    bool decoded = false;
    try {
        decoded = decoder_->decodePicture(payload, static_cast<int>(length), picture);
    } catch (...) {
        // One bad chunk costs one packet, not the preview.
        ++decoderFaults_;
    }
    if (!decoded) return;
    if (renderer_) {
        const int width = picture.width();
        const int height = picture.height();
        if (width != surfaceWidth_ || height != surfaceHeight_) {
            // The stream's pictures differ from the claim (or their size changed): the surface
            // follows them. No message from this thread; a refused size shows nothing.
            surfaceWidth_ = width;
            surfaceHeight_ = height;
            (void)renderer_->setUpSurface(width, height);
        }
        renderer_->draw(picture);
    }
    ++pictures_;
}

void CCamStreamClient::stop() {
    decodeRunning_ = false;
    receiveRunning_ = false;
    ring_.close();
    streamSocket_.shutdown();
    if (decodeThread_.joinable()) decodeThread_.join();
    if (receiveThread_.joinable()) receiveThread_.join();
    CCamClient::stop();
    decoder_.reset();
    renderer_.reset();
    stopped_ = true;
}

std::u16string CCamStreamClient::title() const {
    return previewTitle(reply_.width, reply_.height, reply_.codecCode);
}

CCamStreamClient::Stats CCamStreamClient::stats() const {
    Stats s;
    s.packets = packets_.load();
    s.videoPackets = videoPackets_.load();
    s.skippedPackets = skippedPackets_.load();
    s.pictures = pictures_.load();
    s.decoderFaults = decoderFaults_.load();
    s.receiveEnded = receiveEnded_.load();
    s.oversizePacket = oversize_.load();
    return s;
}

}  // namespace tarvo::preview
