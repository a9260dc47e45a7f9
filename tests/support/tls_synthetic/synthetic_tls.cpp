#include "synthetic_tls.h"

#include <unistd.h>

#include <openssl/evp.h>

#include "handshake.h"

namespace quillnet::tls {

namespace {

constexpr uint8_t kChangeCipherSpec = 20;
constexpr uint8_t kHandshake = 22;
constexpr uint8_t kApplicationData = 23;
constexpr uint16_t kExtensionServerName = 0;
constexpr uint16_t kExtensionAlpn = 16;
constexpr uint16_t kExtensionSupportedVersions = 43;
constexpr size_t kSequenceLength = 8;
constexpr size_t kSequenceInNonce = kNonceLength - kSequenceLength;
constexpr size_t kFinishedLength12 = 12;
constexpr size_t kFinishedLength13 = 32;

enum SecretIndex { kClientHandshake, kServerHandshake, kClientApplication, kServerApplication };

void put16(std::string &out, size_t value)
{
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value);
}

void put24(std::string &out, size_t value)
{
    out += static_cast<char>(value >> 16);
    put16(out, value);
}

std::string vector16(std::string_view content)
{
    std::string out;
    put16(out, content.size());
    return out.append(content);
}

std::string extension(uint16_t type, std::string_view data)
{
    std::string out;
    put16(out, type);
    return out + vector16(data);
}

std::string alpnExtension(std::string_view protocol)
{
    std::string names;
    names += static_cast<char>(protocol.size());
    names.append(protocol);
    return extension(kExtensionAlpn, vector16(names));
}

std::string message(uint8_t type, std::string_view body)
{
    std::string out(1, static_cast<char>(type));
    put24(out, body.size());
    return out.append(body);
}

std::string record(uint8_t type, std::string_view fragment)
{
    std::string out{static_cast<char>(type), 3, 3};
    put16(out, fragment.size());
    return out.append(fragment);
}

std::string_view textOf(const Random &random)
{
    return {reinterpret_cast<const char *>(random.data()), random.size()};
}

Secret madeSecret(uint8_t seed, uint8_t index, size_t length)
{
    Secret secret;
    secret.size = static_cast<uint8_t>(length);
    for (size_t i = 0; i < length; ++i)
        secret.bytes[i] = static_cast<uint8_t>(seed * 31 + index * 17 + i);
    return secret;
}

std::string hex(ByteView bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes.text()) {
        out += digits[static_cast<uint8_t>(c) >> 4];
        out += digits[static_cast<uint8_t>(c) & 15];
    }
    return out;
}

}

// Seals one side's records, counting their sequence numbers.
class SyntheticTls::Sealer {
public:
    Sealer(const CipherSuite &suite, uint16_t version, const TrafficKeys &keys)
        : context_(EVP_CIPHER_CTX_new()), suite_(suite), tls13_(version == kTls13), keys_(keys)
    {
    }
    ~Sealer() { EVP_CIPHER_CTX_free(context_); }

