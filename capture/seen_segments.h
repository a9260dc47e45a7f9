// Segments already recognised, so that a retransmission or a capture that holds
// every frame twice adds no second row.
#pragma once

#include <cstdint>

#include "flow.h"

namespace quillnet {

// Segments remembered at most; a newer one may push an older one out.
inline constexpr size_t kMostSeenSegments = 65536;

struct SegmentKey {
    Flow flow;
    uint32_t sequence;
    uint32_t length;
    bool operator==(const SegmentKey &) const = default;
};

// True when a segment with the same connection, sequence number and length was
// noted before; notes it otherwise.
bool SeenBefore(const SegmentKey &segment);

// Starts bringing in the cache line SeenBefore will look at for `segment`;
// the table is far larger than what stays cached between two requests.
void PrefetchSeenSegment(const SegmentKey &segment);

void ForgetSeenSegments();

}
