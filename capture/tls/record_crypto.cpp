#include "record_crypto.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>

#include <string>
#include <string_view>
#include <vector>

namespace quillnet::tls {

namespace {

constexpr std::array<CipherSuite, 14> kSuites{{
    {0x1301, Aead::kAes128Gcm, SuiteHash::kSha256}, // TLS_AES_128_GCM_SHA256
    {0x1302, Aead::kAes256Gcm, SuiteHash::kSha384}, // TLS_AES_256_GCM_SHA384
    {0x1303, Aead::kChaCha20Poly1305, SuiteHash::kSha256},
    {0x009C, Aead::kAes128Gcm, SuiteHash::kSha256}, // RSA
    {0x009D, Aead::kAes256Gcm, SuiteHash::kSha384},
    {0x009E, Aead::kAes128Gcm, SuiteHash::kSha256}, // DHE_RSA
    {0x009F, Aead::kAes256Gcm, SuiteHash::kSha384},
    {0xC02B, Aead::kAes128Gcm, SuiteHash::kSha256}, // ECDHE_ECDSA
    {0xC02C, Aead::kAes256Gcm, SuiteHash::kSha384},
    {0xC02F, Aead::kAes128Gcm, SuiteHash::kSha256}, // ECDHE_RSA
    {0xC030, Aead::kAes256Gcm, SuiteHash::kSha384},
    {0xCCA8, Aead::kChaCha20Poly1305, SuiteHash::kSha256}, // ECDHE_RSA
    {0xCCA9, Aead::kChaCha20Poly1305, SuiteHash::kSha256}, // ECDHE_ECDSA
    {0xCCAA, Aead::kChaCha20Poly1305, SuiteHash::kSha256}, // DHE_RSA
}};

// TLS 1.2 AES-GCM takes 4 bytes of its nonce from the key block and sends the
// other 8 with each record (RFC 5288); ChaCha20-Poly1305 takes all 12 from
// the key block (RFC 7905).
constexpr size_t kGcmSaltLength = 4;
constexpr size_t kExplicitNonceLength = 8;
constexpr size_t kSequenceLength = 8;
constexpr size_t kTls12AdditionalDataLength = kSequenceLength + kRecordHeaderLength;

const char *digestName(SuiteHash hash)
{
    return hash == SuiteHash::kSha384 ? "SHA384" : "SHA256";
}

size_t hashLength(SuiteHash hash)
{
    return hash == SuiteHash::kSha384 ? 48 : 32;
}

size_t keyLength(Aead aead)
{
    return aead == Aead::kAes128Gcm ? 16 : 32;
}

const uint8_t *bytesOf(ByteView view)
{
    return reinterpret_cast<const uint8_t *>(view.text().data());
}

// One run of a libcrypto key derivation function ("TLS1-PRF" or "HKDF").
bool deriveWith(const char *algorithm, const OSSL_PARAM *params, std::span<uint8_t> out)
{
    EVP_KDF *kdf = EVP_KDF_fetch(nullptr, algorithm, nullptr);
    EVP_KDF_CTX *context = kdf ? EVP_KDF_CTX_new(kdf) : nullptr;
    const bool derived = context && EVP_KDF_derive(context, out.data(), out.size(), params) > 0;
    EVP_KDF_CTX_free(context);
    EVP_KDF_free(kdf);
    return derived;
}

OSSL_PARAM octets(const char *name, ByteView bytes)
{
    return OSSL_PARAM_construct_octet_string(name, const_cast<uint8_t *>(bytesOf(bytes)), bytes.size());
}

}

const EVP_CIPHER *CipherOf(Aead aead)
{
    switch (aead) {
    case Aead::kAes128Gcm:
        return EVP_aes_128_gcm();
    case Aead::kAes256Gcm:
        return EVP_aes_256_gcm();
    case Aead::kChaCha20Poly1305:
        break;
    }
    return EVP_chacha20_poly1305();
}

std::optional<CipherSuite> FindCipherSuite(uint16_t id)
{
    for (const CipherSuite &suite : kSuites) {
        if (suite.id == id)
            return suite;
    }
    return std::nullopt;
}

size_t SecretLength(const CipherSuite &suite)
{
    return hashLength(suite.hash);
}

bool ExpandLabel(SuiteHash hash, const Secret &secret, std::string_view label, std::span<uint8_t> out)
{
    const std::string fullLabel = std::string("tls13 ") + std::string(label);
    std::vector<uint8_t> info;
    info.push_back(static_cast<uint8_t>(out.size() >> 8));
    info.push_back(static_cast<uint8_t>(out.size()));
    info.push_back(static_cast<uint8_t>(fullLabel.size()));
    info.insert(info.end(), fullLabel.begin(), fullLabel.end());
    info.push_back(0);
    char mode[] = "EXPAND_ONLY";
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_MODE, mode, 0),
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char *>(digestName(hash)), 0),
        octets(OSSL_KDF_PARAM_KEY, secret.view()),
        octets(OSSL_KDF_PARAM_INFO, ByteView(info.data(), info.size())),
        OSSL_PARAM_construct_end(),
    };
    return deriveWith("HKDF", params, out);
}