    std::string seal(uint8_t type, std::string_view content)
    {
        const bool explicitNonce = !tls13_ && suite_.aead != Aead::kChaCha20Poly1305;
        std::array<uint8_t, kNonceLength> nonce = keys_.iv;
        std::string explicitPart;
        // The sequence number is the explicit nonce where there is one (as OpenSSL does), else mixed into the IV.
        for (size_t i = 0; i < kSequenceLength; ++i) {
            const auto byte = static_cast<uint8_t>(sequence_ >> (8 * (kSequenceLength - 1 - i)));
            if (explicitNonce)
                nonce[kSequenceInNonce + i] = byte;
            else
                nonce[kSequenceInNonce + i] ^= byte;
            explicitPart += static_cast<char>(byte);
        }
        const size_t fragmentLength = (explicitNonce ? kSequenceLength : 0) + content.size() + kTagLength;
        std::string additional;
        if (tls13_) {
            additional = record(type, std::string(fragmentLength, '\0')).substr(0, kRecordHeaderLength);
        } else {
            additional = explicitPart + record(type, std::string(content.size(), '\0')).substr(0, kRecordHeaderLength);
        }
        std::string ciphertext(content.size(), '\0');
        std::array<uint8_t, kTagLength> tag{};
        int written = 0;
        const auto *plain = reinterpret_cast<const uint8_t *>(content.data());
        const bool sealed =
            EVP_EncryptInit_ex(context_, CipherOf(suite_.aead), nullptr, keys_.key.data(), nonce.data()) > 0 &&
            EVP_EncryptUpdate(context_, nullptr, &written, reinterpret_cast<const uint8_t *>(additional.data()),
                              static_cast<int>(additional.size())) > 0 &&
            EVP_EncryptUpdate(context_, reinterpret_cast<uint8_t *>(ciphertext.data()), &written, plain,
                              static_cast<int>(content.size())) > 0 &&
            EVP_EncryptFinal_ex(context_, tag.data(), &written) > 0 &&
            EVP_CIPHER_CTX_ctrl(context_, EVP_CTRL_AEAD_GET_TAG, kTagLength, tag.data()) > 0;
        if (!sealed)
            return {};
        ++sequence_;
        return record(type, (explicitNonce ? explicitPart : "") + ciphertext +
                                std::string(reinterpret_cast<const char *>(tag.data()), tag.size()));
    }

private:
    EVP_CIPHER_CTX *context_;
    CipherSuite suite_;
    bool tls13_;
    TrafficKeys keys_;
    uint64_t sequence_ = 0;
};

SyntheticTls::SyntheticTls(uint16_t version, uint16_t suite, std::string alpn, uint8_t seed)
    : version_(version), suite_(FindCipherSuite(suite).value()), alpn_(std::move(alpn))
{
    for (size_t i = 0; i < kRandomLength; ++i) {
        clientRandom_[i] = static_cast<uint8_t>(seed + i);
        serverRandom_[i] = static_cast<uint8_t>(seed * 7 + i);
    }
    master_ = madeSecret(seed, 9, kMasterSecretLength);
    for (uint8_t i = 0; i < std::size(secrets_); ++i)
        secrets_[i] = madeSecret(seed, i, SecretLength(suite_));
}

SyntheticTls::~SyntheticTls() = default;

std::string SyntheticTls::keyLog() const
{
    const std::string random = hex(ByteView(textOf(clientRandom_)));
    if (version_ == kTls12)
        return "CLIENT_RANDOM " + random + " " + hex(master_.view()) + "\n";
    static const char *const labels[] = {"CLIENT_HANDSHAKE_TRAFFIC_SECRET", "SERVER_HANDSHAKE_TRAFFIC_SECRET",
                                         "CLIENT_TRAFFIC_SECRET_0", "SERVER_TRAFFIC_SECRET_0"};
    std::string lines;
    for (size_t i = 0; i < std::size(secrets_); ++i)
        lines += std::string(labels[i]) + " " + random + " " + hex(secrets_[i].view()) + "\n";
    return lines;
}

std::string SyntheticTls::clientHello() const
{
    std::string body;
    put16(body, kTls12);
    body.append(textOf(clientRandom_));
    body += '\0'; // no session id
    std::string suites;
    put16(suites, suite_.id);
    body += vector16(suites);
    body += std::string{1, 0}; // null compression
    std::string name{0};
    name += vector16("media.example");
    std::string extensions = extension(kExtensionServerName, vector16(name));
    if (!alpn_.empty())
        extensions += alpnExtension(alpn_);
    body += vector16(extensions);
    return record(kHandshake, message(kClientHello, body));
}

