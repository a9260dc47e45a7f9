// A set of URLs in bounded memory, however many are put in: each is kept as a
// case-blind 64-bit fingerprint in a bucket of a few slots chosen by it. The
// table starts at a few cache lines and doubles whenever a bucket overflows,
// up to its capacity; from then on a full bucket forgets its oldest
// fingerprint for the new one, so the URLs seen last are the ones still known.
// Two URLs sharing a fingerprint count as one: with n fingerprints held, a new
// URL is taken for listed with a chance of n / 2^64, among a million about
// once in thirty million captures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tarvolin {

class UrlFingerprints {
public:
    // Eight fingerprints fill one cache line, so a look-up reads one line.
    static constexpr size_t kSlotsPerBucket = 8;

    // Room for `capacity` fingerprints at most, rounded up to a power of two of whole buckets.
    explicit UrlFingerprints(size_t capacity);

    // ASCII letters compare without regard to case.
    bool contains(std::string_view url) const;
    void insert(std::string_view url);
    // Forgets every URL and gives back the memory the table grew by.
    void clear();

    // The fingerprints held, never more than capacity().
    size_t size() const { return size_; }
    size_t capacity() const { return largestBucketCount_ * kSlotsPerBucket; }

private:
    // The index of the first slot of the fingerprint's bucket.
    size_t bucketStart(uint64_t fingerprint) const;
    void grow();

    size_t largestBucketCount_;
    size_t bucketCount_;   // a power of two: a fingerprint's low bits choose its bucket
    std::vector<uint64_t> slots_;
    size_t size_ = 0;
};

}
