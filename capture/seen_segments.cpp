#include "seen_segments.h"

#include <array>
#include <atomic>

namespace quillnet {

namespace {

// A direct-mapped cache of 8-byte fingerprints (512 KiB, so that a look costs
// one cache line): a segment takes the place its fingerprint names, pushing
// out whatever was there. A copy arriving after its place was taken is not
// known, which costs a row at worst; two segments sharing all 64 bits of a
// fingerprint, which practically never happens, would cost one.
constexpr uint64_t kEmpty = 0;
// Zero pages until used; there from the start, since the place of a frame's
// segment is fetched before the frame takes the capture lock.
std::array<uint64_t, kMostSeenSegments> fingerprints{};

// Each capture's fingerprints differ from the last one's, so that forgetting is
// a new generation rather than a pass over the whole cache.
std::atomic<uint64_t> generation{0};

uint64_t fingerprintOf(const SegmentKey &key)
{
    uint64_t hash = FlowHash{}(key.flow) ^ (uint64_t{key.sequence} << 32 | key.length) * 0x9E3779B97F4A7C15ULL;
    hash ^= generation.load(std::memory_order_relaxed) * 0xD6E8FEB86659FD93ULL;
    // The finaliser of MurmurHash3: every input bit reaches every output bit.
    hash = (hash ^ hash >> 33) * 0xFF51AFD7ED558CCDULL;
    hash = (hash ^ hash >> 33) * 0xC4CEB9FE1A85EC53ULL;
    hash ^= hash >> 33;
    return hash == kEmpty ? 1 : hash;
}

}

bool SeenBefore(const SegmentKey &segment)
{
    const uint64_t fingerprint = fingerprintOf(segment);
    uint64_t &place = fingerprints[fingerprint % kMostSeenSegments];
    if (place == fingerprint)
        return true;
    place = fingerprint;
    return false;
}

void PrefetchSeenSegment(const SegmentKey &segment)
{
    __builtin_prefetch(&fingerprints[fingerprintOf(segment) % kMostSeenSegments], 1);
}

void ForgetSeenSegments()
{
    generation.fetch_add(1, std::memory_order_relaxed);
}

}
