#include "seen_segments.h"

namespace quillnet {

namespace {

struct SegmentKeyHash {
    size_t operator()(const SegmentKey &key) const
    {
        return FlowHash{}(key.flow) ^ (static_cast<size_t>(key.sequence) * 0x9E3779B97F4A7C15ULL) ^ key.length;
    }
};

std::unordered_set<SegmentKey, SegmentKeyHash> seen;
std::vector<SegmentKey> order; // a ring of the remembered keys, oldest at `next` once full
size_t next = 0;

}

bool SeenBefore(const SegmentKey &segment)
{
    if (!seen.insert(segment).second)
        return true;
    if (order.size() < kMostSeenSegments) {
        order.push_back(segment);
        return false;
    }
    seen.erase(order[next]);
    order[next] = segment;
    next = (next + 1) % kMostSeenSegments;
    return false;
}

void ForgetSeenSegments()
{
    seen.clear();
    order.clear();
    next = 0;
}

}