bool HkdfExtract(SuiteHash hash, ByteView salt, ByteView inputKey, Secret &out)
{
    char mode[] = "EXTRACT_ONLY";
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_MODE, mode, 0),
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char *>(digestName(hash)), 0),
        octets(OSSL_KDF_PARAM_KEY, inputKey),
        octets(OSSL_KDF_PARAM_SALT, salt),
        OSSL_PARAM_construct_end(),
    };
    out = {};
    out.size = static_cast<uint8_t>(hashLength(hash));
    return deriveWith("HKDF", params, std::span(out.bytes).first(out.size));
}

bool DeriveTls12Keys(const CipherSuite &suite, const Secret &masterSecret, const Random &clientRandom,
                     const Random &serverRandom, TrafficKeys &client, TrafficKeys &server)
{
    // AEAD suites have no MAC keys: the key block is the two keys, then the two IVs.
    const size_t key = keyLength(suite.aead);
    const size_t iv = suite.aead == Aead::kChaCha20Poly1305 ? kNonceLength : kGcmSaltLength;
    std::string seed = "key expansion";
    seed.append(reinterpret_cast<const char *>(serverRandom.data()), serverRandom.size());
    seed.append(reinterpret_cast<const char *>(clientRandom.data()), clientRandom.size());
    std::array<uint8_t, 2 * (kMaxKeyLength + kNonceLength)> block{};
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, const_cast<char *>(digestName(suite.hash)), 0),
        octets(OSSL_KDF_PARAM_SECRET, masterSecret.view()),
        octets(OSSL_KDF_PARAM_SEED, ByteView(seed)),
        OSSL_PARAM_construct_end(),
    };
    const std::span<uint8_t> keyBlock = std::span(block).first(2 * (key + iv));
    if (!deriveWith("TLS1-PRF", params, keyBlock))
        return false;
    client = {};
    server = {};
    std::copy_n(keyBlock.begin(), key, client.key.begin());
    std::copy_n(keyBlock.begin() + static_cast<ptrdiff_t>(key), key, server.key.begin());
    std::copy_n(keyBlock.begin() + static_cast<ptrdiff_t>(2 * key), iv, client.iv.begin());
    std::copy_n(keyBlock.begin() + static_cast<ptrdiff_t>(2 * key + iv), iv, server.iv.begin());
    return true;
}

bool DeriveTls13Keys(const CipherSuite &suite, const Secret &trafficSecret, TrafficKeys &keys)
{
    keys = {};
    return ExpandLabel(suite.hash, trafficSecret, "key", std::span(keys.key).first(keyLength(suite.aead))) &&
           ExpandLabel(suite.hash, trafficSecret, "iv", keys.iv);
}

bool NextTrafficSecret(const CipherSuite &suite, Secret &trafficSecret)
{
    Secret next;
    next.size = static_cast<uint8_t>(hashLength(suite.hash));
    if (!ExpandLabel(suite.hash, trafficSecret, "traffic upd", std::span(next.bytes).first(next.size)))
        return false;
    trafficSecret = next;
    return true;
}

