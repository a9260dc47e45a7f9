#include "quic_connection.h"

#include <algorithm>

namespace quillnet::quic {

namespace {

// What a connection keeps while its keys are not in the key log yet, as for TLS.
constexpr size_t kMaxWaitingBytes = 64 * 1024;
// What the hellos' CRYPTO data may hold ahead of a gap; a ClientHello spans a few packets.
constexpr size_t kMaxCryptoHeldBytes = 64 * 1024;
// A stray packet fails now and then (a stateless reset, another connection's);
// this many in a row under the key log's keys mean the keys do not fit.
constexpr unsigned kMaxFailedOpens = 16;
// Peers hand out a few IDs each; more are not routed by.
constexpr size_t kMaxLearntIds = 32;
// libcrypto's state of a started opener, roughly: a header and a payload context.
constexpr size_t kOpenerBytes = 2048;
constexpr size_t kHeldPacketOverhead = sizeof(std::vector<uint8_t>) + 2 * sizeof(size_t);
constexpr uint16_t kTls13SuitePrefix = 0x13;

constexpr size_t kSides = 2;

}

Connection::Connection(uint64_t id, const Flow &clientFlow, const Version &version, ByteView originalDestination)
    : id_(id),
      clientFlow_(clientFlow),
      clientVersion_(&version),
      version_(&version),
      originalDestination_(ConnectionId::of(originalDestination).value_or(ConnectionId{})),
      handshake_(std::make_unique<Handshake>()),
      streams_(id)
{
    idLengths_[1] = originalDestination_.length;
    learn(originalDestination, true);
}

void Connection::handlePacket(const PacketInfo &packet, ByteView bytes, ConnectionContext &context)
{
    if (stopped_ || closed_)
        return;
    switch (packet.type) {
    case PacketType::kInitial:
        openInitial(packet, bytes, context);
        break;
    case PacketType::kHandshake:
        openHandshake(packet, bytes, context);
        break;
    case PacketType::kOneRtt:
        openOneRtt(packet, bytes, context);
        break;
    case PacketType::kRetry:
        if (!packet.fromClient)
            onRetry(packet, bytes);
        break;
    case PacketType::kZeroRtt:
        break; // under early secrets, which the key log is not read for
    }
    settle(context);
}

void Connection::openInitial(const PacketInfo &packet, ByteView bytes, ConnectionContext &context)
{
    const Side side = sideOf(packet.fromClient);
    if (!handshake_ || bothHellosRead())
        return; // nothing more of use comes in Initial packets
    PacketOpener &opener = handshake_->initial[side];
    if (!opener.started() || opener.version() != packet.version || handshake_->initialStale[side]) {
        // Each version has Initial keys of its own: a server may answer in another (RFC 9368).
        tls::Secret client;
        tls::Secret server;
        if (!DeriveInitialSecrets(*packet.version, originalDestination_.view(), client, server) ||
            !opener.start(kInitialSuite, *packet.version, side == kClient ? client : server))
            return;
        handshake_->initialStale[side] = false;
    }
    const auto opened = opener.open(bytes, packet.numberOffset, context.buffers);
    if (!opened)
        return;
    started_ = true;
    learnFrom(packet);
    readFrames(Level::kInitial, packet.fromClient, opened->frames, context);
}

void Connection::openHandshake(const PacketInfo &packet, ByteView bytes, ConnectionContext &context)
{
    const Side side = sideOf(packet.fromClient);
    if (!handshake_ || !suite_)
        return;
    PacketOpener &opener = handshake_->handshake[side];
    if (!opener.started() || opener.version() != packet.version) {
        const auto secret = findSecret(
            side == kClient ? tls::SecretLabel::kClientHandshakeTraffic : tls::SecretLabel::kServerHandshakeTraffic,
            context);
        // Without them the 1-RTT keys still serve: Handshake packets carry nothing read here.
        if (!secret || !opener.start(*suite_, *packet.version, *secret))
            return;
    }
    const auto opened = opener.open(bytes, packet.numberOffset, context.buffers);
    if (!opened)
        return;
    learnFrom(packet);
    readFrames(Level::kHandshake, packet.fromClient, opened->frames, context);
}

void Connection::openOneRtt(const PacketInfo &packet, ByteView bytes, ConnectionContext &context)
{
    if (!context.keyLog)
        return;
    const Side side = sideOf(packet.fromClient);
    PacketOpener &opener = oneRtt_[side];
    if (!opener.started() && !startOneRtt(side, context)) {
        hold(packet, bytes, context);
        return;
    }
    const auto opened = opener.open(bytes, packet.numberOffset, context.buffers);
    if (!opened) {
        if (++failedOpens_ >= kMaxFailedOpens)
            stopLater(Outcome::kUndecryptable);
        return;
    }
    failedOpens_ = 0;
    classify(Outcome::kDecrypted, context.counts);
    readFrames(Level::kOneRtt, packet.fromClient, opened->frames, context);
}

bool Connection::startOneRtt(Side side, ConnectionContext &context)
{
    const auto secret =
        findSecret(side == kClient ? tls::SecretLabel::kClientTraffic0 : tls::SecretLabel::kServerTraffic0, context);
    if (!secret)
        return false;
    if (!oneRtt_[side].start(*suite_, *version_, *secret)) {
        stopLater(Outcome::kUndecryptable);
        return false;
    }
    return true;
}

std::optional<tls::Secret> Connection::findSecret(tls::SecretLabel label, ConnectionContext &context)
{
    if (!clientHello_ || !suite_ || !context.keyLog)
        return std::nullopt;
    // The key log is read on a miss: once per connection and label until it grows.
    uint64_t &missedAt = missedAt_[static_cast<size_t>(label)];
    if (missedAt == context.keyLog->generation() + 1)
        return std::nullopt;
    auto secret = context.keyLog->find(clientHello_->random, label, tls::SecretLength(*suite_));
    if (!secret)
        missedAt = context.keyLog->generation() + 1;
    return secret;
}

void Connection::hold(const PacketInfo &packet, ByteView bytes, ConnectionContext &context)
{
    if (stopReason_)
        return;
    const size_t cost = bytes.size() + kHeldPacketOverhead;
    if (waitingBytes_ + cost > kMaxWaitingBytes) {
        stopLater(waitingOutcome(context));
        return;
    }
    const std::string_view text = bytes.text();
    waiting_.push_back({packet.fromClient, packet.numberOffset, std::vector<uint8_t>(text.begin(), text.end())});
    waitingBytes_ += cost;
}

void Connection::pumpWaiting(ConnectionContext &context)
{
    if (stopped_ || waiting_.empty())
        return;
    std::vector<HeldPacket> held;
    held.swap(waiting_);
    waitingBytes_ = 0;
    for (const HeldPacket &packet : held) {
        if (stopped_ || closed_)
            break;
        const PacketInfo info{packet.fromClient, PacketType::kOneRtt, nullptr, {}, packet.numberOffset};
        handlePacket(info, ByteView(packet.bytes.data(), packet.bytes.size()), context);
    }
}

void Connection::giveUpWaiting(ConnectionContext &context)
{
    if (!stopped_ && waitingForKeys())
        stop(waitingOutcome(context), context.counts);
}

Outcome Connection::waitingOutcome(ConnectionContext &context)
{
    if (suite_)
        return Outcome::kWithoutKeys;
    if (!clientHello_ || !context.keyLog)
        return Outcome::kUndecryptable; // the ClientHello was lost
    // The ServerHello was lost, so neither the suite nor its secrets' length is
    // known: secrets of either length in the key log tell that packets, not keys, were missing.
    constexpr std::array<size_t, 2> kSecretLengths{32, 48};
    for (const size_t length : kSecretLengths) {
        if (context.keyLog->find(clientHello_->random, tls::SecretLabel::kClientTraffic0, length))
            return Outcome::kUndecryptable;
    }
    return Outcome::kWithoutKeys;
}

void Connection::onRetry(const PacketInfo &packet, ByteView bytes)
{
    if (retried_ || !handshake_ || helloRead_[kServer] ||
        !RetryIsAuthentic(*packet.version, originalDestination_.view(), bytes))
        return;
    const auto next = ConnectionId::of(packet.source);
    if (!next)
        return;
    // The client's next Initial packets go to the ID the Retry chose, and both sides' Initial keys come from it.
    retried_ = true;
    originalDestination_ = *next;
    handshake_->initialStale = {true, true};
    learnFrom(packet);
}

void Connection::learnFrom(const PacketInfo &packet)
{
    // A long header's Source Connection ID is what packets to its sender carry.
    const bool toServer = !packet.fromClient;
    idLengths_[toServer ? 1 : 0] = packet.source.size();
    learn(packet.source, toServer);
    if (!packet.fromClient)
        version_ = packet.version;
}

void Connection::learn(ByteView id, bool toServer)
{
    const auto learnt = ConnectionId::of(id);
    if (!learnt || learnt->length == 0 || learnt_.size() >= kMaxLearntIds)
        return;
    const bool known = std::any_of(learnt_.begin(), learnt_.end(),
                                   [&](const LearntId &other) { return other.id == *learnt; });
    if (!known)
        learnt_.push_back({*learnt, toServer});
}

void Connection::readFrames(Level level, bool fromClient, ByteView frames, ConnectionContext &context)
{
    FrameReader reader(frames);
    while (const auto frame = reader.next()) {
        if (stopReason_)
            return;
        switch (frame->type) {
        case FrameType::kCrypto:
            if (level == Level::kInitial)
                onCrypto(sideOf(fromClient), *frame, context);
            break; // later levels carry nothing of the hellos
        case FrameType::kStream:
            if (level == Level::kOneRtt && !streams_.onStream(fromClient, *frame, context.sink))
                classify(Outcome::kUndecryptable, context.counts);
            break;
        case FrameType::kResetStream:
            if (level == Level::kOneRtt)
                streams_.onReset(fromClient, *frame, context.sink);
            break;
        case FrameType::kNewConnectionId:
            // The IDs a side hands out are what the packets to it will carry.
            if (level == Level::kOneRtt)
                learn(frame->data, !fromClient);
            break;
        case FrameType::kConnectionClose:
            closed_ = true;
            return;
        case FrameType::kHandshakeDone:
            if (level == Level::kOneRtt && !fromClient)
                handshake_.reset();
            break;
        }
    }
}

void Connection::onCrypto(Side side, const Frame &frame, ConnectionContext &context)
{
    if (helloRead_[side])
        return;
    const bool kept = handshake_->crypto[side].add(frame.offset, frame.data, kMaxCryptoHeldBytes,
                                        [&](uint64_t, ByteView bytes) { readHandshake(side, bytes, context); });
    if (!kept)
        stopLater(Outcome::kUndecryptable);
}

void Connection::readHandshake(Side side, ByteView bytes, ConnectionContext &context)
{
    if (helloRead_[side] || stopReason_)
        return;
    if (!handshake_->hellos[side].feed(bytes, handshake_->messages)) {
        stopLater(Outcome::kUndecryptable);
        return;
    }
    for (const tls::HandshakeReader::Message &message : handshake_->messages) {
        if (side == kClient && message.type == tls::kClientHello)
            onClientHello(message.body, context);
        else if (side == kServer && message.type == tls::kServerHello)
            onServerHello(message.body);
        if (helloRead_[side] || stopReason_)
            break;
    }
    handshake_->messages.clear();
    handshake_->hellos[side].releaseCompleted();
}

void Connection::onClientHello(ByteView body, ConnectionContext &context)
{
    auto hello = tls::ParseClientHello(body);
    if (!hello) {
        stopLater(Outcome::kUndecryptable);
        return;
    }
    helloRead_[kClient] = true;
    clientHello_ = std::move(hello);
    ConnectionInfo info{id_,
                        clientFlow_,
                        clientVersion_->number,
                        clientHello_->random,
                        clientHello_->serverName,
                        clientHello_->protocols};
    announced_ = true;
    context.sink.onClientHello(info);
    if (!context.keyLog)
        stopLater(Outcome::kWithoutKeys); // the hello was all there was to read
}

void Connection::onServerHello(ByteView body)
{
    const auto hello = tls::ParseServerHello(body);
    if (!hello) {
        stopLater(Outcome::kUndecryptable);
        return;
    }
    if (hello->retryRequest)
        return; // the ServerHello follows the client's second hello
    helloRead_[kServer] = true;
    suite_ = tls::FindCipherSuite(hello->cipherSuite);
    // QUIC runs TLS 1.3 only; its CCM suites are not opened.
    if (hello->version != tls::kTls13 || !suite_ || suite_->id >> 8 != kTls13SuitePrefix) {
        suite_.reset();
        stopLater(Outcome::kUndecryptable);
    }
}

void Connection::stopLater(Outcome reason)
{
    if (!stopReason_)
        stopReason_ = reason;
}

void Connection::settle(ConnectionContext &context)
{
    if (stopReason_) {
        stop(*stopReason_, context.counts);
        return;
    }
    if (handshake_ && bothHellosRead()) {
        // What is left of the handshake comes in Handshake packets.
        for (size_t side = 0; side < kSides; ++side) {
            handshake_->initial[side].release();
            handshake_->crypto[side].release();
            handshake_->hellos[side].release();
        }
        handshake_->messages = {};
    }
}

void Connection::stop(Outcome reason, Counts &counts)
{
    if (stopped_)
        return;
    stopped_ = true;
    classify(reason, counts);
    handshake_.reset();
    for (PacketOpener &opener : oneRtt_)
        opener.release();
    streams_.release();
    waiting_ = {};
    waitingBytes_ = 0;
}

size_t Connection::heldBytes() const
{
    size_t held = streams_.heldBytes() + waitingBytes_ + learnt_.capacity() * sizeof(LearntId) +
                  routedFlows.capacity() * sizeof(Flow);
    for (const PacketOpener &opener : oneRtt_)
        held += opener.started() ? kOpenerBytes : 0;
    if (!handshake_)
        return held;
    held += sizeof(Handshake) + handshake_->messages.capacity() * sizeof(tls::HandshakeReader::Message);
    for (size_t side = 0; side < kSides; ++side) {
        held += handshake_->crypto[side].heldBytes() + handshake_->hellos[side].heldBytes();
        for (const PacketOpener *opener : {&handshake_->initial[side], &handshake_->handshake[side]})
            held += opener->started() ? kOpenerBytes : 0;
    }
    return held;
}

}
