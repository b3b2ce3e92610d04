#include "sim/Simulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "sim/FleetBuilder.h"

namespace tarvo::sim {

namespace {

constexpr int kDatagramsPerWake = 1024;

// Descriptors for every listener (command and stream port), the connections and some room.
void raiseDescriptorLimit(std::size_t devices) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    const rlim_t wanted = static_cast<rlim_t>(devices) * 3 + 1024;  // command, stream, spare
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < wanted) {
        rlimit raised{wanted, wanted};
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) return;
    }
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// An address is this host's when a socket can be bound to it.
bool isLocalAddress(std::uint32_t address) {
    const std::uint32_t first = address >> 24;
    if (address == 0 || first >= 224) return false;  // unspecified, multicast, reserved
    net::Socket probe(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!probe) return false;
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_addr.s_addr = htonl(address);
    return ::bind(probe.fd(), reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0;
}

nlohmann::json okAnswer() {
    return {{"ok", true}};
}
nlohmann::json errorAnswer(const std::string& text) {
    return {{"ok", false}, {"error", text}};
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::pair<std::string_view, std::string_view> splitWord(std::string_view text) {
    text = trim(text);
    const auto space = text.find_first_of(" \t");
    if (space == std::string_view::npos) return {text, {}};
    return {text.substr(0, space), trim(text.substr(space + 1))};
}

}  // namespace

Simulator::Simulator(std::vector<DeviceConfig> devices)
    : flood_(loop_, udp_, [this] { updateUdpWatch(); }),
      tcp_(loop_, random_),
      stream_(loop_, video_, random_),
      control_(loop_, [this](std::string_view line) { return execute(line); }) {
    devices_.reserve(devices.size());
    for (auto& config : devices) devices_.push_back(std::make_unique<Device>(std::move(config)));
    reindex();
}

Simulator::~Simulator() {
    stop();
}

void Simulator::reindex() {
    byTarget_.clear();
    for (const auto& device : devices_) byTarget_[device->target()].push_back(device.get());
}

bool Simulator::start(const SimulatorOptions& options, std::string& error) {
    if (!loop_.valid()) {
        error = "epoll: " + std::string(std::strerror(errno));
        return false;
    }
    random_.seed(options.seed != 0 ? options.seed
                                   : static_cast<unsigned>(::getpid() ^ ::time(nullptr)));
    raiseDescriptorLimit(devices_.size());

    // Signals arrive as readable events, so stopping happens between two handlers.
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &mask, nullptr);
    (void)std::signal(SIGPIPE, SIG_IGN);
    signals_ = net::Socket(::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!signals_ || !loop_.add(signals_.fd(), EPOLLIN, [this](std::uint32_t) {
            signalfd_siginfo info{};
            while (::read(signals_.fd(), &info, sizeof info) == sizeof info) {
            }
            loop_.stop();
        })) {
        error = "signalfd: " + std::string(std::strerror(errno));
        return false;
    }

    if (!options.flood.empty()) {
        error = flood_.configure(options.flood);
        if (!error.empty()) return false;
    }
    if (!udp_.open(error)) return false;
    if (!loop_.add(udp_.fd(), EPOLLIN, [this](std::uint32_t events) { onUdpEvents(events); })) {
        error = "cannot watch the UDP socket";
        return false;
    }
    for (const auto& device : devices_) {
        if (!tcp_.listen(*device) || !stream_.listen(*device)) {
            error = device->tcpError;
            return false;
        }
    }
    if (!options.controlPath.empty() && !control_.open(options.controlPath, error)) return false;

    if (!options.readyFile.empty()) {
        // Written beside and renamed, so a reader never sees half a file.
        const std::string temporary = options.readyFile + ".tmp";
        {
            std::ofstream out(temporary, std::ios::trunc);
            out << "READY " << ::getpid() << "\n";
            if (!out) {
                error = "cannot write the ready file " + options.readyFile;
                return false;
            }
        }
        if (std::rename(temporary.c_str(), options.readyFile.c_str()) != 0) {
            error = "cannot write the ready file " + options.readyFile;
            return false;
        }
        readyFile_ = options.readyFile;
    }
    return true;
}

void Simulator::stop() {
    flood_.stop();
    control_.close();
    tcp_.closeAll();
    stream_.closeAll();
    if (udp_.fd() >= 0) loop_.remove(udp_.fd());
    udp_.close();
    if (signals_) loop_.remove(signals_.fd());
    signals_.close();
    if (!readyFile_.empty()) {
        ::unlink(readyFile_.c_str());
        readyFile_.clear();
    }
}

