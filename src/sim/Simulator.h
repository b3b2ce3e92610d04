#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/net/Socket.h"
#include "sim/ControlServer.h"
#include "sim/Device.h"
#include "sim/DiscoveryFlood.h"
#include "sim/EventLoop.h"
#include "sim/StreamService.h"
#include "sim/TcpService.h"
#include "sim/UdpChannel.h"
#include "sim/VideoClip.h"

namespace tarvo::sim {

struct SimulatorOptions {
    std::string controlPath;     // empty: no control socket
    std::string readyFile;       // empty: none
    unsigned seed = 0;           // for the jitter; 0: from the clock
    std::vector<Setting> flood;  // discovery flood settings; none: no flood
};

// The whole fleet on one event loop: the group socket, the command ports, the control socket
// and SIGINT/SIGTERM for a clean stop.
class Simulator {
public:
    explicit Simulator(std::vector<DeviceConfig> devices);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Opens everything, announces readiness, runs until a signal; the process exit code.
    int run(const SimulatorOptions& options);

    // One control command line; the answer is one line of JSON.
    std::string execute(std::string_view line);

private:
    bool start(const SimulatorOptions& options, std::string& error);
    void stop();
    void onUdpEvents(std::uint32_t events);
    void takeDatagram(const UdpChannel::Datagram& datagram);
    void reply(Device& device, int interfaceIndex, std::vector<wire::Bytes> replies);
    void updateUdpWatch();
    // Moves the device when `address` is one of this host's; otherwise only the written
    // network parameters remember it. True when it moved.
    bool moveDevice(Device& device, std::uint32_t address);
    void reindex();
    std::vector<Device*> selectDevices(std::string_view which);

    std::string stateJson(std::string_view which);
    std::string setCommand(std::string_view arguments);
    std::string floodCommand(std::string_view arguments);

    EventLoop loop_;
    std::mt19937 random_;
    UdpChannel udp_;
    DiscoveryFlood flood_;
    TcpService tcp_;
    VideoLibrary video_;
    StreamService stream_;
    ControlServer control_;
    net::Socket signals_;
    bool udpWriting_ = false;
    std::string readyFile_;
    std::vector<std::unique_ptr<Device>> devices_;
    std::unordered_map<std::uint16_t, std::vector<Device*>> byTarget_;
    std::vector<Device*> recentlyMoved_;
};

}  // namespace tarvo::sim
