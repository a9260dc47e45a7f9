// Connection numbers by the flow of either direction: open addressing with
// linear probing, so that a frame of a connection nobody follows costs one
// hash and, mostly, one probe.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "flow.h"

namespace quillnet::tls {

class FlowTable {
public:
    bool empty() const { return count_ == 0; }
    std::optional<uint32_t> find(const Flow &flow) const;
    void insert(const Flow &flow, uint32_t value); // `flow` must not be present
    void erase(const Flow &flow);

private:
    // The hash is kept so that a probe past other flows compares one word.
    struct Slot {
        size_t hash = 0;
        Flow flow;
        uint32_t value = 0;
        bool used = false;
    };

    size_t indexOf(const Flow &flow, size_t hash) const;
    void grow();

    std::vector<Slot> slots_;
    size_t count_ = 0;
};

}
