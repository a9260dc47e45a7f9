// Connections by the connection IDs their packets carry. A short header does
// not say how long its ID is, so the lengths of the IDs known are tried.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "byte_view.h"
#include "packet_header.h"

namespace quillnet::quic {

struct ConnectionId {
    std::array<uint8_t, kMaxConnectionIdLength> bytes{};
    uint8_t length = 0;

    // Empty when `id` is longer than any connection ID.
    static std::optional<ConnectionId> of(ByteView id);
    ByteView view() const { return {bytes.data(), length}; }
    bool operator==(const ConnectionId &) const = default;
};

struct ConnectionIdHash {
    size_t operator()(const ConnectionId &id) const;
};

// Where the packets that carry an ID go: a connection, and which way.
struct IdRoute {
    uint32_t slot = 0;
    bool toServer = false;
    uint8_t idLength = 0;
};

class ConnectionIdTable {
public:
    std::optional<IdRoute> find(ByteView id) const;
    // The route of the ID that `bytes` start with, trying each length known.
    std::optional<IdRoute> findPrefix(ByteView bytes) const;
    // A later connection that comes up with the same ID takes it over.
    void insert(const ConnectionId &id, uint32_t slot, bool toServer);
    // Only while the ID still routes to `slot`.
    void erase(const ConnectionId &id, uint32_t slot);

private:
    struct Entry {
        uint32_t slot;
        bool toServer;
    };

    std::unordered_map<ConnectionId, Entry, ConnectionIdHash> routes_;
    std::array<uint32_t, kMaxConnectionIdLength + 1> lengthCounts_{};
};

}
