#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/net/Connect.h"
#include "core/net/Socket.h"
#include "core/protocol/Outcome.h"

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

// What an operation reads of a reply: true once `received` holds it. A reply ends there, or
// where the length in its header says the frame ends, whichever comes first; the length is never
// waited for beyond that, since devices do not all fill it in truthfully.
using ReplyNeeds = bool (*)(std::span<const std::uint8_t> received);
bool needsLoginResult(std::span<const std::uint8_t> received);   // byte 8
bool needsVersionText(std::span<const std::uint8_t> received);   // the text's NUL after offset 6
bool needsUploadAnswer(std::span<const std::uint8_t> received);  // byte 1, the tag
bool needsAnyByte(std::span<const std::uint8_t> received);       // replies that are not read

struct ReplyRead {
    std::size_t count = 0;  // bytes at the front of the buffer
    bool enough = false;    // the operation's bytes (or the whole announced frame) arrived
    net::ReceiveEnd end = net::ReceiveEnd::Failed;  // how the wait ended when not enough came
    // What arrived is the reply: all the operation reads, or all the device sent before it
    // closed (the rest reads as 0).
    [[nodiscard]] bool usable() const { return enough || end == net::ReceiveEnd::Closed; }
    // The time ran out before the device had sent what the operation reads.
    [[nodiscard]] bool unanswered() const { return !enough && end == net::ReceiveEnd::TimedOut; }
};

// Receives one reply on a command connection, joining the pieces it arrives in, until `needs`
// holds, the buffer is full, the peer closes or `timeoutMs` (for the whole reply) runs out. What
// else had already arrived with the last piece is taken too, as one receive of the buffer's size
// would take it. Whatever arrived counts: missing bytes read as 0, as the buffer is zeroed.
ReplyRead receiveReply(const net::Socket& socket, std::span<std::uint8_t> buffer, int timeoutMs,
                       ReplyNeeds needs);

// "The device took the connection and did not answer": names the address and the wait.
std::u16string noAnswerText(std::string_view address, int waitedMs);

// One TCP conversation with a device: the command connection (connect, login, one request
// at a time). The preview's stream side builds on it.
class CCamClient {
public:
    explicit CCamClient(const LoginInfo& info);
    virtual ~CCamClient();

    CCamClient(const CCamClient&) = delete;
    CCamClient& operator=(const CCamClient&) = delete;

    // Ok when connected; the "Connect to IP camera failed !" error box when the device could not
    // be reached, nothing to show when the address does not resolve.
    Outcome connect();
    // Ok when the device accepted user and password; "Control failed" when it refused, a
    // message naming the address and the wait when it kept silent.
    Outcome login();
    // Sends one frame on the command connection; false when it could not be sent whole.
    bool sendFrame(std::span<const std::uint8_t> frame);
    // One reply into `buffer` (receiveReply with the command time-out).
    ReplyRead receiveReply(std::span<std::uint8_t> buffer, ReplyNeeds needs);
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
