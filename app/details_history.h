// The request details of the newest rows within a fixed number of bytes; the
// oldest are forgotten first. Each is found by the key it was given, and keys
// are never given twice, so a row whose details are gone finds none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "request_details.h"

namespace tarvolin {

class DetailsHistory {
public:
    explicit DetailsHistory(size_t budgetBytes) : budget_(budgetBytes) {}

    // Its key, never 0. The newest details stay, however large.
    uint64_t add(RequestDetails details);
    // Null for a key whose details were forgotten or never given.
    const RequestDetails *find(uint64_t key) const;
    void clear();

    size_t heldBytes() const { return held_; }

private:
    std::deque<RequestDetails> kept_;
    uint64_t firstKey_ = 1; // of kept_.front()
    size_t held_ = 0;
    size_t budget_;
};

}
