// The secrets a browser writes to its key log (NSS key log format) while it
// runs, keyed by the ClientHello random of their connection.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "byte_view.h"

namespace quillnet::tls {

inline constexpr size_t kRandomLength = 32;
using Random = std::array<uint8_t, kRandomLength>;

// Long enough for any secret of the SHA-256 and SHA-384 suites.
inline constexpr size_t kMaxSecretLength = 48;
inline constexpr size_t kMasterSecretLength = 48;

struct Secret {
    std::array<uint8_t, kMaxSecretLength> bytes{};
    uint8_t size = 0;

    ByteView view() const { return {bytes.data(), size}; }
};

enum class SecretLabel : uint8_t {
    kMasterSecret,           // CLIENT_RANDOM, TLS 1.2
    kClientHandshakeTraffic, // TLS 1.3 from here on
    kServerHandshakeTraffic,
    kClientTraffic0,
    kServerTraffic0,
};
inline constexpr size_t kSecretLabelCount = 5;

// What SetKeyLogFile answers for a file that is not a regular one.
inline constexpr int kNotRegularFile = -1;

// 0 when `path` is empty or a regular file that can be opened for reading;
// otherwise the errno value of opening it (EISDIR for a directory), or
// kNotRegularFile. Never blocks.
int KeyLogProblem(const std::string &path);

class KeyLog {
public:
    // "" for none: every lookup misses.
    explicit KeyLog(std::string path);

    // The secret of `length` bytes, reading what was appended to the file
    // first when it is not known yet. A secret of another length is a line the
    // browser had not finished writing, or one for another suite.
    std::optional<Secret> find(const Random &clientRandom, SecretLabel label, size_t length);

    // Takes text that follows what was taken before; a line counts once its
    // newline came.
    void addText(std::string_view text);

    // Reads what was appended since the last read; when nothing was, a last
    // line without newline is taken as it stands. True when secrets were added.
    bool readAppended();

    // Grows with every secret taken, so that a caller can tell that new ones came.
    uint64_t generation() const { return added_; }

private:
    using Entry = std::array<Secret, kSecretLabelCount>;
    struct RandomHash {
        size_t operator()(const Random &random) const;
    };

    void addLine(std::string_view line);
    void store(const Random &random, SecretLabel label, const Secret &secret);

    std::string path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    uint64_t offset_ = 0;
    std::string head_;
    std::string partialLine_;
    uint64_t added_ = 0;
    std::unordered_map<Random, Entry, RandomHash> entries_;
    std::deque<Random> order_; // oldest first, to forget the oldest when full
};

}
