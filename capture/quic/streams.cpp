#include "streams.h"

namespace quillnet::quic {

namespace {

constexpr uint64_t kServerInitiated = 0x01;
constexpr uint64_t kUnidirectional = 0x02;
constexpr unsigned kKeyShift = 1;
constexpr uint64_t kKeyKindBits = 0x07;
// Streams of one kind are numbered in steps of four, their keys in steps of eight.
constexpr uint64_t kKeyStep = 8;
// Far more than a peer lets the other open at once (MAX_STREAMS).
constexpr size_t kMaxOpenStreams = 1024;
constexpr size_t kMaxFinishedAhead = 1024;
// What a stream's entry and a finished one's take besides held bytes.
constexpr size_t kStreamBytes = 128;
constexpr size_t kFinishedBytes = 48;

uint64_t keyOf(uint64_t id, bool fromClient)
{
    return id << kKeyShift | (fromClient ? 1 : 0);
}

// Whether HTTP/3 needs the bytes `fromClient` sends on the stream: server-
// initiated bidirectional streams it leaves unused, and only the side that
// opened a unidirectional stream sends on it.
bool isRead(uint64_t id, bool fromClient)
{
    const bool serverInitiated = id & kServerInitiated;
    if (!(id & kUnidirectional))
        return !serverInitiated;
    return serverInitiated != fromClient;
}

}

Streams::Finished::Finished()
{
    for (uint64_t kind = 0; kind < marks_.size(); ++kind)
        marks_[kind] = kind;
}

bool Streams::Finished::contains(uint64_t key) const
{
    return key < marks_[key & kKeyKindBits] || ahead_.contains(key);
}

void Streams::Finished::add(uint64_t key)
{
    uint64_t &mark = marks_[key & kKeyKindBits];
    if (key < mark)
        return;
    if (key > mark) {
        ahead_.insert(key);
        if (ahead_.size() <= kMaxFinishedAhead)
            return;
        // A stream that never ends holds the mark back: past the bound it
        // moves on beyond the oldest finished one. Streams still open keep
        // their entries; only one not begun would be missed.
        const uint64_t oldest = *ahead_.begin();
        marks_[oldest & kKeyKindBits] = oldest;
        key = oldest;
    }
    uint64_t &moved = marks_[key & kKeyKindBits];
    ahead_.erase(moved);
    moved += kKeyStep;
    while (ahead_.erase(moved))
        moved += kKeyStep;
}

size_t Streams::Finished::heldBytes() const
{
    return ahead_.size() * kFinishedBytes;
}

StreamRef Streams::refOf(uint64_t key) const
{
    return {connection_, key >> kKeyShift, (key & 1) != 0};
}

bool Streams::onStream(bool fromClient, const Frame &frame, QuicSink &sink)
{
    if (!isRead(frame.streamId, fromClient))
        return true;
    const uint64_t key = keyOf(frame.streamId, fromClient);
    auto found = open_.find(key);
    if (found == open_.end()) {
        if (finished_.contains(key))
            return true; // sent again after its end
        if (open_.size() >= kMaxOpenStreams) {
            finished_.add(key);
            sink.onStreamReset(refOf(key));
            return false;
        }
        found = open_.try_emplace(key).first;
    }
    Stream &stream = found->second;
    const StreamRef ref = refOf(key);
    const size_t heldBefore = stream.bytes.heldBytes();
    const bool kept = stream.bytes.add(frame.offset, frame.data, kMaxStreamHeldBytes,
                                       [&](uint64_t offset, ByteView bytes) { sink.onStreamData(ref, offset, bytes); });
    held_ = held_ - heldBefore + stream.bytes.heldBytes();
    if (frame.fin)
        stream.finalSize = frame.offset + frame.data.size();
    if (!kept || held_ > kMaxConnectionHeldBytes) {
        sink.onStreamReset(ref);
        close(found);
        return false;
    }
    if (stream.finalSize && stream.bytes.next() >= *stream.finalSize) {
        sink.onStreamEnd(ref);
        close(found);
    }
    return true;
}

void Streams::onReset(bool fromClient, const Frame &frame, QuicSink &sink)
{
    if (!isRead(frame.streamId, fromClient))
        return;
    const uint64_t key = keyOf(frame.streamId, fromClient);
    const auto found = open_.find(key);
    if (found == open_.end()) {
        finished_.add(key); // nothing of it was handed on
        return;
    }
    sink.onStreamReset(refOf(key));
    close(found);
}

void Streams::close(Open::iterator stream)
{
    held_ -= stream->second.bytes.heldBytes();
    finished_.add(stream->first);
    open_.erase(stream);
}

size_t Streams::heldBytes() const
{
    return held_ + open_.size() * kStreamBytes + finished_.heldBytes();
}

void Streams::release()
{
    open_ = {};
    finished_ = {};
    held_ = 0;
}

}
