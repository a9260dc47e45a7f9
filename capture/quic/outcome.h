// QUIC connections by what became of them. Seen is every connection whose
// first Initial packet opened; each one seen is in at most one of decrypted,
// without keys and undecryptable while it is followed, and in exactly one
// once it ended. Decrypted: 1-RTT packets were opened and nothing was lost.
// Without keys: its secrets never appeared in the key log (or there is
// none), or it carried no 1-RTT packets. Undecryptable: its suite cannot be
// opened, its packets failed authentication under the key log's keys, its
// hello or the HTTP/3 above it broke the protocol, or stream bytes were lost
// for good, even after some were opened. Evicted counts those of them given
// up early, the oldest first, to bound memory or the connections followed.
#pragma once

#include <cstdint>

namespace quillnet::quic {

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
