#include "quic_tracker.h"

#include <algorithm>

#include "packet_header.h"
#include "quic_connection.h"
#include "tls_tracker.h"

namespace quillnet::quic {

namespace {

// As many as TLS connections.
constexpr size_t kMaxConnections = 65536;
// Room in the age list for pairs of connections gone before they are skipped.
constexpr uint64_t kMicroseconds = 1000000;
// Peers close an idle connection silently after their idle timeout, which is
// far shorter: a connection quiet for this long is taken as gone.
constexpr uint64_t kIdleTimeout = 5 * 60 * kMicroseconds;
constexpr uint64_t kSweepInterval = 10 * kMicroseconds;
// How often the key log is read again while connections wait for their keys.
constexpr uint64_t kKeyLogLookInterval = kMicroseconds / 10;
constexpr size_t kMaxDatagram = 65536;
// Flows a connection is routed by, both ways: its first and those it migrated to.
constexpr size_t kMaxRoutedFlows = 8;
// Set in the packets of versions 1 and 2 unless the peer allowed it to be greased (RFC 9287); clear in
// the zeros that may pad a datagram after its packets.
constexpr uint8_t kFixedBit = 0x40;

bool isPadding(ByteView bytes)
{
    return bytes.text().find_first_not_of('\0') == std::string_view::npos;
}

uint32_t flowValue(uint32_t slot, bool toServer)
{
    return slot << 1 | (toServer ? 1 : 0);
}

}

QuicTracker::QuicTracker(tls::KeyLog *keyLog)
    : keyLog_(keyLog), header_(kMaxDatagram), plaintext_(kMaxDatagram)
{
    if (keyLog_)
        keyLogGeneration_ = keyLog_->generation();
}

QuicTracker::~QuicTracker() = default;

ConnectionContext QuicTracker::context(QuicSink &sink)
{
    return {keyLog_, sink, PacketBuffers{header_, plaintext_}, counts_};
}

bool QuicTracker::handleDatagram(const Datagram &datagram, QuicSink &sink)
{
    const auto first = datagram.payload.u8(0);
    if (!first)
        return false;
    if (live_ == 0)
        return LooksLikeClientInitial(datagram.payload) && startConnection(datagram, sink);
    advanceClock(datagram.time, sink);
    const auto found = route(datagram, *first);
    if (!found)
        return LooksLikeClientInitial(datagram.payload) && startConnection(datagram, sink);
    Connection &connection = *connections_[found->slot];
    connection.lastActive = now_;
    if (connection.stopped())
        return true; // known, and nothing more to read of it
    readDatagram(connection, *found, datagram, sink);
    settle(found->slot, sink);
    const auto routed = flows_.find(datagram.flow);
    if (connections_[found->slot] && (!routed || *routed >> 1 != found->slot))
        routeFlow(found->slot, datagram.flow, found->toServer); // the client moved (RFC 9000 section 9)
    return true;
}

std::optional<QuicTracker::Route> QuicTracker::route(const Datagram &datagram, uint8_t first) const
{
    if (!IsLongHeader(first))
        return routeShort(datagram, (first & kFixedBit) != 0);
    const auto header = ParseLongHeader(datagram.payload);
    if (!header)
        return std::nullopt;
    if (header->destination.empty()) {
        // Only the addresses tell which connection, as with short headers of an ID of no length.
        const auto hinted = flows_.find(datagram.flow);
        if (!hinted)
            return std::nullopt;
        return Route{*hinted >> 1, (*hinted & 1) != 0, 0};
    }
    const auto found = ids_.find(header->destination);
    if (!found)
        return std::nullopt;
    return Route{found->slot, found->toServer, found->idLength};
}

std::optional<QuicTracker::Route> QuicTracker::routeShort(const Datagram &datagram, bool fixedBit) const
{
    const ByteView ids = datagram.payload.sub(kShortIdOffset);
    // The addresses are a hint: they tell the length of the ID to check.
    if (const auto hinted = flows_.find(datagram.flow)) {
        const uint32_t slot = *hinted >> 1;
        const bool toServer = *hinted & 1;
        const size_t length = connections_[slot]->idLength(toServer);
        if (length == 0)
            return Route{slot, toServer, 0};
        if (const auto found = ids_.find(ids.sub(0, length)); found && found->idLength == length)
            return Route{found->slot, found->toServer, found->idLength};
    }
    // A greased fixed bit is taken only where the addresses vouch for the packet.
    const auto found = fixedBit ? ids_.findPrefix(ids) : std::nullopt;
    if (!found)
        return std::nullopt;
    return Route{found->slot, found->toServer, found->idLength};
}

bool QuicTracker::startConnection(const Datagram &datagram, QuicSink &sink)
{
    const auto header = ParseLongHeader(datagram.payload);
    if (!header)
        return false;
    now_ = std::max(now_, datagram.time);
    auto connection = std::make_unique<Connection>(serial_, datagram.flow, *header->version, header->destination);
    readDatagram(*connection, Route{0, true, header->destination.size()}, datagram, sink);
    if (!connection->started())
        return false; // not QUIC after all, or not a packet that opens
    ++serial_;
    ++counts_.seen;
    uint32_t slot = static_cast<uint32_t>(connections_.size());
    if (!freeSlots_.empty()) {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
    } else {
        connections_.emplace_back();
    }
    connection->lastActive = now_;
    const uint64_t id = connection->id();
    connections_[slot] = std::move(connection);
    ++live_;
    age_.add(slot, id, live_, [this](uint32_t held, uint64_t heldBy) { return current(held, heldBy); });
    routeFlow(slot, datagram.flow, true);
    settle(slot, sink);
    if (live_ > kMaxConnections)
        evictOldest(sink, slot);
    return true;
}

void QuicTracker::readDatagram(Connection &connection, const Route &route, const Datagram &datagram, QuicSink &sink)
{
    ConnectionContext context = this->context(sink);
    std::optional<ByteView> destination; // of the first packet: a datagram holds packets of one connection
    const auto sameDestination = [&](ByteView id) { return !destination || id.text() == destination->text(); };
    size_t offset = 0;
    while (offset < datagram.payload.size() && !connection.stopped() && !connection.closed()) {
        const ByteView rest = datagram.payload.sub(offset);
        const uint8_t first = *rest.u8(0);
        if (!IsLongHeader(first)) {
            // A short header runs to the end of the datagram.
            const bool isPacket = (first & kFixedBit) || !isPadding(rest);
            if (isPacket && sameDestination(rest.sub(kShortIdOffset, route.idLength))) {
                const size_t numberOffset = kShortIdOffset + route.idLength;
                const PacketInfo packet{route.toServer, PacketType::kOneRtt, nullptr, {}, numberOffset};
                connection.handlePacket(packet, rest, context);
            }
            return;
        }
        const auto header = ParseLongHeader(rest);
        if (!header || !sameDestination(header->destination))
            return;
        destination = header->destination;
        const PacketInfo packet{route.toServer, header->type, header->version, header->source, header->numberOffset};
        connection.handlePacket(packet, rest.sub(0, header->length), context);
        offset += header->length;
    }
}

void QuicTracker::settle(uint32_t slot, QuicSink &sink)
{
    Connection &connection = *connections_[slot];
    const auto &learnt = connection.learntIds();
    for (; connection.routedIds < learnt.size(); ++connection.routedIds)
        ids_.insert(learnt[connection.routedIds].id, slot, learnt[connection.routedIds].toServer);
    if (!connection.stopped() && sink.broken(connection.id()))
        connection.stop(Outcome::kUndecryptable, counts_);
    enforceBounds(slot, sink);
    listIfWaiting(slot);
    if (connection.closed())
        retire(slot, sink);
}

void QuicTracker::routeFlow(uint32_t slot, const Flow &flow, bool toServer)
{
    Connection &connection = *connections_[slot];
    if (connection.routedFlows.size() >= kMaxRoutedFlows)
        return;
    const auto take = [&](const Flow &each, bool eachToServer) {
        if (flows_.find(each))
            flows_.erase(each); // the addresses went over to this connection
        flows_.insert(each, flowValue(slot, eachToServer));
        connection.routedFlows.push_back(each);
    };
    take(flow, toServer);
    if (!(flow.reversed() == flow))
        take(flow.reversed(), !toServer);
}

void QuicTracker::enforceBounds(uint32_t slot, QuicSink &sink)
{
    Connection &connection = *connections_[slot];
    const size_t held = connection.heldBytes() + sink.heldBytes(connection.id());
    heldBytes_ = heldBytes_ - connection.accountedBytes + held;
    connection.accountedBytes = held;
    // The connection at hand is the one being read, and alone it stays far within the bound.
    while (heldBytes_ > tls::kMaxHeldBytes && evictOldest(sink, slot)) {
    }
}

void QuicTracker::listIfWaiting(uint32_t slot)
{
    Connection &connection = *connections_[slot];
    if (connection.waitingForKeys() && !connection.listedAsWaiting) {
        connection.listedAsWaiting = true;
        waiting_.push_back(slot);
    }
}

void QuicTracker::advanceClock(uint64_t time, QuicSink &sink)
{
    now_ = std::max(now_, time);
    if (keyLog_) {
        if (!waiting_.empty() && now_ >= nextKeyLogLook_) {
            nextKeyLogLook_ = now_ + kKeyLogLookInterval;
            keyLog_->readAppended();
        }
        if (keyLog_->generation() != keyLogGeneration_) {
            keyLogGeneration_ = keyLog_->generation();
            pumpWaiting(sink);
        }
    }
    if (now_ < nextSweep_)
        return;
    nextSweep_ = now_ + kSweepInterval;
    for (uint32_t slot = 0; slot < connections_.size(); ++slot) {
        if (connections_[slot] && now_ - connections_[slot]->lastActive > kIdleTimeout)
            retire(slot, sink);
    }
}

void QuicTracker::pumpWaiting(QuicSink &sink)
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
        ConnectionContext context = this->context(sink);
        connection.pumpWaiting(context);
        settle(slot, sink);
    }
}

