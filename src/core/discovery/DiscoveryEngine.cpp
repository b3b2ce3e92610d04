#include "core/discovery/DiscoveryEngine.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "core/discovery/DeviceTypes.h"
#include "core/protocol/ByteIo.h"
#include "core/protocol/CommandCodes.h"
#include "core/protocol/CommandHeader.h"
#include "core/text/Messages.h"
#include "core/text/Notifier.h"
#include "core/text/TextConvert.h"
#include "core/text/UiTextTable.h"

namespace tarvo::discovery {

namespace {

constexpr int kReceiveTimeoutMs = 8000;
constexpr std::size_t kDatagramBytes = 1024;
constexpr std::size_t kNameUnits = 64;
// Devices answering from one address that a row names; more change nothing a user can do.
constexpr std::size_t kMacsPerAddress = 16;

sockaddr_in groupSocketAddress() {
    sockaddr_in group{};
    group.sin_family = AF_INET;
    group.sin_port = htons(protocol::kGroupPort);
    ::inet_pton(AF_INET, protocol::kGroupAddress, &group.sin_addr);
    return group;
}

std::u16string ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// The codes devices answer with; only these count as replies.
bool isReplyCommand(std::uint8_t command) {
    namespace cmd = protocol::cmd;
    return command == cmd::kDiscoveryReply || command == cmd::kOnvifSubStream ||
           (command >= cmd::kNetParamsReply && command <= cmd::kMainResolutionReply);
}

}  // namespace

DiscoveryEngine::DiscoveryEngine(DeviceTable& table, net::MacResolver& macResolver,
                                 text::Notifier& notifier)
    : table_(table), macResolver_(macResolver), notifier_(notifier) {}

DiscoveryEngine::~DiscoveryEngine() {
    closeInterfaces();
}

int DiscoveryEngine::openInterfaces() {
    return openInterfaces(net::localInterfaces());
}

int DiscoveryEngine::openInterfaces(const std::vector<net::LocalInterface>& interfaces) {
    int opened = 0;
    bool link = false;
    bool frames = false;
    for (const auto& iface : interfaces) {
        // The frame reader starts before the first reply can arrive.
        bool watched = false;
        if (!iface.loopback) {
            link = true;
            watched = macResolver_.watch(iface);
            frames = watched || frames;
        }
        auto context = InterfaceContext::open(iface);
        if (!context) {
            notifier_.message(text::fieldView(text::uiText().netInitFailed));
            continue;
        }
        context->setFramesWatched(watched);
        InterfaceContext* raw = context.get();
        {
            std::unique_lock guard(contextsLock_);
            contexts_.push_back(std::move(context));
        }
        raw->thread() = std::thread([this, raw] { receiveLoop(raw); });
        ++opened;
    }
    if (link && !frames) notifier_.message(text::msg::kConflictsUnseen);
    return opened;
}

void DiscoveryEngine::startSearch() {
    {
        std::lock_guard guard(table_.lock());
        if (clearGate_.load()) {
            while (table_.rowCount() > 0) table_.DeleteItem(0);
            heardOn_.clear();
            deviceCounter_ = 0;
            clearGate_.store(false);
        }
        // Conflicts are those of this search: frames of earlier replies are dropped.
        std::shared_lock contexts(contextsLock_);
        for (const auto& context : contexts_) {
            macResolver_.takeFrames(context->interface().index,
                                    [](std::uint32_t, const net::MacAddress&) {});
        }
        frameMacs_.clear();
        tableFullTold_ = false;
    }
    ignoreReplies_.store(false);
    const protocol::Frame request = protocol::discoveryRequest();
    const sockaddr_in group = groupSocketAddress();
    {
        std::shared_lock guard(contextsLock_);
        // The figures are this search's: reset before its request can be answered.
        for (const auto& context : contexts_) context->counters().reset();
        for (const auto& context : contexts_) {
            // A failed discovery send is not reported; the other interfaces still search. The
            // diagnosis tells it.
            const bool sent =
                ::sendto(context->joinSocket().fd(), request.bytes.data(), request.size,
                         MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&group),
                         sizeof group) >= 0;
            context->counters().sent(sent, sent ? 0 : errno);
        }
    }
    if (searchStarted_) searchStarted_();
}

