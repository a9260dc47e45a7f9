#include "tls_tracker.h"

#include <algorithm>

#include "connection.h"
#include "handshake.h"
#include "record_crypto.h"

namespace quillnet::tls {

namespace {

constexpr size_t kMaxConnections = 65536;
// What a connection keeps while its keys are not in the key log yet.
constexpr size_t kMaxWaitingBytes = 64 * 1024;
// Room in the age list for pairs of connections gone before they are skipped.

}

TlsTracker::TlsTracker(std::string keyLogPath)
    : keyLog_(keyLogPath), haveKeyLog_(!keyLogPath.empty()), scratch_(kMaxFragmentLength)
{
}

TlsTracker::~TlsTracker() = default;

bool TlsTracker::handleSegment(const Segment &segment, PlaintextSink &sink)
{
    if (table_.empty() && !LooksLikeClientHello(segment.payload))
        return false;
    const auto slot = table_.find(segment.flow);
    if (!slot)
        return LooksLikeClientHello(segment.payload) && startConnection(segment, sink);

    Connection &connection = *connections_[*slot];
    const bool opensAgain = (segment.flags & (kTcpSyn | kTcpAck)) == kTcpSyn && connection.isFromClient(segment.flow) &&
                            !connection.clientStartsAt(segment.sequence + 1);
    if (opensAgain) {
        // The same addresses and ports for a new connection.
        retire(*slot, sink);
        return LooksLikeClientHello(segment.payload) && startConnection(segment, sink);
    }
    process(*slot, segment, sink);
    return true;
}

void TlsTracker::finish(PlaintextSink &sink)
{
    // Twice: the second look takes a last line that has no newline.
    keyLog_.readAppended();
    keyLog_.readAppended();
    for (uint32_t slot = 0; slot < connections_.size(); ++slot) {
        if (connections_[slot])
            retire(slot, sink);
    }
    age_.clear();
    waiting_.clear();
}

bool TlsTracker::startConnection(const Segment &segment, PlaintextSink &sink)
{
    ++counts_.seen;
    if (live_ >= kMaxConnections)
        evictOldest(sink);
    uint32_t slot = static_cast<uint32_t>(connections_.size());
    if (!freeSlots_.empty()) {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        connections_.emplace_back();
    }
    const uint64_t serial = serial_++;
    connections_[slot] = std::make_unique<Connection>(segment, serial);
    ++live_;
    table_.insert(segment.flow, slot);
    if (!(segment.flow.reversed() == segment.flow))
        table_.insert(segment.flow.reversed(), slot);
    age_.add(slot, serial, live_, [this](uint32_t held, uint64_t heldBy) { return current(held, heldBy); });
    if (!haveKeyLog_) {
        connections_[slot]->stop(StopReason::kWithoutKeys, counts_);
        return true;
    }
    process(slot, segment, sink);
    return true;
}

void TlsTracker::process(uint32_t slot, const Segment &segment, PlaintextSink &sink)
{
    Connection &connection = *connections_[slot];
    const uint64_t keysBefore = keyLog_.generation();
    if (!connection.stopped()) {
        if (connection.add(segment))
            pump(slot, sink);
        else
            connection.stop(StopReason::kUndecryptable, counts_); // a gap that is not going to be filled
        connection.settle();
        enforceBounds(slot, sink);
    }
    if (keyLog_.generation() != keysBefore) {
        // Connections that grow once their keys came may push this one out to stay within the bound.
        const uint64_t serial = connection.serial();
        pumpWaiting(sink);
        if (!current(slot, serial))
            return;
    }
    const bool closed = (segment.flags & kTcpRst) ||
                        ((segment.flags & kTcpFin) && connection.finishDirection(connection.isFromClient(segment.flow)));
    if (closed)
        retire(slot, sink);
}

void TlsTracker::pump(uint32_t slot, PlaintextSink &sink)
{
    Connection &connection = *connections_[slot];
    ConnectionContext context{keyLog_, sink, scratch_, counts_};
    connection.pump(context);
    if (connection.waitingForKeys() && !connection.listedAsWaiting) {
        connection.listedAsWaiting = true;
        waiting_.push_back(slot);
    }
}

void TlsTracker::enforceBounds(uint32_t slot, PlaintextSink &sink)
{
    Connection &connection = *connections_[slot];
    if (!connection.stopped() && connection.pendingBytes() > kMaxWaitingBytes)
        connection.stop(connection.waitingForKeys() ? StopReason::kWithoutKeys : StopReason::kUndecryptable, counts_);
    const size_t held = connection.heldBytes();
    heldBytes_ = heldBytes_ - connection.accountedBytes + held;
    connection.accountedBytes = held;
    // The connection at hand is the one being read, and alone it stays far within the bound.
    while (heldBytes_ > kMaxHeldBytes && evictOldest(sink, slot)) {
    }
}

void TlsTracker::pumpWaiting(PlaintextSink &sink)
{
    std::vector<uint32_t> slots;
    slots.swap(waiting_);
    for (const uint32_t slot : slots) {
        if (!connections_[slot])
            continue;
        Connection &connection = *connections_[slot];
        connection.listedAsWaiting = false;
        if (connection.stopped() || !connection.waitingForKeys())
            continue;
        pump(slot, sink);
        enforceBounds(slot, sink);
    }
}

void TlsTracker::retire(uint32_t slot, PlaintextSink &sink)
{
    Connection &connection = *connections_[slot];
    if (!connection.stopped() && connection.waitingForKeys())
        pump(slot, sink); // a last chance for keys written since
    if (!connection.stopped() && connection.waitingForKeys())
        connection.stop(StopReason::kWithoutKeys, counts_);
    else if (!connection.stopped() && connection.hasGap())
        connection.stop(StopReason::kUndecryptable, counts_);
    // A handshake alone, or nothing at all after it.
    connection.classify(Outcome::kWithoutKeys, counts_);
    heldBytes_ -= connection.accountedBytes;
    table_.erase(connection.clientFlow());
    table_.erase(connection.clientFlow().reversed());
    connections_[slot].reset();
    freeSlots_.push_back(slot);
    --live_;
}

void TlsTracker::evict(uint32_t slot, PlaintextSink &sink)
{
    Connection &connection = *connections_[slot];
    ++counts_.evicted;
    // Frees its buffers; what was opened of it so far keeps its count.
    connection.stop(StopReason::kWithoutKeys, counts_);
    retire(slot, sink);
}

// Gives up the oldest connection other than `kept`; false when there is none.
bool TlsTracker::evictOldest(PlaintextSink &sink, std::optional<uint32_t> kept)
{
    const auto oldest =
        age_.takeOldest([this](uint32_t slot, uint64_t serial) { return current(slot, serial); }, kept);
    if (!oldest)
        return false;
    evict(*oldest, sink);
    return true;
}

bool TlsTracker::current(uint32_t slot, uint64_t serial) const
{
    return connections_[slot] && connections_[slot]->serial() == serial;
}

}
