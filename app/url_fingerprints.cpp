#include "url_fingerprints.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "text.h"

namespace tarvolin {

namespace {

// A slot that holds no fingerprint; fingerprints never take this value.
constexpr uint64_t kEmptySlot = 0;
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

void UrlFingerprints::FreeSlots::operator()(uint64_t *slots) const
{
    std::free(slots);
}

UrlFingerprints::UrlFingerprints(size_t capacity)
    : bucketCount_(std::max<size_t>(1, (capacity + kSlotsPerBucket - 1) / kSlotsPerBucket)),
      slots_(static_cast<uint64_t *>(std::calloc(bucketCount_ * kSlotsPerBucket, sizeof(uint64_t))))
{
    if (!slots_)
        throw std::bad_alloc();
}

uint64_t *UrlFingerprints::bucketOf(uint64_t fingerprint) const
{
    return slots_.get() + fingerprint % bucketCount_ * kSlotsPerBucket;
}

bool UrlFingerprints::contains(std::string_view url) const
{
    const uint64_t wanted = fingerprint(url);
    const uint64_t *bucket = bucketOf(wanted);
    return std::find(bucket, bucket + kSlotsPerBucket, wanted) != bucket + kSlotsPerBucket;
}

// A bucket fills from its front and, once full, moves up by one, so its
// oldest fingerprint is always the first.
void UrlFingerprints::insert(std::string_view url)
{
    const uint64_t added = fingerprint(url);
    uint64_t *const bucket = bucketOf(added);
    uint64_t *const end = bucket + kSlotsPerBucket;
    uint64_t *const free = std::find(bucket, end, kEmptySlot);
    if (std::find(bucket, free, added) != free)
        return;
    if (free != end) {
        *free = added;
        ++size_;
        return;
    }
    std::move(bucket + 1, end, bucket);
    *(end - 1) = added;
}

void UrlFingerprints::clear()
{
    if (size_ == 0)
        return;
    std::memset(slots_.get(), 0, capacity() * sizeof(uint64_t));
    size_ = 0;
}

}