bool DiscoveryEngine::sendOn(const InterfaceContext* context, const protocol::Frame& frame) {
    if (context == nullptr) return false;
    const sockaddr_in group = groupSocketAddress();
    return ::sendto(context->boundSocket().fd(), frame.bytes.data(), frame.size, MSG_NOSIGNAL,
                    reinterpret_cast<const sockaddr*>(&group), sizeof group) >= 0;
}

bool DiscoveryEngine::sendCommandTo(std::uint32_t device, const protocol::Frame& frame) {
    std::vector<std::uint32_t> heard;
    {
        std::lock_guard guard(table_.lock());
        if (const auto found = heardOn_.find(device); found != heardOn_.end())
            heard = found->second;
    }
    std::shared_lock guard(contextsLock_);
    // Either interface of one link serves a device heard on both.
    for (const std::uint32_t each : heard) {
        for (const auto& context : contexts_) {
            if (context->interface().address == each && sendOn(context.get(), frame)) return true;
        }
    }
    // Not heard (or its interface is gone): its subnet's link, if the computer is on it.
    for (const auto& context : contexts_) {
        const auto& iface = context->interface();
        if (net::sameSubnet(device, iface.address, iface.netmask) && sendOn(context.get(), frame))
            return true;
    }
    bool sent = false;
    for (const auto& context : contexts_) sent = sendOn(context.get(), frame) || sent;
    return sent;
}

void DiscoveryEngine::closeInterfaces() {
    std::vector<std::unique_ptr<InterfaceContext>> closing;
    {
        std::unique_lock guard(contextsLock_);
        closing.swap(contexts_);
    }
    for (auto& context : closing) context->shutdown();
    // Every receive thread has ended before any context goes away: a thread still finishing a
    // reply may send on its own.
    for (auto& context : closing) {
        if (context->thread().joinable()) context->thread().join();
    }
    closing.clear();
}

int DiscoveryEngine::interfaceCount() const {
    std::shared_lock guard(contextsLock_);
    return static_cast<int>(contexts_.size());
}

std::vector<net::LocalInterface> DiscoveryEngine::interfaces() const {
    std::shared_lock guard(contextsLock_);
    std::vector<net::LocalInterface> out;
    for (const auto& context : contexts_) out.push_back(context->interface());
    return out;
}

std::vector<std::string> DiscoveryEngine::interfaceAddresses() const {
    std::shared_lock guard(contextsLock_);
    std::vector<std::string> out;
    for (const auto& context : contexts_) out.push_back(context->address());
    return out;
}

void DiscoveryEngine::receiveLoop(InterfaceContext* context) {
    const net::Socket& socket = context->boundSocket();
    socket.setTimeouts(kReceiveTimeoutMs, kReceiveTimeoutMs);
    const std::uint32_t interfaceAddress = context->interface().address;
    const unsigned interfaceIndex = context->interface().index;

    std::array<std::uint8_t, kDatagramBytes> buffer{};
    while (!context->stopping().load()) {
        buffer.fill(0);
        const net::ReceivedDatagram got = socket.receiveDatagram(buffer);
        if (got.size < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            break;  // the socket was closed or failed: this interface is done
        }
        if (got.size == 0 || context->stopping().load()) continue;
        // Without a device binding the socket also hears other interfaces; keep only ours.
        if (!context->boundToDevice() && got.interfaceIndex != 0 &&
            got.interfaceIndex != interfaceIndex)
            continue;
        handleDatagram(
            context, interfaceAddress,
            std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got.size)),
            got.from.sin_addr.s_addr);
    }
}

