// What became of the connections a tracker followed, TLS or QUIC alike: the
// counts, and the one outcome each connection is counted by.
#pragma once

#include <cstdint>

namespace quillnet::tls {

struct Counts {
    uint64_t seen = 0;
    uint64_t decrypted = 0;
    uint64_t withoutKeys = 0;
    uint64_t undecryptable = 0;
    uint64_t evicted = 0;
};

// In the order a later one replaces an earlier: what was lost outweighs what was opened.
enum class Outcome : uint8_t { kNone, kWithoutKeys, kDecrypted, kUndecryptable };

// Moves a connection from the count of `current` to that of `next` when `next` outweighs it.
inline void Classify(Outcome &current, Outcome next, Counts &counts)
{
    const auto countOf = [&counts](Outcome outcome) -> uint64_t * {
        switch (outcome) {
        case Outcome::kWithoutKeys:
            return &counts.withoutKeys;
        case Outcome::kDecrypted:
            return &counts.decrypted;
        case Outcome::kUndecryptable:
            return &counts.undecryptable;
        case Outcome::kNone:
            break;
        }
        return nullptr;
    };
    if (next <= current)
        return;
    if (uint64_t *before = countOf(current))
        --*before;
    ++*countOf(next);
    current = next;
}

}
