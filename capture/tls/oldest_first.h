// Connections in the order they began, so that the oldest can be given up
// first. Slots are reused: each entry carries the serial of the connection
// that held its slot, and entries whose slot has moved on are skipped, and
// dropped once they pile up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace quillnet::tls {

class OldestFirst {
public:
    // `isCurrent(slot, serial)` tells whether that connection still holds the slot.
    template <typename IsCurrent>
    void add(uint32_t slot, uint64_t serial, size_t liveCount, IsCurrent isCurrent)
    {
        entries_.emplace_back(slot, serial);
        if (entries_.size() > 2 * liveCount + kStaleEntries)
            std::erase_if(entries_, [&](const Entry &entry) { return !isCurrent(entry.first, entry.second); });
    }

    // The oldest connection's slot other than `kept`, taken off the queue;
    // empty when there is none.
    template <typename IsCurrent>
    std::optional<uint32_t> takeOldest(IsCurrent isCurrent, std::optional<uint32_t> kept)
    {
        std::optional<Entry> keptEntry;
        std::optional<uint32_t> oldest;
        while (!entries_.empty() && !oldest) {
            const Entry entry = entries_.front();
            entries_.pop_front();
            if (!isCurrent(entry.first, entry.second))
                continue;
            if (entry.first == kept)
                keptEntry = entry;
            else
                oldest = entry.first;
        }
        if (keptEntry)
            entries_.push_front(*keptEntry);
        return oldest;
    }

    void clear() { entries_.clear(); }

private:
    using Entry = std::pair<uint32_t, uint64_t>;
    static constexpr size_t kStaleEntries = 1024;
    std::deque<Entry> entries_;
};

}
