#include "packet_protection.h"

#include <openssl/evp.h>

#include <vector>

namespace quillnet::quic {

namespace {

constexpr std::string_view kClientInitialLabel = "client in";
constexpr std::string_view kServerInitialLabel = "server in";
constexpr size_t kPacketNumberLength = 8; // as mixed into the nonce

const uint8_t *bytesOf(ByteView view)
{
    return reinterpret_cast<const uint8_t *>(view.text().data());
}

size_t keyLength(tls::Aead aead)
{
    return static_cast<size_t>(EVP_CIPHER_get_key_length(tls::CipherOf(aead)));
}

const EVP_CIPHER *headerCipherOf(tls::Aead aead)
{
    switch (aead) {
    case tls::Aead::kAes128Gcm:
        return EVP_aes_128_ecb();
    case tls::Aead::kAes256Gcm:
        return EVP_aes_256_ecb();
    case tls::Aead::kChaCha20Poly1305:
        break;
    }
    return EVP_chacha20();
}

bool expandSecret(const tls::Secret &secret, std::string_view label, tls::Secret &out)
{
    out = {};
    out.size = secret.size;
    return tls::ExpandLabel(kInitialSuite.hash, secret, label, std::span(out.bytes).first(out.size));
}

// One AEAD run whose plaintext is written to `out`; an empty `sealed` tag-only check included.
bool runAead(EVP_CIPHER_CTX *context, const std::array<uint8_t, tls::kNonceLength> &nonce, ByteView additional,
             ByteView ciphertext, ByteView tag, std::span<uint8_t> out)
{
    int written = 0;
    int finalWritten = 0;
    return EVP_DecryptInit_ex(context, nullptr, nullptr, nullptr, nonce.data()) > 0 &&
           EVP_DecryptUpdate(context, nullptr, &written, bytesOf(additional), static_cast<int>(additional.size())) >
               0 &&
           EVP_DecryptUpdate(context, out.data(), &written, bytesOf(ciphertext),
                             static_cast<int>(ciphertext.size())) > 0 &&
           EVP_CIPHER_CTX_ctrl(context, EVP_CTRL_AEAD_SET_TAG, static_cast<int>(tls::kTagLength),
                               const_cast<uint8_t *>(bytesOf(tag))) > 0 &&
           EVP_DecryptFinal_ex(context, out.subspan(static_cast<size_t>(written)).data(), &finalWritten) > 0;
}

CipherContext newContext()
{
    return CipherContext(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
}

}

bool DeriveInitialSecrets(const Version &version, ByteView destination, tls::Secret &client, tls::Secret &server)
{
    tls::Secret initial;
    return tls::HkdfExtract(kInitialSuite.hash, ByteView(version.initialSalt.data(), version.initialSalt.size()),
                            destination, initial) &&
           expandSecret(initial, kClientInitialLabel, client) && expandSecret(initial, kServerInitialLabel, server);
}

bool DerivePacketKeys(const tls::CipherSuite &suite, const Version &version, const tls::Secret &secret,
                      PacketKeys &keys)
{
    keys = {};
    const size_t length = keyLength(suite.aead);
    return tls::ExpandLabel(suite.hash, secret, version.keyLabel, std::span(keys.key).first(length)) &&
           tls::ExpandLabel(suite.hash, secret, version.ivLabel, keys.iv) &&
           tls::ExpandLabel(suite.hash, secret, version.hpLabel, std::span(keys.hp).first(length));
}

bool NextPacketSecret(const tls::CipherSuite &suite, const Version &version, tls::Secret &secret)
{
    tls::Secret next;
    next.size = secret.size;
    if (!tls::ExpandLabel(suite.hash, secret, version.updateLabel, std::span(next.bytes).first(next.size)))
        return false;
    secret = next;
    return true;
}

bool RetryIsAuthentic(const Version &version, ByteView original, ByteView retry)
{
    if (retry.size() < tls::kTagLength || original.size() > UINT8_MAX)
        return false;
    const size_t taggedLength = retry.size() - tls::kTagLength;
    // The Retry pseudo-packet of RFC 9001 section 5.8.
    std::vector<uint8_t> pseudo;
    pseudo.reserve(1 + original.size() + taggedLength);
    pseudo.push_back(static_cast<uint8_t>(original.size()));
    pseudo.insert(pseudo.end(), original.text().begin(), original.text().end());
    const std::string_view tagged = retry.sub(0, taggedLength).text();
    pseudo.insert(pseudo.end(), tagged.begin(), tagged.end());

    const CipherContext context = newContext();
    std::array<uint8_t, 1> unused{};
    return context &&
           EVP_DecryptInit_ex(context.get(), EVP_aes_128_gcm(), nullptr, version.retryKey.data(), nullptr) > 0 &&
           runAead(context.get(), version.retryNonce, ByteView(pseudo.data(), pseudo.size()), ByteView(),
                   retry.sub(taggedLength), unused);
}

HeaderProtection::HeaderProtection() : context_(nullptr, EVP_CIPHER_CTX_free) {}

bool HeaderProtection::start(tls::Aead aead, const PacketKeys &keys)
{
    started_ = false;
    if (!context_)
        context_ = newContext();
    if (!context_)
        return false;
    chaCha20_ = aead == tls::Aead::kChaCha20Poly1305;
    // ChaCha20 takes its key now and the sample as its IV with each mask.
    started_ = EVP_EncryptInit_ex(context_.get(), headerCipherOf(aead), nullptr, keys.hp.data(), nullptr) > 0 &&
               EVP_CIPHER_CTX_set_padding(context_.get(), 0) > 0;
    return started_;
}

std::optional<Mask> HeaderProtection::mask(ByteView sample)
{
    std::array<uint8_t, kSampleLength> input{};
    if (!started_ || !sample.read(0, input))
        return std::nullopt;
    std::array<uint8_t, kSampleLength> output{};
    int written = 0;
    if (chaCha20_) {
        // The sample is the block counter and nonce; the mask is the keystream over zeros.
        const std::array<uint8_t, kMaskLength> zeros{};
        if (EVP_EncryptInit_ex(context_.get(), nullptr, nullptr, nullptr, input.data()) <= 0 ||
            EVP_EncryptUpdate(context_.get(), output.data(), &written, zeros.data(), kMaskLength) <= 0)
            return std::nullopt;
    } else if (EVP_EncryptUpdate(context_.get(), output.data(), &written, input.data(), kSampleLength) <= 0 ||
               written != kSampleLength) {
        return std::nullopt;
    }
    Mask mask;
    std::copy_n(output.begin(), kMaskLength, mask.begin());
    return mask;
}

void HeaderProtection::release()
{
    context_.reset();
    started_ = false;
}

PayloadProtection::PayloadProtection() : context_(nullptr, EVP_CIPHER_CTX_free) {}

bool PayloadProtection::start(tls::Aead aead, const PacketKeys &keys)
{
    started_ = false;
    if (!context_)
        context_ = newContext();
    if (!context_)
        return false;
    iv_ = keys.iv;
    started_ = EVP_DecryptInit_ex(context_.get(), tls::CipherOf(aead), nullptr, keys.key.data(), nullptr) > 0;
    return started_;
}

void PayloadProtection::release()
{
    context_.reset();
    started_ = false;
}

std::optional<ByteView> PayloadProtection::open(uint64_t number, ByteView header, ByteView sealed,
                                                std::span<uint8_t> out)
{
    if (!started_ || sealed.size() < tls::kTagLength || sealed.size() - tls::kTagLength > out.size())
        return std::nullopt;
    const size_t plaintextLength = sealed.size() - tls::kTagLength;
    // The packet number, left-padded to the IV's length, mixed into the IV (RFC 9001 section 5.3).
    std::array<uint8_t, tls::kNonceLength> nonce = iv_;
    for (size_t i = 0; i < kPacketNumberLength; ++i)
        nonce[tls::kNonceLength - 1 - i] ^= static_cast<uint8_t>(number >> (8 * i));
    if (!runAead(context_.get(), nonce, header, sealed.sub(0, plaintextLength), sealed.sub(plaintextLength), out))
        return std::nullopt;
    return ByteView(out.data(), plaintextLength);
}

}
