// TLS connections made up here with secrets of their own, for the benchmark,
// the fuzzer and the tests of memory bounds: real records of TLS 1.2 or 1.3 that the tracker opens with
// the key log lines given here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "byte_view.h"
#include "key_log.h"
#include "record_crypto.h"

struct evp_cipher_ctx_st;

namespace quillnet::tls {

// A key log file of `lines` in the temporary folder, removed when this goes.
class TemporaryKeyLog {
public:
    explicit TemporaryKeyLog(std::string_view lines);
    ~TemporaryKeyLog();
    TemporaryKeyLog(const TemporaryKeyLog &) = delete;
    TemporaryKeyLog &operator=(const TemporaryKeyLog &) = delete;

    // Empty when the file could not be written.
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

class SyntheticTls {
public:
    // `version` kTls12 or kTls13, `suite` one FindCipherSuite knows; `alpn` ""
    // for none. `seed` makes the randoms and secrets.
    SyntheticTls(uint16_t version, uint16_t suite, std::string alpn, uint8_t seed);
    ~SyntheticTls();
    SyntheticTls(const SyntheticTls &) = delete;
    SyntheticTls &operator=(const SyntheticTls &) = delete;

    std::string keyLog() const;

    // The records each side writes, in this order.
    std::string clientHello() const;
    std::string serverHandshake();
    std::string clientFinished();

    // Application data, cut into records of at most `recordSize` bytes.
    std::string application(bool fromClient, std::string_view bytes, size_t recordSize = 16384);
    // Protected handshake content of the side's current keys; for TLS 1.3 a
    // KeyUpdate message moves that side to its next secret afterwards.
    std::string handshake(bool fromClient, std::string_view messages);

private:
    class Sealer;

    std::string seal(Sealer &sealer, uint8_t type, std::string_view content);
    void useApplicationKeys(bool fromClient);

    uint16_t version_;
    CipherSuite suite_;
    std::string alpn_;
    Random clientRandom_{};
    Random serverRandom_{};
    Secret master_;
    std::array<Secret, 4> secrets_; // client and server handshake, client and server application
    std::unique_ptr<Sealer> client_;
    std::unique_ptr<Sealer> server_;
};

}
