// Fixed tables of pending work whose slots start with a free flag (1 = free).
#pragma once

#include <array>
#include <cstddef>

namespace quillnet {

// Index of the slot a new entry is to take: the first free one or, when every
// slot is busy, the one taken longest ago, so that entries that never complete
// cannot lock the table for the rest of a capture.
template <typename Slot, size_t N>
size_t ChooseSlot(const std::array<Slot, N> &table)
{
    size_t oldest = 0;
    for (size_t i = 0; i < N; ++i) {
        if (table[i].free != 0)
            return i;
        if (table[i].takenAt < table[oldest].takenAt)
            oldest = i;
    }
    return oldest;
}

template <typename Slot, size_t N>
void MarkAllFree(std::array<Slot, N> &table)
{
    for (Slot &slot : table)
        slot.free = 1;
}

}
