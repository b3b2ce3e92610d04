#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/net/Socket.h"

namespace tarvo::upgrade {

// The NVR's video output resolution over the command port: 232 asks, 233 sets. What the NVR
// configuration dialog (and the command line) drives:
//
//   NvrResolutionClient client;
//   client.SetTarget(address, port);
//   auto listing = client.FillResolutionList();  // connect + query; the position to select
//   ...user picks...
//   client.ApplyOutputResolution(picked);              // 233 only when it changed, then 3 s
//
// Everything runs on the caller's thread; the connection closes with the object.
class NvrResolutionClient {
public:
    static constexpr int kDefaultPort = 5500;
    static constexpr int kHighestIndex = 5;
    static constexpr std::chrono::milliseconds kApplyWait{3000};
    using Wait = std::function<void(std::chrono::milliseconds)>;

    // The list text of an index 0..5; empty for any other.
    static std::u16string_view resolutionText(int index);

    // Addresses shorter than 4 characters change nothing. Otherwise the port is kept (a negative
    // one becomes 5500) and at most 47 characters of the address.
    void SetTarget(std::string_view address, int port);
    [[nodiscard]] const std::string& address() const { return address_; }
    [[nodiscard]] int port() const { return port_; }

    // connectWithTimeout on the client's own socket (5000 ms time-outs, 4 s connect wait).
    bool connect();
    [[nodiscard]] bool connected() const { return socket_.valid(); }
    void close() { socket_.close(); }

    // 232, a reply of exactly six bytes within the time-out, index in `target` at most 5. On
    // success the index becomes the current one.
    bool QueryOutputResolution();
    [[nodiscard]] int currentIndex() const { return currentIndex_; }

    // What the dialog's opening found: the list position to select (the NVR's index, else 0)
    // and the message to show when the connect or the query failed (empty when neither did).
    struct Listing {
        int shown = 0;
        std::u16string_view message;
        bool operator==(const Listing&) const = default;
    };
    // The dialog's opening: connect ("连接NVR失败！" when it fails), then query
    // ("获取NVR分辨率失败！" when it fails).
    Listing FillResolutionList();

    // Sends 233 with `selected` when there is a connection and it differs from the current index
    // (`selected` < 0: nothing chosen), then waits kApplyWait through `wait` (the window passes
    // one that keeps painting). True when the frame went out; the NVR does not confirm it.
    bool ApplyOutputResolution(int selected, const Wait& wait = {});

private:
    std::string address_;
    int port_ = kDefaultPort;
    int currentIndex_ = 0;
    net::Socket socket_;
};

}  // namespace tarvo::upgrade
