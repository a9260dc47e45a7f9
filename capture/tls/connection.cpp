#include "connection.h"

namespace quillnet::tls {

namespace {

enum ContentType : uint8_t {
    kChangeCipherSpec = 20,
    kAlert = 21,
    kHandshake = 22,
    kApplicationData = 23,
    kHeartbeat = 24,
};

constexpr uint8_t kRecordMajorVersion = 3;
constexpr size_t kRecordTypeField = 0;
constexpr size_t kRecordMajorField = 1;
constexpr size_t kRecordLengthField = 3;
constexpr uint16_t kTls13SuitePrefix = 0x13;
// Without handshake secrets the application keys are tried on each record
// until one opens; a server's handshake flight is a handful of records.
constexpr size_t kMaxRecordsSought = 32;

uint32_t firstDataSequence(const Segment &segment)
{
    return segment.sequence + ((segment.flags & kTcpSyn) ? 1 : 0);
}

}

Connection::Connection(const Segment &first, uint64_t serial)
    : clientFlow_(first.flow), serial_(serial), clientStart_(firstDataSequence(first))
{
    toServer_.stream.start(clientStart_);
    // The client's acknowledgement names the server's first byte, even when
    // that segment comes late or out of order.
    if (first.flags & kTcpAck)
        toClient_.stream.start(first.acknowledgement);
}

bool Connection::add(const Segment &segment)
{
    Side &side = isFromClient(segment.flow) ? toServer_ : toClient_;
    const uint32_t sequence = firstDataSequence(segment);
    if (!side.stream.started())
        side.stream.start(sequence);
    return side.stream.add(sequence, segment.payload);
}

void Connection::pump(ConnectionContext &context)
{
    bool progress = true;
    while (progress && !stopped_) {
        progress = pumpSide(toServer_, true, context);
        if (!stopped_)
            progress = pumpSide(toClient_, false, context) || progress;
    }
}

void Connection::settle()
{
    toServer_.stream.settle();
    toClient_.stream.settle();
}

bool Connection::finishDirection(bool fromClient)
{
    (fromClient ? toServer_ : toClient_).finished = true;
    return toServer_.finished && toClient_.finished;
}

void Connection::stop(StopReason reason, Counts &counts)
{
    if (stopped_)
        return;
    stopped_ = true;
    classify(reason == StopReason::kWithoutKeys ? Outcome::kWithoutKeys : Outcome::kUndecryptable, counts);
    for (Side *side : {&toServer_, &toClient_}) {
        side->stream.release();
        side->opener.release();
        side->handshake.release();
        side->keysMissing = false;
    }
    http2_.reset();
}

void Connection::classify(Outcome outcome, Counts &counts)
{
    Classify(outcome_, outcome, counts);
}

size_t Connection::heldBytes() const
{
    size_t held = messages_.capacity() * sizeof(HandshakeReader::Message);
    for (const Side *side : {&toServer_, &toClient_})
        held += side->stream.buffered() + side->handshake.heldBytes();
    return held + (http2_ ? sizeof(Http2Connection) + http2_->heldBytes() : 0);
}

bool Connection::pumpSide(Side &side, bool fromClient, ConnectionContext &context)
{
    bool progress = false;
    side.keysMissing = false;
    while (!stopped_) {
        const ByteView pending = side.stream.pending();
        const auto length = pending.be16(kRecordLengthField);
        if (!length)
            break;
        const uint8_t type = *pending.u8(kRecordTypeField);
        if (type < kChangeCipherSpec || type > kHeartbeat || !pending.byteIs(kRecordMajorField, kRecordMajorVersion) ||
            *length > kMaxFragmentLength) {
            fail(context);
            break;
        }
        const size_t recordLength = kRecordHeaderLength + *length;
        if (!pending.has(0, recordLength))
            break;
        const Step step = handleRecord(side, fromClient, pending.sub(0, recordLength), context);
        if (step == Step::kWait)
            break;
        side.stream.consume(recordLength);
        progress = true;
    }
    return progress;
}

Connection::Step Connection::handleRecord(Side &side, bool fromClient, ByteView record, ConnectionContext &context)
{
    const uint8_t type = *record.u8(kRecordTypeField);
    const ByteView content = record.sub(kRecordHeaderLength);
    if (!serverHello_) {
        // The rest of the client's flight only makes sense with the server's answer.
        if (fromClient && clientHello_)
            return Step::kWait;
        return handlePlaintext(side, fromClient, type, content, context);
    }
    const bool isProtected = isTls13() ? type == kApplicationData : side.changedCipherSpec;
    return isProtected ? handleProtected(side, fromClient, record, context)
                       : handlePlaintext(side, fromClient, type, content, context);
}

Connection::Step Connection::handlePlaintext(Side &side, bool fromClient, uint8_t type, ByteView content,
                                             ConnectionContext &context)
{
    switch (type) {
    case kHandshake:
        return handleHandshake(side, fromClient, content, context);
    case kChangeCipherSpec:
        side.changedCipherSpec = serverHello_ && !isTls13();
        return Step::kConsumed;
    case kApplicationData:
        return fail(context); // before the keys were agreed
    default:
        return Step::kConsumed; // alerts and heartbeats
    }
}

Connection::Step Connection::handleProtected(Side &side, bool fromClient, ByteView record,
                                             ConnectionContext &context)
{
    const Step keys = ensureKeys(side, fromClient, context);
    if (keys != Step::kConsumed)
        return keys;
    const auto plaintext = side.opener.open(record, context.scratch);
    if (!plaintext) {
        if (side.seekingApplicationKeys && ++side.recordsSought <= kMaxRecordsSought)
            return Step::kConsumed; // a handshake record, under keys the log does not give
        // 0-RTT data comes under keys of its own before the client's handshake keys.
        const bool earlyData = fromClient && isTls13() && !side.applicationKeys && clientHello_->offersEarlyData;
        return earlyData ? Step::kConsumed : fail(context);
    }
    side.seekingApplicationKeys = false;
    uint8_t type = *record.u8(kRecordTypeField);
    ByteView content = *plaintext;
    if (isTls13()) {
        // The real type is the last byte that is not padding.
        size_t end = content.size();
        while (end > 0 && content.byteIs(end - 1, 0))
            --end;
        if (end == 0)
            return fail(context);
        type = *content.u8(end - 1);
        content = content.sub(0, end - 1);
    }
    switch (type) {
    case kHandshake:
        return handleHandshake(side, fromClient, content, context);
    case kApplicationData:
        deliver(side, fromClient, content, context);
        return Step::kConsumed;
    default:
        return Step::kConsumed;
    }
}

Connection::Step Connection::handleHandshake(Side &side, bool fromClient, ByteView content,
                                             ConnectionContext &context)
{
    if (!side.handshake.feed(content, messages_))
        return fail(context);
    Step step = Step::kConsumed;
    for (const HandshakeReader::Message &message : messages_) {
        if (handleMessage(side, fromClient, message, context) == Step::kStop) {
            step = Step::kStop;
            break;
        }
    }
    messages_.clear();
    side.handshake.releaseCompleted();
    return step;
}

Connection::Step Connection::handleMessage(Side &side, bool fromClient, const HandshakeReader::Message &message,
                                           ConnectionContext &context)
{
    switch (message.type) {
    case kClientHello: {
        if (!fromClient)
            return Step::kConsumed;
        const auto hello = ParseClientHello(message.body);
        if (!hello)
            return fail(context);
        clientHello_ = *hello;
        return Step::kConsumed;
    }
    case kServerHello: {
        if (fromClient)
            return Step::kConsumed;
        const auto hello = ParseServerHello(message.body);
        return hello ? onServerHello(*hello, context) : fail(context);
    }
    case kEncryptedExtensions: {
        if (fromClient || !isTls13())
            return Step::kConsumed;
        const auto alpn = ParseEncryptedExtensionsAlpn(message.body);
        if (!alpn)
            return fail(context);
        chooseProtocol(*alpn);
        return Step::kConsumed;
    }
    case kFinished:
        if (isTls13() && !side.applicationKeys) {
            side.applicationKeys = true;
            side.opener.reset();
        }
        return Step::kConsumed;
    case kKeyUpdate:
        return isTls13() && side.applicationKeys ? updateKeys(side, context) : Step::kConsumed;
    default:
        return Step::kConsumed;
    }
}

Connection::Step Connection::onServerHello(const ServerHelloInfo &hello, ConnectionContext &context)
{
    if (hello.retryRequest || serverHello_)
        return Step::kConsumed;
    serverHello_ = hello;
    // SSL 3.0 to TLS 1.1 have no AEAD suites.
    if (hello.version != kTls12 && hello.version != kTls13)
        return fail(context);
    suite_ = FindCipherSuite(hello.cipherSuite);
    if (!suite_ || (suite_->id >> 8 == kTls13SuitePrefix) != isTls13())
        return fail(context);
    if (!isTls13())
        chooseProtocol(hello.alpn);
    return Step::kConsumed;
}

Connection::Step Connection::ensureKeys(Side &side, bool fromClient, ConnectionContext &context)
{
    if (side.opener.started())
        return Step::kConsumed;
    if (!clientHello_)
        return Step::kWait; // the server answered a hello whose end has not come yet
    const Random &random = clientHello_->random;
    const auto missing = [&] {
        side.keysMissing = true;
        return Step::kWait;
    };
    if (!isTls13()) {
        const auto master = context.keyLog.find(random, SecretLabel::kMasterSecret, kMasterSecretLength);
        if (!master)
            return missing();
        TrafficKeys client;
        TrafficKeys server;
        if (!DeriveTls12Keys(*suite_, *master, random, serverHello_->random, client, server) ||
            !side.opener.start(*suite_, kTls12, fromClient ? client : server))
            return fail(context);
        return Step::kConsumed;
    }
    const SecretLabel handshakeLabel =
        fromClient ? SecretLabel::kClientHandshakeTraffic : SecretLabel::kServerHandshakeTraffic;
    const SecretLabel applicationLabel = fromClient ? SecretLabel::kClientTraffic0 : SecretLabel::kServerTraffic0;
    std::optional<Secret> secret;
    const auto find = [&](SecretLabel label) { return context.keyLog.find(random, label, SecretLength(*suite_)); };
    if (!side.applicationKeys)
        secret = find(handshakeLabel);
    if (!secret) {
        secret = find(applicationLabel);
        if (!secret)
            return missing();
        side.seekingApplicationKeys = !side.applicationKeys;
        side.applicationKeys = true;
    }
    side.trafficSecret = *secret;
    TrafficKeys keys;
    if (!DeriveTls13Keys(*suite_, side.trafficSecret, keys) || !side.opener.start(*suite_, kTls13, keys))
        return fail(context);
    return Step::kConsumed;
}

Connection::Step Connection::updateKeys(Side &side, ConnectionContext &context)
{
    TrafficKeys keys;
    if (!NextTrafficSecret(*suite_, side.trafficSecret) || !DeriveTls13Keys(*suite_, side.trafficSecret, keys) ||
        !side.opener.start(*suite_, kTls13, keys))
        return fail(context);
    return Step::kConsumed;
}

void Connection::chooseProtocol(std::string_view alpn)
{
    if (protocol_ == Protocol::kUnknown)
        protocol_ = alpn == "h2" ? Protocol::kHttp2 : Protocol::kHttp1;
}

void Connection::deliver(Side &side, bool fromClient, ByteView bytes, ConnectionContext &context)
{
    classify(Outcome::kDecrypted, context.counts);
    if (bytes.empty())
        return;
    // Without EncryptedExtensions the first bytes tell: the client's preface, or
    // the SETTINGS an HTTP/2 server sends at once and a capture may show first.
    if (protocol_ == Protocol::kUnknown)
        protocol_ = Http2Connection::opensWith(fromClient, bytes) ? Protocol::kHttp2 : Protocol::kHttp1;
    if (protocol_ == Protocol::kHttp1) {
        context.sink.onPlaintext(fromClient ? clientFlow_ : clientFlow_.reversed(), side.plaintextOffset, bytes);
        side.plaintextOffset += bytes.size();
        return;
    }
    if (protocol_ != Protocol::kHttp2)
        return;
    if (!http2_)
        http2_ = std::make_unique<Http2Connection>(clientFlow_, clientHello_->serverName);
    if (!http2_->feed(fromClient, bytes, context.sink)) {
        protocol_ = Protocol::kIgnored; // a broken header table cannot be read on
        http2_.reset();
        classify(Outcome::kUndecryptable, context.counts);
    }
}

Connection::Step Connection::fail(ConnectionContext &context)
{
    stop(StopReason::kUndecryptable, context.counts);
    return Step::kStop;
}

}
