#include "tcp_stream.h"

#include <algorithm>

namespace quillnet::tls {

namespace {

// Enough for a lost segment's worth of a fast window to arrive behind it.
constexpr size_t kMaxHeldBytes = 256 * 1024;
constexpr size_t kMaxHeldSegments = 256;

// Distance from `from` to `to` in sequence space, which wraps.
int64_t distance(uint32_t from, uint32_t to)
{
    return static_cast<int32_t>(to - from);
}

}

void TcpStream::start(uint32_t sequence)
{
    started_ = true;
    next_ = sequence;
}

bool TcpStream::add(uint32_t sequence, ByteView payload)
{
    if (payload.empty())
        return true;
    const int64_t ahead = distance(next_, sequence);
    if (ahead > 0) {
        hold(sequence, payload);
        return heldBytes_ <= kMaxHeldBytes && held_.size() <= kMaxHeldSegments;
    }
    const auto seen = static_cast<size_t>(-ahead);
    if (seen >= payload.size())
        return true; // a retransmission of bytes already taken
    append(payload.sub(seen));
    drainHeld();
    return true;
}

ByteView TcpStream::pending() const
{
    if (!borrowed_.empty())
        return borrowed_;
    return ByteView(data_.data(), data_.size()).sub(readPosition_);
}

void TcpStream::consume(size_t count)
{
    if (!borrowed_.empty()) {
        borrowed_ = borrowed_.sub(count);
        return;
    }
    readPosition_ = std::min(readPosition_ + count, data_.size());
    if (readPosition_ == data_.size()) {
        // Given back, not kept: thousands of quiet connections would otherwise
        // each hold the largest record they ever waited for.
        data_ = {};
        readPosition_ = 0;
    }
}

void TcpStream::settle()
{
    if (borrowed_.empty())
        return;
    const ByteView rest = borrowed_;
    borrowed_ = {};
    data_.insert(data_.end(), rest.text().begin(), rest.text().end());
}

void TcpStream::release()
{
    borrowed_ = {};
    data_ = {};
    readPosition_ = 0;
    held_ = {};
    heldBytes_ = 0;
}

void TcpStream::append(ByteView bytes)
{
    next_ += static_cast<uint32_t>(bytes.size());
    if (borrowed_.empty() && readPosition_ == data_.size()) {
        // Nothing pending: the segment is read where it lies, and copied only
        // for what is left of it at settle().
        data_.clear();
        readPosition_ = 0;
        borrowed_ = bytes;
        return;
    }
    settle();
    if (readPosition_ > data_.size() / 2) {
        data_.erase(data_.begin(), data_.begin() + static_cast<ptrdiff_t>(readPosition_));
        readPosition_ = 0;
    }
    data_.insert(data_.end(), bytes.text().begin(), bytes.text().end());
}

void TcpStream::hold(uint32_t sequence, ByteView payload)
{
    for (const HeldSegment &segment : held_) {
        if (segment.sequence == sequence && segment.bytes.size() >= payload.size())
            return;
    }
    held_.push_back({sequence, std::vector<uint8_t>(payload.text().begin(), payload.text().end())});
    heldBytes_ += payload.size();
}

void TcpStream::drainHeld()
{
    bool moved = true;
    while (moved) {
        moved = false;
        for (size_t i = 0; i < held_.size(); ++i) {
            const int64_t ahead = distance(next_, held_[i].sequence);
            if (ahead > 0)
                continue;
            HeldSegment segment = std::move(held_[i]);
            held_.erase(held_.begin() + static_cast<ptrdiff_t>(i));
            heldBytes_ -= segment.bytes.size();
            const auto seen = static_cast<size_t>(-ahead);
            if (seen < segment.bytes.size()) {
                settle();
                append(ByteView(segment.bytes.data(), segment.bytes.size()).sub(seen));
                settle(); // the held copy goes away here
            }
            moved = true;
            break;
        }
    }
}

}
