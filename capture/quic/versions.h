// What differs between the QUIC versions that are read: the version number,
// the long header's packet type bits, the Initial salt, the labels of the
// packet protection keys and the Retry integrity key.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quillnet::quic {

inline constexpr uint32_t kVersion1 = 0x00000001;  // RFC 9000
inline constexpr uint32_t kVersion2 = 0x6b3343cf;  // RFC 9369

enum class PacketType : uint8_t { kInitial, kZeroRtt, kHandshake, kRetry, kOneRtt };

inline constexpr size_t kSaltLength = 20;
inline constexpr size_t kRetryKeyLength = 16;
inline constexpr size_t kRetryNonceLength = 12;

struct Version {
    uint32_t number;
    std::array<PacketType, 4> longTypes; // by the long header's two type bits
    std::array<uint8_t, kSaltLength> initialSalt;
    std::string_view keyLabel;
    std::string_view ivLabel;
    std::string_view hpLabel;
    std::string_view updateLabel;
    std::array<uint8_t, kRetryKeyLength> retryKey;
    std::array<uint8_t, kRetryNonceLength> retryNonce;
};

// The version of `number`; null for versions that are not read.
const Version *FindVersion(uint32_t number);

}
