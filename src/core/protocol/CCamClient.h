#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/net/Socket.h"

namespace tarvo::ops {
class Notifier;
}

namespace tarvo::protocol {

// What the login dialog hands to an operation: the device and the credentials, with user and
// password already narrowed to the device encoding.
struct LoginInfo {
    std::string address;
    std::uint16_t port = 0;
    std::string user;
    std::string password;
    int streamChoice = 0;  // 0 main stream, 1 D1, 2 CIF
    int deviceType = 0;
};

// Receives one reply frame on a command connection: its 6-byte header, then the rest of the
// length the header announces (cut to the buffer; a length below 6 means the header alone),
// then whatever else has already arrived, as one receive of the buffer's size would take it.
// The pieces a reply arrives in are joined, within `timeoutMs` for the whole reply. Returns the
// byte count (what arrived before the peer closed counts; 0 when it closed at once), or -1 when
// the receive failed or the time ran out before the frame was complete.
long receiveReplyFrame(const net::Socket& socket, std::span<std::uint8_t> buffer, int timeoutMs);

// One TCP conversation with a device: the command connection (connect, login, one request
// at a time). The preview's stream side builds on it.
class CCamClient {
public:
    CCamClient(const LoginInfo& info, ops::Notifier& notifier);
    virtual ~CCamClient();

    CCamClient(const CCamClient&) = delete;
    CCamClient& operator=(const CCamClient&) = delete;

    // 0 when connected, -1 otherwise ("Connect to IP camera failed !" when the device could not
    // be reached; silent when the address does not resolve).
    int connect();
    // True when the device accepted user and password; "Control failed" when it refused.
    bool login();
    // Sends one frame on the command connection; false when it could not be sent whole.
    bool sendFrame(std::span<const std::uint8_t> frame);
    // One reply frame into `buffer` (receiveReplyFrame with the command time-out); the byte
    // count, 0 or -1.
    long receiveReply(std::span<std::uint8_t> buffer);
    // Ends the conversation: a short pause so the device sees the last frame, then both
    // connections close.
    virtual void stop();

    [[nodiscard]] const net::Socket& commandSocket() const { return commandSocket_; }
    [[nodiscard]] std::uint16_t commandPort() const { return commandPort_; }
    [[nodiscard]] std::uint16_t streamPort() const { return streamPort_; }
    [[nodiscard]] const std::string& address() const { return address_; }
    [[nodiscard]] int deviceType() const { return deviceType_; }
    [[nodiscard]] int streamChoice() const { return streamChoice_; }

protected:
    ops::Notifier& notifier_;
    net::Socket streamSocket_;

private:
    int deviceType_;
    int streamChoice_;
    std::string address_;   // at most 63 characters
    std::string user_;      // at most 31 bytes
    std::string password_;  // at most 31 bytes
    std::uint16_t commandPort_;
    std::uint16_t streamPort_;
    net::Socket commandSocket_;
};

}  // namespace tarvo::protocol
