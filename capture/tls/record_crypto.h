// The AEAD suites whose records can be opened, their traffic keys (TLS 1.2
// key expansion and TLS 1.3 key schedule) and the opening of one record, all
// through OpenSSL's libcrypto.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "byte_view.h"
#include "key_log.h"

struct evp_cipher_ctx_st;
struct evp_cipher_st;

namespace quillnet::tls {

enum class Aead : uint8_t { kAes128Gcm, kAes256Gcm, kChaCha20Poly1305 };
enum class SuiteHash : uint8_t { kSha256, kSha384 };

inline constexpr uint16_t kTls12 = 0x0303;
inline constexpr uint16_t kTls13 = 0x0304;

struct CipherSuite {
    uint16_t id;
    Aead aead;
    SuiteHash hash;
};

// The suite of `id` when its records can be opened; empty for CBC, CCM and
// the other suites that are left alone.
std::optional<CipherSuite> FindCipherSuite(uint16_t id);

// libcrypto's cipher for the AEAD.
const evp_cipher_st *CipherOf(Aead aead);

// Length of the suite's traffic secrets (its hash's output).
size_t SecretLength(const CipherSuite &suite);

// HKDF-Expand-Label of RFC 8446 section 7.1, with an empty context.
bool ExpandLabel(SuiteHash hash, const Secret &secret, std::string_view label, std::span<uint8_t> out);

// HKDF-Extract of RFC 5869: a secret of the hash's length.
bool HkdfExtract(SuiteHash hash, ByteView salt, ByteView inputKey, Secret &out);

inline constexpr size_t kMaxKeyLength = 32;
inline constexpr size_t kNonceLength = 12;
inline constexpr size_t kTagLength = 16;

// One direction's key and the fixed part of its nonces.
struct TrafficKeys {
    std::array<uint8_t, kMaxKeyLength> key{};
    std::array<uint8_t, kNonceLength> iv{};
};

// TLS 1.2 key expansion of RFC 5246 for an AEAD suite.
bool DeriveTls12Keys(const CipherSuite &suite, const Secret &masterSecret, const Random &clientRandom,
                     const Random &serverRandom, TrafficKeys &client, TrafficKeys &server);

// TLS 1.3 keys of a traffic secret (RFC 8446 section 7.3).
bool DeriveTls13Keys(const CipherSuite &suite, const Secret &trafficSecret, TrafficKeys &keys);

// The application traffic secret that follows a KeyUpdate (RFC 8446 section 7.2).
bool NextTrafficSecret(const CipherSuite &suite, Secret &trafficSecret);

// Opens the records of one direction in order, counting their sequence numbers.
class RecordOpener {
public:
    RecordOpener();
    ~RecordOpener();
    RecordOpener(const RecordOpener &) = delete;
    RecordOpener &operator=(const RecordOpener &) = delete;

    // Keys for the records that follow, whose sequence starts again at 0.
    bool start(const CipherSuite &suite, uint16_t version, const TrafficKeys &keys);
    bool started() const { return started_; }
    // Forgets the keys, for new ones at the next start().
    void reset() { started_ = false; }
    // Frees libcrypto's state too.
    void release();

    // The plaintext of `record` (header included) written to `out`: for TLS
    // 1.3 still with its content type and padding. Empty when the record is
    // too short or fails authentication.
    std::optional<ByteView> open(ByteView record, std::span<uint8_t> out);

private:
    std::unique_ptr<evp_cipher_ctx_st, void (*)(evp_cipher_ctx_st *)> context_;
    Aead aead_ = Aead::kAes128Gcm;
    bool tls13_ = false;
    bool started_ = false;
    std::array<uint8_t, kNonceLength> iv_{};
    uint64_t sequence_ = 0;
};

// Largest record fragment any version allows (RFC 5246 section 6.2.3).
inline constexpr size_t kMaxFragmentLength = 16384 + 2048;
inline constexpr size_t kRecordHeaderLength = 5;

}