void DiscoveryEngine::handleDatagram(InterfaceContext* context, std::uint32_t interfaceAddress,
                                     std::span<const std::uint8_t> datagram, std::uint32_t sender) {
    const auto header = protocol::CommandHeader::decode(datagram);
    // Replies are counted for the diagnosis; the program's own requests coming back through the
    // group (148 is a request too) are not.
    SearchCounters* counts =
        context != nullptr && sender != interfaceAddress && isReplyCommand(header.command)
            ? &context->counters()
            : nullptr;
    if (counts != nullptr) counts->reply();
    if (!protocol::passesReceiveFilter(header.tag, interfaceAddress)) {
        if (counts != nullptr) counts->drop(DropReason::NotAsked);
        return;
    }
    handled_.fetch_add(1, std::memory_order_relaxed);
    bool taken = true;
    const protocol::ByteReader in(datagram);
    namespace cmd = protocol::cmd;
    switch (header.command) {
        case cmd::kDiscoveryReply:
            handleDiscoveryReply(context, counts, header.target, sender, datagram);
            break;
        // Settings replies and login answers count only from the device asked (see ReplyCache).
        case cmd::kOnvifSubStream:
            taken = offerToCaches(
                [&](ReplyCache& c) { return c.offerOnvifSubStream(sender, in.u32(6)); });
            break;
        case cmd::kNetParamsReply:
            taken = offerToCaches([&](ReplyCache& c) {
                return c.offerNetParams(
                    sender, protocol::NetParams::decode(datagram.size() > 6
                                                            ? datagram.subspan(6)
                                                            : std::span<const std::uint8_t>()));
            });
            break;
        case cmd::kUdpLoginReply:
            taken =
                offerToCaches([&](ReplyCache& c) { return c.offerLogin(sender, in.u8(6) == 1); });
            break;
        case cmd::kCloudReply:
            taken = offerToCaches([&](ReplyCache& c) {
                return c.offerCloud(
                    sender, protocol::CloudRecord::decode(datagram.size() > 6
                                                              ? datagram.subspan(6)
                                                              : std::span<const std::uint8_t>()));
            });
            break;
        case cmd::kAudioReply:
            taken = offerToCaches([&](ReplyCache& c) { return c.offerAudio(sender, in.u32(6)); });
            break;
        case cmd::kProtocolReply:
            taken =
                offerToCaches([&](ReplyCache& c) { return c.offerProtocol(sender, in.u32(6)); });
            break;
        case cmd::kOverlayReply:
            taken = offerToCaches([&](ReplyCache& c) { return c.offerOverlay(sender, in.u32(6)); });
            break;
        case cmd::kMacReassignedReply:
            // One message per repair request, from the camera asked; repeats are dropped. The
            // notifier must not hold this thread for the user: other replies keep coming.
            taken = replyCache_.takeMacReassigned(sender);
            if (taken) notifier_.message(text::msg::kMacReassigned);
            break;
        case cmd::kMainResolutionReply:
            updateResolution(sender, in.u32(6));
            break;
        default:
            break;  // requests looping back through the group, unknown codes
    }
    if (!taken && counts != nullptr) counts->drop(DropReason::NotAsked);
}

void DiscoveryEngine::handleDiscoveryReply(InterfaceContext* context, SearchCounters* counts,
                                           int type, std::uint32_t sender,
                                           std::span<const std::uint8_t> datagram) {
    bool newlyListed = false;
    if (ignoreReplies_.load()) {
        if (counts != nullptr) counts->drop(DropReason::NotAsked);
    } else {
        clearGate_.store(true);
        if (!isListedType(type)) {
            if (counts != nullptr) counts->drop(DropReason::Malformed);
        } else {
            const auto name =
                datagram.size() > 6 ? datagram.subspan(6) : std::span<const std::uint8_t>();
            if (type == kTypeSelectableResolution) {
                // The resolution is asked once, by the reply that lists the camera: repeated
                // replies would each send a query. One interface at a time, so that two hearing
                // the same reply do not both take it for the first.
                std::lock_guard asking(resolutionQueryLock_);
                const bool wasListed = isListed(sender);
                if (!addDevice(context, sender, type, name) && counts != nullptr)
                    counts->drop(DropReason::OverRowCap);
                newlyListed = !wasListed && isListed(sender);
            } else if (!addDevice(context, sender, type, name) && counts != nullptr) {
                counts->drop(DropReason::OverRowCap);
            }
        }
    }
    if (newlyListed) {
        // The camera answered on this interface; the contexts stay open while its thread runs.
        sendOn(context,
               protocol::udpQuery(protocol::cmd::kGetMainResolution, protocol::targetFor(sender)));
    }
}