std::string SyntheticTls::serverHandshake()
{
    std::string body;
    put16(body, kTls12);
    body.append(textOf(serverRandom_));
    body += '\0';
    put16(body, suite_.id);
    body += '\0';
    std::string extensions;
    if (version_ == kTls13) {
        std::string version;
        put16(version, kTls13);
        extensions += extension(kExtensionSupportedVersions, version);
    } else if (!alpn_.empty()) {
        extensions += alpnExtension(alpn_);
    }
    body += vector16(extensions);
    std::string flight = record(kHandshake, message(kServerHello, body));
    if (version_ == kTls13) {
        TrafficKeys keys;
        DeriveTls13Keys(suite_, secrets_[kServerHandshake], keys);
        server_ = std::make_unique<Sealer>(suite_, kTls13, keys);
        const std::string encrypted =
            message(kEncryptedExtensions, vector16(alpn_.empty() ? std::string() : alpnExtension(alpn_))) +
            message(kFinished, std::string(kFinishedLength13, 'f'));
        flight += record(kChangeCipherSpec, "\x01") + seal(*server_, kHandshake, encrypted);
        useApplicationKeys(false);
        return flight;
    }
    useApplicationKeys(false);
    return flight + record(kChangeCipherSpec, "\x01") + seal(*server_, kHandshake, message(kFinished, std::string(kFinishedLength12, 'f')));
}

std::string SyntheticTls::clientFinished()
{
    if (version_ == kTls13) {
        TrafficKeys keys;
        DeriveTls13Keys(suite_, secrets_[kClientHandshake], keys);
        Sealer handshakeKeys(suite_, kTls13, keys);
        const std::string flight = seal(handshakeKeys, kHandshake, message(kFinished, std::string(kFinishedLength13, 'f')));
        useApplicationKeys(true);
        return flight;
    }
    useApplicationKeys(true);
    return record(kChangeCipherSpec, "\x01") + seal(*client_, kHandshake, message(kFinished, std::string(kFinishedLength12, 'f')));
}

void SyntheticTls::useApplicationKeys(bool fromClient)
{
    TrafficKeys keys;
    if (version_ == kTls13) {
        DeriveTls13Keys(suite_, secrets_[fromClient ? kClientApplication : kServerApplication], keys);
    } else {
        TrafficKeys client;
        TrafficKeys server;
        DeriveTls12Keys(suite_, master_, clientRandom_, serverRandom_, client, server);
        keys = fromClient ? client : server;
    }
    (fromClient ? client_ : server_) = std::make_unique<Sealer>(suite_, version_, keys);
}

std::string SyntheticTls::application(bool fromClient, std::string_view bytes, size_t recordSize)
{
    std::string records;
    Sealer &sealer = *(fromClient ? client_ : server_);
    for (size_t offset = 0; offset < bytes.size(); offset += recordSize)
        records += seal(sealer, kApplicationData, bytes.substr(offset, recordSize));
    return records;
}

std::string SyntheticTls::handshake(bool fromClient, std::string_view messages)
{
    const std::string sealed = seal(*(fromClient ? client_ : server_), kHandshake, messages);
    const size_t side = fromClient ? kClientApplication : kServerApplication;
    if (version_ == kTls13 && !messages.empty() && static_cast<uint8_t>(messages.front()) == kKeyUpdate) {
        NextTrafficSecret(suite_, secrets_[side]);
        TrafficKeys keys;
        DeriveTls13Keys(suite_, secrets_[side], keys);
        (fromClient ? client_ : server_) = std::make_unique<Sealer>(suite_, kTls13, keys);
    }
    return sealed;
}

std::string SyntheticTls::seal(Sealer &sealer, uint8_t type, std::string_view content)
{
    if (version_ == kTls12)
        return sealer.seal(type, content);
    std::string inner(content);
    inner += static_cast<char>(type);
    return sealer.seal(kApplicationData, inner);
}

TemporaryKeyLog::TemporaryKeyLog(std::string_view lines)
{
    char name[] = "/tmp/tarvolin_keys_XXXXXX";
    const int file = mkstemp(name);
    if (file < 0)
        return;
    const bool written = write(file, lines.data(), lines.size()) == static_cast<ssize_t>(lines.size());
    close(file);
    if (written)
        path_ = name;
    else
        unlink(name);
}

TemporaryKeyLog::~TemporaryKeyLog()
{
    if (!path_.empty())
        unlink(path_.c_str());
}

}
