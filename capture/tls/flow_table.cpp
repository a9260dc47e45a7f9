#include "flow_table.h"

#include <bit>

namespace quillnet::tls {

namespace {

constexpr size_t kInitialSlots = 64;

// MurmurHash3's finaliser: flows that differ in a port alone must not crowd
// into neighbouring slots.
uint64_t mix(uint64_t value)
{
    value ^= value >> 33;
    value *= 0xff51afd7ed558ccdULL;
    value ^= value >> 33;
    value *= 0xc4ceb9fe1a85ec53ULL;
    value ^= value >> 33;
    return value;
}

size_t hashFlow(const Flow &flow)
{
    const auto source = std::bit_cast<std::array<uint64_t, 2>>(flow.source.bytes);
    const auto dest = std::bit_cast<std::array<uint64_t, 2>>(flow.dest.bytes);
    const uint64_t ports = static_cast<uint64_t>(flow.sourcePort) << 16 | flow.destPort;
    return static_cast<size_t>(mix(source[0] * 0x9E3779B97F4A7C15ULL ^ source[1] * 0xC2B2AE3D27D4EB4FULL ^
                                   dest[0] * 0x165667B19E3779F9ULL ^ dest[1] * 0xD6E8FEB86659FD93ULL ^
                                   ports * 0x94D049BB133111EBULL));
}

}

size_t FlowTable::indexOf(const Flow &flow, size_t hash) const
{
    const size_t mask = slots_.size() - 1;
    size_t index = hash & mask;
    while (slots_[index].used && !(slots_[index].hash == hash && slots_[index].flow == flow))
        index = (index + 1) & mask;
    return index;
}

std::optional<uint32_t> FlowTable::find(const Flow &flow) const
{
    if (count_ == 0)
        return std::nullopt;
    const Slot &slot = slots_[indexOf(flow, hashFlow(flow))];
    if (!slot.used)
        return std::nullopt;
    return slot.value;
}

void FlowTable::insert(const Flow &flow, uint32_t value)
{
    if ((count_ + 1) * 2 > slots_.size())
        grow();
    const size_t hash = hashFlow(flow);
    slots_[indexOf(flow, hash)] = {hash, flow, value, true};
    ++count_;
}

void FlowTable::erase(const Flow &flow)
{
    if (count_ == 0)
        return;
    const size_t mask = slots_.size() - 1;
    size_t hole = indexOf(flow, hashFlow(flow));
    if (!slots_[hole].used)
        return;
    slots_[hole].used = false;
    --count_;
    // Moves back the entries after the hole that probing would no longer reach.
    for (size_t index = (hole + 1) & mask; slots_[index].used; index = (index + 1) & mask) {
        const size_t home = slots_[index].hash & mask;
        const bool reachable = ((index - home) & mask) < ((index - hole) & mask);
        if (reachable)
            continue;
        slots_[hole] = slots_[index];
        slots_[index].used = false;
        hole = index;
    }
}

void FlowTable::grow()
{
    std::vector<Slot> old(std::max(kInitialSlots, slots_.size() * 2));
    old.swap(slots_);
    count_ = 0;
    for (const Slot &slot : old) {
        if (slot.used)
            insert(slot.flow, slot.value);
    }
}

}