bool DiscoveryEngine::isListed(std::uint32_t sender) {
    const std::u16string address = ascii(net::formatIPv4(sender));
    std::lock_guard guard(table_.lock());
    return table_.hasAddress(address);
}

void DiscoveryEngine::takeReplyFrames(const InterfaceContext* context, std::uint32_t replier) {
    if (context == nullptr) return;
    macResolver_.takeFramesFor(
        context->interface().index, replier,
        [this](std::uint32_t sender, const net::MacAddress& mac) {
            auto found = frameMacs_.find(sender);
            if (found == frameMacs_.end()) {
                if (frameMacs_.size() >= static_cast<std::size_t>(DeviceTable::kMaxRows)) return;
                frameMacs_.emplace(sender, std::vector<net::MacAddress>{mac});
                // A frame read after its row was listed still fills the empty cell.
                const std::u16string address = ascii(net::formatIPv4(sender));
                if (!table_.hasAddress(address)) return;
                const int row = table_.findRow(kColAddress, address);
                if (table_.text(row, kColMac).empty())
                    table_.SetItemText(row, kColMac, ascii(net::formatMac(mac)));
                return;
            }
            auto& macs = found->second;
            if (macs.size() >= kMacsPerAddress ||
                std::find(macs.begin(), macs.end(), mac) != macs.end())
                return;
            macs.push_back(mac);
            const int row = table_.findRow(kColAddress, ascii(net::formatIPv4(sender)));
            if (row < 0) return;
            std::vector<std::u16string> texts;
            for (const auto& each : macs) texts.push_back(ascii(net::formatMac(each)));
            table_.setConflict(row, std::move(texts));
        });
}

void DiscoveryEngine::attachReplyCache(ReplyCache& cache) {
    std::lock_guard guard(extraCachesLock_);
    extraCaches_.push_back(&cache);
}

void DiscoveryEngine::detachReplyCache(ReplyCache& cache) {
    std::lock_guard guard(extraCachesLock_);
    std::erase(extraCaches_, &cache);
}

template <typename Offer>
bool DiscoveryEngine::offerToCaches(const Offer& offer) {
    bool taken = offer(replyCache_);
    std::lock_guard guard(extraCachesLock_);
    for (ReplyCache* cache : extraCaches_) taken = offer(*cache) || taken;
    return taken;
}

void DiscoveryEngine::takeLateFrames() {
    std::lock_guard guard(table_.lock());
    std::shared_lock contexts(contextsLock_);
    for (const auto& context : contexts_) takeReplyFrames(context.get());
}