void QuicTracker::finish(QuicSink &sink)
{
    if (keyLog_) {
        // Twice: the second look takes a last line that has no newline.
        keyLog_->readAppended();
        keyLog_->readAppended();
        keyLogGeneration_ = keyLog_->generation();
    }
    for (uint32_t slot = 0; slot < connections_.size(); ++slot) {
        if (connections_[slot])
            retire(slot, sink);
    }
    age_.clear();
    waiting_.clear();
}

void QuicTracker::retire(uint32_t slot, QuicSink &sink)
{
    Connection &connection = *connections_[slot];
    ConnectionContext context = this->context(sink);
    connection.pumpWaiting(context); // a last chance for keys written since
    connection.giveUpWaiting(context);
    // A handshake alone, or nothing at all after it.
    connection.classify(Outcome::kWithoutKeys, counts_);
    if (connection.announced())
        sink.onConnectionClosed(connection.id());
    heldBytes_ -= connection.accountedBytes;
    const auto &learnt = connection.learntIds();
    for (size_t i = 0; i < connection.routedIds; ++i)
        ids_.erase(learnt[i].id, slot);
    for (const Flow &flow : connection.routedFlows) {
        const auto routed = flows_.find(flow);
        if (routed && *routed >> 1 == slot)
            flows_.erase(flow);
    }
    connections_[slot].reset();
    freeSlots_.push_back(slot);
    --live_;
}

void QuicTracker::evict(uint32_t slot, QuicSink &sink)
{
    Connection &connection = *connections_[slot];
    ++counts_.evicted;
    // Frees its buffers; what was opened of it so far keeps its count.
    connection.stop(Outcome::kWithoutKeys, counts_);
    retire(slot, sink);
}

// Gives up the oldest connection other than `kept`; false when there is none.
bool QuicTracker::evictOldest(QuicSink &sink, std::optional<uint32_t> kept)
{
    const auto oldest = age_.takeOldest([this](uint32_t slot, uint64_t id) { return current(slot, id); }, kept);
    if (!oldest)
        return false;
    evict(*oldest, sink);
    return true;
}

bool QuicTracker::current(uint32_t slot, uint64_t id) const
{
    return connections_[slot] && connections_[slot]->id() == id;
}

}