RecordOpener::RecordOpener() : context_(nullptr, EVP_CIPHER_CTX_free) {}

RecordOpener::~RecordOpener() = default;

bool RecordOpener::start(const CipherSuite &suite, uint16_t version, const TrafficKeys &keys)
{
    started_ = false;
    if (!context_)
        context_.reset(EVP_CIPHER_CTX_new()); // only for connections that get this far
    if (!context_)
        return false;
    aead_ = suite.aead;
    tls13_ = version == kTls13;
    iv_ = keys.iv;
    sequence_ = 0;
    started_ = EVP_DecryptInit_ex(context_.get(), CipherOf(aead_), nullptr, keys.key.data(), nullptr) > 0;
    return started_;
}

void RecordOpener::release()
{
    context_.reset();
    started_ = false;
}

std::optional<ByteView> RecordOpener::open(ByteView record, std::span<uint8_t> out)
{
    if (!started_)
        return std::nullopt;
    const bool explicitNonce = !tls13_ && aead_ != Aead::kChaCha20Poly1305;
    const size_t overhead = (explicitNonce ? kExplicitNonceLength : 0) + kTagLength;
    const ByteView fragment = record.sub(kRecordHeaderLength);
    if (fragment.size() < overhead || fragment.size() - overhead > out.size())
        return std::nullopt;
    const size_t plaintextLength = fragment.size() - overhead;

    std::array<uint8_t, kNonceLength> nonce = iv_;
    if (explicitNonce) {
        copyBytes(std::span(nonce).subspan(kGcmSaltLength), fragment.sub(0, kExplicitNonceLength));
    } else {
        // The sequence number, left-padded to the nonce length, mixed into the IV.
        for (size_t i = 0; i < kSequenceLength; ++i)
            nonce[kNonceLength - 1 - i] ^= static_cast<uint8_t>(sequence_ >> (8 * i));
    }

    std::array<uint8_t, kTls12AdditionalDataLength> additional{};
    size_t additionalLength = kRecordHeaderLength;
    if (tls13_) {
        copyBytes(additional, record.sub(0, kRecordHeaderLength));
    } else {
        // seq_num, type, version and the plaintext's length (RFC 5246 section 6.2.3.3).
        for (size_t i = 0; i < kSequenceLength; ++i)
            additional[kSequenceLength - 1 - i] = static_cast<uint8_t>(sequence_ >> (8 * i));
        copyBytes(std::span(additional).subspan(kSequenceLength), record.sub(0, 3));
        additional[kSequenceLength + 3] = static_cast<uint8_t>(plaintextLength >> 8);
        additional[kSequenceLength + 4] = static_cast<uint8_t>(plaintextLength);
        additionalLength = kTls12AdditionalDataLength;
    }

    const ByteView ciphertext = fragment.sub(explicitNonce ? kExplicitNonceLength : 0, plaintextLength);
    const ByteView tag = fragment.sub(fragment.size() - kTagLength);
    EVP_CIPHER_CTX *context = context_.get();
    int written = 0;
    int finalWritten = 0;
    const bool opened =
        EVP_DecryptInit_ex(context, nullptr, nullptr, nullptr, nonce.data()) > 0 &&
        EVP_DecryptUpdate(context, nullptr, &written, additional.data(), static_cast<int>(additionalLength)) > 0 &&
        EVP_DecryptUpdate(context, out.data(), &written, bytesOf(ciphertext), static_cast<int>(plaintextLength)) > 0 &&
        EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_AEAD_SET_TAG, static_cast<int>(kTagLength),
                            const_cast<uint8_t *>(bytesOf(tag))) > 0 &&
        EVP_DecryptFinal_ex(context, out.subspan(static_cast<size_t>(written)).data(), &finalWritten) > 0;
    if (!opened)
        return std::nullopt;
    ++sequence_;
    return ByteView(out.data(), plaintextLength);
}

}
