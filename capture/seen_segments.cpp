#include "seen_segments.h"

#include <array>
#include <memory>

namespace quillnet {

namespace {

// A direct-mapped cache: a segment takes the place its hash names, pushing out
// whatever was there. Bounded and without allocation per segment; a copy
// arriving after its place was taken is not known, which costs a row at worst.
struct Place {
    SegmentKey key;
    uint64_t generation = 0; // the capture that noted it; places of earlier ones count as empty
};

using Places = std::array<Place, kMostSeenSegments>;
std::unique_ptr<Places> places;
uint64_t generation = 1;

size_t placeOf(const SegmentKey &key)
{
    const size_t hash = FlowHash{}(key.flow) ^ (static_cast<size_t>(key.sequence) * 0x9E3779B97F4A7C15ULL) ^ key.length;
    return (hash ^ hash >> 29) % kMostSeenSegments;
}

}

bool SeenBefore(const SegmentKey &segment)
{
    if (!places)
        places = std::make_unique<Places>();
    Place &place = (*places)[placeOf(segment)];
    if (place.generation == generation && place.key == segment)
        return true;
    place = {segment, generation};
    return false;
}

void ForgetSeenSegments()
{
    ++generation;
}

}
