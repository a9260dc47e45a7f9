#include "url_fingerprints.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "text.h"

namespace tarvolin {

namespace {

// A slot that holds no fingerprint; fingerprints never take this value.
constexpr uint64_t kEmptySlot = 0;
// 4 KiB: a capture with a few media files never touches more.
constexpr size_t kFirstBucketCount = 64;
constexpr uint64_t kFnvOffset = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;
// MurmurHash3's finaliser: FNV-1a alone spreads similar URLs poorly over the buckets.
constexpr int kMixShift = 33;
constexpr uint64_t kMixFirst = 0xff51afd7ed558ccdull;
constexpr uint64_t kMixSecond = 0xc4ceb9fe1a85ec53ull;

uint64_t fingerprint(std::string_view url)
{
    uint64_t hash = kFnvOffset;
    for (char c : url)
        hash = (hash ^ static_cast<unsigned char>(LowerAscii(c))) * kFnvPrime;
    hash = (hash ^ hash >> kMixShift) * kMixFirst;
    hash = (hash ^ hash >> kMixShift) * kMixSecond;
    hash ^= hash >> kMixShift;
    return hash == kEmptySlot ? kEmptySlot + 1 : hash;
}

}

UrlFingerprints::UrlFingerprints(size_t capacity)
    : largestBucketCount_(std::bit_ceil(std::max<size_t>(1, (capacity + kSlotsPerBucket - 1) / kSlotsPerBucket))),
      bucketCount_(std::min(kFirstBucketCount, largestBucketCount_)),
      slots_(bucketCount_ * kSlotsPerBucket, kEmptySlot)
{
}

size_t UrlFingerprints::bucketStart(uint64_t fingerprint) const
{
    return (fingerprint & (bucketCount_ - 1)) * kSlotsPerBucket;
}

bool UrlFingerprints::contains(std::string_view url) const
{
    const uint64_t wanted = fingerprint(url);
    const uint64_t *bucket = slots_.data() + bucketStart(wanted);
    return std::find(bucket, bucket + kSlotsPerBucket, wanted) != bucket + kSlotsPerBucket;
}

// A bucket fills from its front and, once full, moves up by one, so its
// oldest fingerprint is always the first.
void UrlFingerprints::insert(std::string_view url)
{
    const uint64_t added = fingerprint(url);
    for (;;) {
        uint64_t *const bucket = slots_.data() + bucketStart(added);
        uint64_t *const end = bucket + kSlotsPerBucket;
        uint64_t *const free = std::find(bucket, end, kEmptySlot);
        if (std::find(bucket, free, added) != free)
            return;
        if (free != end) {
            *free = added;
            ++size_;
            return;
        }
        if (bucketCount_ == largestBucketCount_) {
            std::move(bucket + 1, end, bucket);
            *(end - 1) = added;
            return;
        }
        grow();
    }
}

// Each old bucket splits in two by one more bit of its fingerprints; taken
// oldest first, they keep their order in their new buckets, and never overflow them.
void UrlFingerprints::grow()
{
    const std::vector<uint64_t> old = std::exchange(slots_, std::vector<uint64_t>(2 * slots_.size(), kEmptySlot));
    bucketCount_ *= 2;
    for (uint64_t held : old) {
        if (held == kEmptySlot)
            continue;
        uint64_t *const bucket = slots_.data() + bucketStart(held);
        *std::find(bucket, bucket + kSlotsPerBucket, kEmptySlot) = held;
    }
}

void UrlFingerprints::clear()
{
    bucketCount_ = std::min(kFirstBucketCount, largestBucketCount_);
    std::vector<uint64_t>(bucketCount_ * kSlotsPerBucket, kEmptySlot).swap(slots_);
    size_ = 0;
}

}