bool DiscoveryEngine::addDevice(InterfaceContext* context, std::uint32_t sender, int type,
                                std::span<const std::uint8_t> name) {
    const std::u16string address = ascii(net::formatIPv4(sender));
    bool tellFull = false;
    bool full = false;
    {
        std::lock_guard guard(table_.lock());
        // Before the duplicate test: a later reply from a listed address may be another device.
        takeReplyFrames(context, sender);
        if (table_.hasAddress(address)) {
            if (context != nullptr) noteHeardOn(sender, address, context->interface().address);
            return true;
        }
        if (table_.rowCount() >= DeviceTable::kMaxRows) {
            full = true;
            tellFull = !tableFullTold_;
            tableFullTold_ = true;
        } else {
            std::array<char16_t, kNameUnits> nameField{};
            text::widenText(
                std::string_view(reinterpret_cast<const char*>(name.data()), name.size()),
                nameField);
            const std::u16string nameText(text::fieldText(std::span<const char16_t>(nameField)));
            // The reply's own frame; else what the system knows now, without waiting. A device
            // that answered is listed even when neither knows its MAC.
            std::optional<net::MacAddress> mac;
            std::vector<std::u16string> conflict;
            if (const auto found = frameMacs_.find(sender); found != frameMacs_.end()) {
                mac = found->second.front();
                if (found->second.size() > 1) {
                    for (const auto& each : found->second)
                        conflict.push_back(ascii(net::formatMac(each)));
                }
            } else {
                mac = macResolver_.resolve(sender);
                if (!mac) macFiller_.watch(sender);
            }
            bool sameNet = true;
            if (context != nullptr) {
                sameNet = net::sameSubnet(sender, context->interface().address,
                                          context->interface().netmask);
            }
            const int sequence = ++deviceCounter_;
            DeviceRow listed;
            listed.sequence = sequence;
            listed.address = address;
            if (mac) listed.mac = ascii(net::formatMac(*mac));
            listed.name = nameText;
            listed.note = std::u16string(typeLabel(type));
            listed.type = type;
            listed.sameNetwork = sameNet;
            auto& heard = heardOn_[sender];
            heard.clear();
            if (context != nullptr) heard.push_back(context->interface().address);
            listed.heardOn = heard;
            const int row = table_.AddItem(std::move(listed));
            if (!conflict.empty()) table_.setConflict(row, std::move(conflict));
            // A reply that raised the gate just before a search cleared the list can still land
            // here, after the clear: raise it again, so the next search does not keep this row.
            clearGate_.store(true);
        }
    }
    if (tellFull) notifier_.message(text::msg::kDeviceTableFull);
    return !full;
}

void DiscoveryEngine::noteHeardOn(std::uint32_t sender, const std::u16string& address,
                                  std::uint32_t interfaceAddress) {
    auto& heard = heardOn_[sender];
    if (std::find(heard.begin(), heard.end(), interfaceAddress) != heard.end()) return;
    heard.push_back(interfaceAddress);
    table_.addHeardOn(table_.findRow(kColAddress, address), interfaceAddress);
}

void DiscoveryEngine::updateResolution(std::uint32_t sender, std::uint32_t value) {
    const std::u16string address = ascii(net::formatIPv4(sender));
    std::lock_guard guard(table_.lock());
    // An address is listed once.
    const int row = table_.findRow(kColAddress, address);
    if (row >= 0 && table_.row(row).type == kTypeSelectableResolution)
        table_.SetItemText(row, kColNote, std::u16string(resolutionLabel(value)));
}

}  // namespace tarvo::discovery

namespace tarvo::discovery {

SearchDiagnosis DiscoveryEngine::diagnosis() const {
    std::vector<InterfaceFigures> searched;
    {
        std::shared_lock guard(contextsLock_);
        for (const auto& context : contexts_) {
            const auto& iface = context->interface();
            const SearchCounters& counts = context->counters();
            InterfaceFigures f;
            f.name = iface.name;
            f.address = iface.address;
            f.netmask = iface.netmask;
            f.loopback = iface.loopback;
            f.frames = context->framesWatched();
            f.requestsSent = counts.requestsSent();
            f.requestsFailed = counts.requestsFailed();
            f.sendError = counts.sendError();
            f.replies = counts.replies();
            for (std::size_t r = 0; r < kDropReasons; ++r)
                f.dropped[r] = counts.dropped(static_cast<DropReason>(r));
            searched.push_back(std::move(f));
        }
    }
    std::vector<DeviceRow> rows;
    {
        std::lock_guard guard(table_.lock());
        rows = table_.rows();
    }
    std::uint32_t group = 0;
    net::parseIPv4(protocol::kGroupAddress, group);
    return diagnose(std::move(searched), rows, net::interfaceStates(),
                    net::hasMulticastRoute(group));
}

}  // namespace tarvo::discovery
