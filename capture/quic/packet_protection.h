// QUIC packet protection (RFC 9001 section 5) through libcrypto: the keys of
// a secret, the mask that hides a header's packet number, the opening of a
// payload and the check of a Retry packet's integrity tag.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "byte_view.h"
#include "key_log.h"
#include "record_crypto.h"
#include "versions.h"

struct evp_cipher_ctx_st;

namespace quillnet::quic {

inline constexpr size_t kSampleLength = 16;
inline constexpr size_t kMaskLength = 5;

// Every Initial packet is protected as under TLS_AES_128_GCM_SHA256.
inline constexpr tls::CipherSuite kInitialSuite{0x1301, tls::Aead::kAes128Gcm, tls::SuiteHash::kSha256};

struct PacketKeys {
    std::array<uint8_t, tls::kMaxKeyLength> key{};
    std::array<uint8_t, tls::kNonceLength> iv{};
    std::array<uint8_t, tls::kMaxKeyLength> hp{};
};

// The secrets of the client's and the server's Initial packets, from the
// Destination Connection ID the client's first Initial packet carries.
bool DeriveInitialSecrets(const Version &version, ByteView destination, tls::Secret &client, tls::Secret &server);

// The packet protection key, IV and header protection key of a secret.
bool DerivePacketKeys(const tls::CipherSuite &suite, const Version &version, const tls::Secret &secret,
                      PacketKeys &keys);

// The secret that follows a key update (RFC 9001 section 6).
bool NextPacketSecret(const tls::CipherSuite &suite, const Version &version, tls::Secret &secret);

// Whether the last 16 bytes of a Retry packet are the integrity tag of the
// rest, for a client whose first Destination Connection ID was `original`.
bool RetryIsAuthentic(const Version &version, ByteView original, ByteView retry);

using Mask = std::array<uint8_t, kMaskLength>;
using CipherContext = std::unique_ptr<evp_cipher_ctx_st, void (*)(evp_cipher_ctx_st *)>;

// The mask of a header protection key: AES-ECB for the AES suites, ChaCha20
// for ChaCha20-Poly1305 (RFC 9001 sections 5.4.3 and 5.4.4).
class HeaderProtection {
public:
    HeaderProtection();
    bool start(tls::Aead aead, const PacketKeys &keys);
    // Empty when the sample is cut short or the key was not taken.
    std::optional<Mask> mask(ByteView sample);
    void release();

private:
    CipherContext context_;
    bool chaCha20_ = false;
    bool started_ = false;
};

// The AEAD that opens payloads under one key and IV.
class PayloadProtection {
public:
    PayloadProtection();
    bool start(tls::Aead aead, const PacketKeys &keys);
    bool started() const { return started_; }
    // Forgets the key; the context stays for the next start().
    void reset() { started_ = false; }
    void release();

    // The plaintext of `sealed` (ciphertext, then tag) of the packet numbered
    // `number`, authenticated with `header`, written to `out`; empty when the
    // packet fails authentication or does not fit.
    std::optional<ByteView> open(uint64_t number, ByteView header, ByteView sealed, std::span<uint8_t> out);

private:
    CipherContext context_;
    std::array<uint8_t, tls::kNonceLength> iv_{};
    bool started_ = false;
};

}