int Simulator::run(const SimulatorOptions& options) {
    std::string error;
    if (!start(options, error)) {
        std::cerr << "tarvo-sim: " << error << "\n";
        stop();
        return 1;
    }
    std::cerr << "tarvo-sim: " << devices_.size() << " device(s); group joined on";
    for (const auto& name : udp_.joinedInterfaces()) std::cerr << " " << name;
    std::cerr << "\n";
    std::cout << "READY" << std::endl;

    const bool ran = loop_.run();
    stop();
    if (!ran) {
        std::cerr << "tarvo-sim: event loop failed: " << std::strerror(errno) << "\n";
        return 1;
    }
    return 0;
}

void Simulator::onUdpEvents(std::uint32_t events) {
    if ((events & EPOLLOUT) != 0) udp_.flush();
    if ((events & EPOLLIN) != 0) {
        UdpChannel::Datagram datagram;
        for (int i = 0; i < kDatagramsPerWake && udp_.receive(datagram); ++i) {
            takeDatagram(datagram);
        }
    }
    updateUdpWatch();
}

void Simulator::updateUdpWatch() {
    const bool want = udp_.hasQueued();
    if (want == udpWriting_ || udp_.fd() < 0) return;
    loop_.modify(udp_.fd(), want ? (EPOLLIN | EPOLLOUT) : EPOLLIN);
    udpWriting_ = want;
}

void Simulator::takeDatagram(const UdpChannel::Datagram& datagram) {
    const auto header = wire::parseHeader(datagram.bytes);
    if (!header) return;
    const auto now = Device::Clock::now();

    std::vector<Device*> addressed;
    if (header->command == wire::kDiscover && header->target == 0) {
        flood_.answer(datagram.interfaceIndex);
        addressed.reserve(devices_.size());
        for (const auto& device : devices_) addressed.push_back(device.get());
    } else {
        const auto found = byTarget_.find(header->target);
        if (found != byTarget_.end()) addressed = found->second;
        // Devices that have just moved still take frames for their old address.
        std::erase_if(recentlyMoved_, [now](Device* device) { return !device->inMoveGrace(now); });
        for (Device* device : recentlyMoved_) {
            if (device->target() != header->target && device->answersTo(header->target, now)) {
                addressed.push_back(device);
            }
        }
    }

    for (Device* device : addressed) {
        if (device->rebooting(now)) continue;  // a restarting device hears nothing
        device->record(Transport::Udp, datagram.bytes, datagram.sourcePort);
        auto outcome = device->handleUdp(*header, datagram.bytes);
        if (outcome.newAddress && !device->config().stayOnMove)
            moveDevice(*device, *outcome.newAddress);
        if (!device->config().dropUdp && !outcome.replies.empty()) {
            reply(*device, datagram.interfaceIndex, std::move(outcome.replies));
        }
    }
}

void Simulator::reply(Device& device, int interfaceIndex, std::vector<wire::Bytes> replies) {
    const auto delay = device.replyDelay(random_);
    if (delay.count() == 0) {
        for (auto& bytes : replies) udp_.send(device.config().ip, interfaceIndex, std::move(bytes));
        return;
    }
    // The source is the device's address when the reply leaves: a device that moved in the
    // meantime answers from its new one.
    Device* sender = &device;
    loop_.after(delay, [this, sender, interfaceIndex, replies = std::move(replies)]() mutable {
        if (sender->config().dropUdp) return;
        for (auto& bytes : replies)
            udp_.send(sender->config().ip, interfaceIndex, std::move(bytes));
        updateUdpWatch();
    });
}

bool Simulator::moveDevice(Device& device, std::uint32_t address) {
    const std::uint32_t from = device.config().ip;
    if (address == from) return false;
    if (!isLocalAddress(address)) {
        std::cerr << "tarvo-sim: " << formatAddress(from) << " was given " << formatAddress(address)
                  << ", not an address of this host: it stays\n";
        return false;
    }
    device.moveTo(address, Device::Clock::now());
    reindex();
    if (std::find(recentlyMoved_.begin(), recentlyMoved_.end(), &device) == recentlyMoved_.end()) {
        recentlyMoved_.push_back(&device);
    }
    if (!tcp_.listen(device)) std::cerr << "tarvo-sim: " << device.tcpError << "\n";
    if (!stream_.listen(device)) std::cerr << "tarvo-sim: " << device.tcpError << "\n";
    std::cerr << "tarvo-sim: " << formatAddress(from) << " moved to " << formatAddress(address)
              << "\n";
    return true;
}

