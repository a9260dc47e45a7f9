// TLS handshake messages: their boundaries across records, and what the
// hellos and EncryptedExtensions say about the connection.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "byte_view.h"
#include "key_log.h"

namespace quillnet::tls {

enum HandshakeType : uint8_t {
    kClientHello = 1,
    kServerHello = 2,
    kEncryptedExtensions = 8,
    kFinished = 20,
    kKeyUpdate = 24,
};

// The messages of one direction's handshake content, which records split and
// join freely.
class HandshakeReader {
public:
    struct Message {
        uint8_t type;
        ByteView body;
    };

    // Adds content and appends each message it completes to `messages`; the
    // bodies stay valid until the next call. False when a message is too
    // long to keep.
    bool feed(ByteView content, std::vector<Message> &messages);
    // Gives back the memory of the messages the last feed completed, which the
    // caller is done with.
    void releaseCompleted() { completed_ = {}; }
    void release() { partial_ = {}, completed_ = {}; }
    size_t heldBytes() const { return partial_.capacity() + completed_.capacity(); }

private:
    std::vector<uint8_t> partial_; // header and body so far of a message cut by its record
    std::vector<uint8_t> completed_;
};

struct ClientHelloInfo {
    Random random{};
    std::string serverName;
    std::vector<std::string> protocols; // ALPN, as offered
    bool offersHttp2 = false;
    bool offersEarlyData = false;
};

struct ServerHelloInfo {
    Random random{};
    uint16_t version = 0; // supported_versions when present, else legacy_version
    uint16_t cipherSuite = 0;
    std::string alpn;
    bool retryRequest = false;
};

std::optional<ClientHelloInfo> ParseClientHello(ByteView body);
std::optional<ServerHelloInfo> ParseServerHello(ByteView body);
// The protocol EncryptedExtensions chose: "" when none.
std::optional<std::string> ParseEncryptedExtensionsAlpn(ByteView body);

// Whether a TCP payload begins like a ClientHello: a handshake record of
// version 3.x whose first message is a ClientHello.
inline bool LooksLikeClientHello(ByteView payload)
{
    constexpr size_t kRecordVersionMajor = 1;
    constexpr size_t kRecordVersionMinor = 2;
    constexpr size_t kFirstMessageType = 5;
    constexpr uint8_t kHandshakeRecord = 22;
    constexpr uint8_t kMaxMinorVersion = 4;
    const auto minor = payload.u8(kRecordVersionMinor);
    return payload.byteIs(0, kHandshakeRecord) && payload.byteIs(kRecordVersionMajor, 3) && minor &&
           *minor <= kMaxMinorVersion && payload.byteIs(kFirstMessageType, kClientHello);
}

}
