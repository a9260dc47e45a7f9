// A set of URLs in fixed memory, however many are put in: each is kept as a
// case-blind 64-bit fingerprint in a bucket of a few slots chosen by it, and a
// full bucket forgets its oldest fingerprint for the new one, so the URLs seen
// last are the ones still known. Two URLs sharing a fingerprint count as one:
// a new URL taken for listed, among a million, about once in thirty million captures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace tarvolin {

class UrlFingerprints {
public:
    // Eight fingerprints fill one cache line, so a look-up reads one line.
    static constexpr size_t kSlotsPerBucket = 8;

    // Room for `capacity` fingerprints, rounded up to whole buckets; taken at
    // once, but untouched pages cost no memory.
    explicit UrlFingerprints(size_t capacity);

    // ASCII letters compare without regard to case.
    bool contains(std::string_view url) const;
    void insert(std::string_view url);
    void clear();

    // The fingerprints held, never more than capacity().
    size_t size() const { return size_; }
    size_t capacity() const { return bucketCount_ * kSlotsPerBucket; }

private:
    struct FreeSlots {
        void operator()(uint64_t *slots) const;
    };

    uint64_t *bucketOf(uint64_t fingerprint) const;

    size_t bucketCount_;
    size_t size_ = 0;
    std::unique_ptr<uint64_t[], FreeSlots> slots_;
};

}