std::vector<Device*> Simulator::selectDevices(std::string_view which) {
    std::vector<Device*> chosen;
    const auto address = parseAddress(which);
    for (const auto& device : devices_) {
        if (which == "*" || which == "all" || (address && device->config().ip == *address)) {
            chosen.push_back(device.get());
        }
    }
    return chosen;
}

std::string Simulator::stateJson(std::string_view which) {
    nlohmann::json devices = nlohmann::json::array();
    if (which.empty()) {
        for (const auto& device : devices_) {
            devices.push_back(device->toJson());
            devices.back()["stream"] = stream_.stateOf(*device);
        }
    } else {
        const auto chosen = selectDevices(which);
        if (chosen.empty()) return errorAnswer("no device " + std::string(which)).dump();
        for (Device* device : chosen) {
            devices.push_back(device->toJson());
            devices.back()["stream"] = stream_.stateOf(*device);
        }
    }
    // Names the program wrote may be any bytes: never let the dump throw on them.
    return nlohmann::json{{"devices", std::move(devices)}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Simulator::setCommand(std::string_view arguments) {
    const auto [which, rest] = splitWord(arguments);
    if (which.empty() || rest.empty())
        return errorAnswer("usage: set IP|all key=value[,...]").dump();
    const auto chosen = selectDevices(which);
    if (chosen.empty()) return errorAnswer("no device " + std::string(which)).dump();
    const auto settings = FleetBuilder::splitSettings(rest, ',');

    // Check everything on copies first, so that a bad setting changes nothing.
    std::vector<DeviceConfig> updated;
    for (Device* device : chosen) {
        DeviceConfig copy = device->config();
        for (const auto& [key, value] : settings) {
            const std::string error = copy.apply(key, value);
            if (!error.empty()) return errorAnswer(error).dump();
        }
        updated.push_back(std::move(copy));
    }
    std::string problems;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        Device& device = *chosen[i];
        const DeviceConfig before = device.config();
        DeviceConfig after = std::move(updated[i]);
        const std::uint32_t newAddress = after.ip;
        after.ip = before.ip;
        after.net.address = before.net.address;
        device.config() = std::move(after);
        if (newAddress != before.ip && !moveDevice(device, newAddress)) {
            problems += (problems.empty() ? "" : "; ") + formatAddress(newAddress) +
                        " is not an address of this host";
        }
        if (device.config().port != before.port || device.config().noTcp != before.noTcp) {
            if (!tcp_.listen(device) || !stream_.listen(device))
                problems += (problems.empty() ? "" : "; ") + device.tcpError;
        }
    }
    if (!problems.empty()) return errorAnswer(problems).dump();
    return okAnswer().dump();
}

std::string Simulator::floodCommand(std::string_view arguments) {
    if (!arguments.empty()) {
        const std::string error = flood_.configure(FleetBuilder::splitSettings(arguments, ','));
        if (!error.empty()) return errorAnswer(error).dump();
    }
    nlohmann::json answer = okAnswer();
    answer["flood"] = flood_.toJson();
    answer["udp"] = {{"sent", udp_.sentCount()},
                     {"dropped", udp_.droppedCount()},
                     {"queued", udp_.queuedCount()}};
    return answer.dump();
}

std::string Simulator::execute(std::string_view line) {
    const auto [command, arguments] = splitWord(line);
    if (command == "state") return stateJson(arguments);
    if (command == "set") return setCommand(arguments);
    if (command == "clear") {
        if (!arguments.empty() && arguments != "all") {
            return errorAnswer("usage: clear [all]").dump();
        }
        for (const auto& device : devices_) {
            stream_.clear(*device);
            if (arguments == "all") {
                device->clearAll();
            } else {
                device->clearReceived();
            }
        }
        return okAnswer().dump();
    }
    if (command == "flood") return floodCommand(arguments);
    if (command == "ping") return okAnswer().dump();
    return errorAnswer("unknown command '" + std::string(command) +
                       "'; commands: state [IP], clear [all], set IP|all key=value[,...], "
                       "flood [key=value,...], ping")
        .dump();
}

}  // namespace tarvo::sim
