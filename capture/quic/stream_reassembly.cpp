#include "stream_reassembly.h"

namespace quillnet::quic {

namespace {

// What a held frame costs besides its bytes: its node in the map and its
// vector, so that a flood of one-byte frames stays within the bound too.
constexpr size_t kHeldOverhead = 64;

size_t costOf(size_t length)
{
    return length + kHeldOverhead;
}

}

bool StreamReassembly::hold(uint64_t offset, ByteView bytes, size_t maxHeld)
{
    if (bytes.empty())
        return true;
    const uint64_t end = offset + bytes.size();
    // Sent again: a held frame from at or before it already covers it.
    auto covering = held_.upper_bound(offset);
    if (covering != held_.begin()) {
        --covering;
        if (covering->first + covering->second.size() >= end)
            return true;
    }
    const auto same = held_.find(offset);
    const size_t replaced = same == held_.end() ? 0 : costOf(same->second.size());
    if (heldBytes_ - replaced + costOf(bytes.size()) > maxHeld)
        return false;
    const std::string_view text = bytes.text();
    held_[offset].assign(text.begin(), text.end());
    heldBytes_ = heldBytes_ - replaced + costOf(bytes.size());
    return true;
}

std::optional<std::pair<uint64_t, std::vector<uint8_t>>> StreamReassembly::takeReady()
{
    if (held_.empty() || held_.begin()->first > next_)
        return std::nullopt;
    auto node = held_.extract(held_.begin());
    heldBytes_ -= costOf(node.mapped().size());
    return std::pair(node.key(), std::move(node.mapped()));
}

void StreamReassembly::release()
{
    held_.clear();
    heldBytes_ = 0;
}

}
