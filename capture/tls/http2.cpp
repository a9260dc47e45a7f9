#include "http2.h"

#include <nghttp2/nghttp2.h>

#include <algorithm>

#include "tls_tracker.h"

namespace quillnet::tls {

namespace {

constexpr std::string_view kClientPreface = "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n";

enum FrameType : uint8_t {
    kHeaders = 1,
    kResetStream = 3,
    kSettings = 4,
    kPushPromise = 5,
    kContinuation = 9,
};

constexpr uint8_t kFlagAck = 0x01;
constexpr uint8_t kFlagEndHeaders = 0x04;
constexpr uint8_t kFlagPadded = 0x08;
constexpr uint8_t kFlagPriority = 0x20;

constexpr size_t kFrameLengthField = 0;
constexpr size_t kFrameTypeField = 3;
constexpr size_t kFrameFlagsField = 4;
constexpr size_t kFrameStreamField = 5;
constexpr size_t kPriorityLength = 5;
constexpr size_t kPromisedStreamLength = 4;
constexpr size_t kSettingLength = 6;
constexpr uint16_t kSettingHeaderTableSize = 1;
constexpr uint32_t kDefaultHeaderTableSize = 4096;
constexpr uint32_t kStreamMask = 0x7FFFFFFF;

// Header blocks and SETTINGS are kept whole; far larger than browsers send.
constexpr size_t kMaxKeptLength = 256 * 1024;
// Streams waiting for their request or response; browsers open at most a few hundred at once.
constexpr size_t kMaxOpenExchanges = 512;
// A frame buffer larger than this is freed once read, not kept for the next frame.
constexpr size_t kKeptBufferCapacity = 16 * 1024;
// What a stream's entry costs besides its texts.
constexpr size_t kExchangeOverhead = 64;

std::optional<uint32_t> be32(ByteView bytes, size_t offset)
{
    const auto high = bytes.be16(offset);
    const auto low = bytes.be16(offset + 2);
    if (!high || !low)
        return std::nullopt;
    return static_cast<uint32_t>(*high) << 16 | *low;
}

ByteView viewOf(const std::vector<uint8_t> &bytes)
{
    return {bytes.data(), bytes.size()};
}

// The memory a buffer holds, and a large one given back once it is read.
void releaseIfLarge(std::vector<uint8_t> &buffer)
{
    if (buffer.capacity() > kKeptBufferCapacity)
        buffer = {};
    else
        buffer.clear();
}

nghttp2_hd_inflater *newInflater()
{
    nghttp2_hd_inflater *inflater = nullptr;
    return nghttp2_hd_inflate_new(&inflater) == 0 ? inflater : nullptr;
}

}

void Http2Connection::InflaterDeleter::operator()(nghttp2_hd_inflater *inflater) const
{
    nghttp2_hd_inflate_del(inflater);
}

Http2Connection::Http2Connection(const Flow &clientToServer, std::string serverName)
    : clientToServer_(clientToServer), serverName_(std::move(serverName))
{
    fromClient_.inflater.reset(newInflater());
    fromServer_.inflater.reset(newInflater());
    fromClient_.prefaceLeft = kClientPreface.size();
    broken_ = !fromClient_.inflater || !fromServer_.inflater;
}

Http2Connection::~Http2Connection() = default;

bool Http2Connection::feed(bool fromClient, ByteView bytes, PlaintextSink &sink)
{
    if (broken_)
        return false;
    Direction &direction = fromClient ? fromClient_ : fromServer_;
    if (direction.prefaceLeft > 0) {
        const size_t offset = kClientPreface.size() - direction.prefaceLeft;
        const ByteView part = bytes.sub(0, direction.prefaceLeft);
        if (!part.startsWith(kClientPreface.substr(offset, part.size())))
            return broken_ = true, false;
        direction.prefaceLeft -= part.size();
        bytes = bytes.sub(part.size());
    }
    broken_ = !readFrames(direction, fromClient, bytes, sink);
    return !broken_;
}

bool Http2Connection::readFrames(Direction &direction, bool fromClient, ByteView bytes, PlaintextSink &sink)
{
    while (!bytes.empty()) {
        if (direction.headerFilled < kFrameHeaderLength) {
            const size_t taken = copyBytes(std::span(direction.header).subspan(direction.headerFilled), bytes);
            direction.headerFilled += taken;
            bytes = bytes.sub(taken);
            if (direction.headerFilled < kFrameHeaderLength)
                return true;
            const ByteView header(direction.header.data(), direction.header.size());
            const uint8_t type = *header.u8(kFrameTypeField);
            direction.payloadLeft = static_cast<size_t>(*header.u8(kFrameLengthField)) << 16 |
                                    *header.be16(kFrameLengthField + 1);
            direction.keepPayload = type == kHeaders || type == kContinuation || type == kPushPromise ||
                                    type == kSettings;
            if (direction.keepPayload && direction.payloadLeft > kMaxKeptLength)
                return false;
            direction.payload.clear();
        }
        const ByteView part = bytes.sub(0, direction.payloadLeft);
        if (direction.keepPayload)
            direction.payload.insert(direction.payload.end(), part.text().begin(), part.text().end());
        direction.payloadLeft -= part.size();
        bytes = bytes.sub(part.size());
        if (direction.payloadLeft > 0)
            return true;
        direction.headerFilled = 0;
        const bool handled = handleFrame(direction, fromClient, sink);
        releaseIfLarge(direction.payload);
        if (!handled)
            return false;
    }
    return true;
}

bool Http2Connection::handleFrame(Direction &direction, bool fromClient, PlaintextSink &sink)
{
    const ByteView header(direction.header.data(), direction.header.size());
    const uint8_t type = *header.u8(kFrameTypeField);
    const uint8_t flags = *header.u8(kFrameFlagsField);
    const uint32_t stream = *be32(header, kFrameStreamField) & kStreamMask;
    const ByteView payload = viewOf(direction.payload);
    const bool endHeaders = (flags & kFlagEndHeaders) != 0;

    if (direction.blockStream != 0 && (type != kContinuation || stream != direction.blockFrameStream))
        return false; // a header block must go on in CONTINUATION frames of its stream
    switch (type) {
    case kHeaders:
    case kPushPromise: {
        size_t start = 0;
        size_t padding = 0;
        if (flags & kFlagPadded) {
            padding = payload.u8(0).value_or(0);
            start = 1;
        }
        if (type == kHeaders && (flags & kFlagPriority))
            start += kPriorityLength;
        uint32_t target = stream;
        if (type == kPushPromise) {
            const auto promised = be32(payload, start);
            if (!promised)
                return false;
            target = *promised & kStreamMask;
            start += kPromisedStreamLength;
        }
        if (!payload.has(start, padding) || target == 0)
            return false;
        const ByteView fragment = payload.sub(start, payload.size() - start - padding);
        direction.blockFrameStream = stream;
        return handleHeaderFragment(direction, fromClient, target, fragment, endHeaders, type == kPushPromise, sink);
    }
    case kContinuation:
        if (direction.blockStream == 0)
            return false;
        return handleHeaderFragment(direction, fromClient, direction.blockStream, payload, endHeaders,
                                    direction.blockIsPromise, sink);
    case kSettings:
        return (flags & kFlagAck) != 0 || handleSettings(fromClient, payload);
    case kResetStream:
        forget(stream);
        return true;
    default:
        return true; // DATA, PRIORITY, RST_STREAM, PING, GOAWAY, WINDOW_UPDATE and extensions
    }
}

bool Http2Connection::handleHeaderFragment(Direction &direction, bool fromClient, uint32_t stream,
                                           ByteView fragment, bool endHeaders, bool isPromise,
                                           PlaintextSink &sink)
{
    if (direction.headerBlock.size() + fragment.size() > kMaxKeptLength)
        return false;
    direction.headerBlock.insert(direction.headerBlock.end(), fragment.text().begin(), fragment.text().end());
    direction.blockStream = stream;
    direction.blockIsPromise = isPromise;
    if (!endHeaders)
        return true;
    HeaderFields fields;
    const bool inflated = inflate(direction, viewOf(direction.headerBlock), fields);
    releaseIfLarge(direction.headerBlock);
    direction.blockStream = 0;
    if (!inflated)
        return false;
    // A promise carries the request of the stream it promises, sent by the server.
    if (fromClient || isPromise)
        onRequest(stream, fields, sink);
    else
        onResponse(stream, fields, sink);
    return true;
}

bool Http2Connection::handleSettings(bool fromClient, ByteView payload)
{
    if (payload.size() % kSettingLength != 0)
        return false;
    // A peer's table size limits what the other side's encoder may use, and so what its inflater must
    // allow. Only a larger one is taken: a smaller one makes the inflater insist on a size update that
    // blocks already on their way before the setting arrived do not carry.
    Direction &encoderSide = fromClient ? fromServer_ : fromClient_;
    for (size_t offset = 0; offset < payload.size(); offset += kSettingLength) {
        const auto identifier = payload.be16(offset);
        const auto value = be32(payload, offset + 2);
        if (identifier == kSettingHeaderTableSize && value && *value > kDefaultHeaderTableSize &&
            nghttp2_hd_inflate_change_table_size(encoderSide.inflater.get(), std::min(*value, Http2Connection::kMaxHeaderTableSize)) != 0)
            return false;
    }
    return true;
}

bool Http2Connection::inflate(Direction &direction, ByteView block, HeaderFields &fields)
{
    for (;;) {
        nghttp2_nv field{};
        int flags = 0;
        const ssize_t used = nghttp2_hd_inflate_hd2(direction.inflater.get(), &field, &flags,
                                                    reinterpret_cast<const uint8_t *>(block.text().data()),
                                                    block.size(), 1);
        if (used < 0)
            return false;
        block = block.sub(static_cast<size_t>(used));
        if (flags & NGHTTP2_HD_INFLATE_EMIT) {
            fields.take(std::string_view(reinterpret_cast<const char *>(field.name), field.namelen),
                        std::string_view(reinterpret_cast<const char *>(field.value), field.valuelen));
        }
        if (flags & NGHTTP2_HD_INFLATE_FINAL) {
            nghttp2_hd_inflate_end_headers(direction.inflater.get());
            return true;
        }
        if (used == 0 && !(flags & NGHTTP2_HD_INFLATE_EMIT))
            return false;
    }
}

void Http2Connection::onRequest(uint32_t stream, const HeaderFields &fields, PlaintextSink &sink)
{
    if (fields.method.empty())
        return; // trailers
    Exchange &exchange = exchangeFor(stream);
    exchangeBytes_ -= exchangeCost(exchange);
    exchange.requested = true;
    exchange.isGet = fields.method == "GET";
    exchange.authority = !fields.authority.empty() ? fields.authority
                         : !fields.host.empty()    ? fields.host
                                                   : serverName_;
    exchange.path = fields.path;
    exchange.headers = fields.headers;
    exchangeBytes_ += exchangeCost(exchange);
    reportIfComplete(stream, sink);
}

void Http2Connection::onResponse(uint32_t stream, const HeaderFields &fields, PlaintextSink &sink)
{
    // Informational answers (100, 103) come before the real one; trailers have no status.
    if (fields.status.empty() || fields.status.front() == '1')
        return;
    Exchange &exchange = exchangeFor(stream);
    exchangeBytes_ -= exchangeCost(exchange);
    exchange.answered = true;
    exchange.status = fields.status;
    exchange.contentType = fields.contentType;
    exchangeBytes_ += exchangeCost(exchange);
    reportIfComplete(stream, sink);
}

size_t Http2Connection::exchangeCost(const Exchange &exchange)
{
    return kExchangeOverhead + exchange.authority.capacity() + exchange.path.capacity() + exchange.status.capacity() +
           exchange.contentType.capacity() + exchange.headers.heldBytes();
}

Http2Connection::Exchange &Http2Connection::exchangeFor(uint32_t stream)
{
    // Streams the peers left open (never answered, or reset unseen) make room for new ones.
    while (!exchanges_.empty() && !exchanges_.contains(stream) &&
           (exchanges_.size() >= kMaxOpenExchanges || exchangeBytes_ > Http2Connection::kMaxExchangeBytes)) {
        auto oldest = exchanges_.begin();
        for (auto it = exchanges_.begin(); it != exchanges_.end(); ++it) {
            if (it->second.openedAt < oldest->second.openedAt)
                oldest = it;
        }
        forget(oldest->first);
    }
    auto [it, inserted] = exchanges_.try_emplace(stream);
    if (inserted) {
        it->second.openedAt = opened_++;
        exchangeBytes_ += exchangeCost(it->second);
    }
    return it->second;
}

void Http2Connection::forget(uint32_t stream)
{
    const auto it = exchanges_.find(stream);
    if (it == exchanges_.end())
        return;
    exchangeBytes_ -= exchangeCost(it->second);
    exchanges_.erase(it);
}

void Http2Connection::reportIfComplete(uint32_t stream, PlaintextSink &sink)
{
    const auto it = exchanges_.find(stream);
    if (it == exchanges_.end() || !it->second.requested || !it->second.answered)
        return;
    const Exchange exchange = std::move(it->second);
    exchangeBytes_ -= exchangeCost(exchange);
    exchanges_.erase(it);
    if (exchange.isGet)
        sink.onHttp2Exchange(clientToServer_, exchange.authority, exchange.path, exchange.status,
                             exchange.contentType, exchange.headers);
}

bool Http2Connection::opensWith(bool fromClient, ByteView bytes)
{
    if (fromClient)
        return bytes.startsWith(kClientPreface.substr(0, kClientPreface.find('\r')));
    // SETTINGS on stream 0, no acknowledgement, of whole settings.
    if (!bytes.has(0, kFrameHeaderLength) || !bytes.byteIs(kFrameTypeField, kSettings) ||
        !bytes.byteIs(kFrameFlagsField, 0) || be32(bytes, kFrameStreamField) != 0u)
        return false;
    const size_t length = static_cast<size_t>(*bytes.u8(kFrameLengthField)) << 16 | *bytes.be16(kFrameLengthField + 1);
    return length % kSettingLength == 0;
}

size_t Http2Connection::heldBytes() const
{
    size_t held = exchangeBytes_;
    for (const Direction *direction : {&fromClient_, &fromServer_}) {
        held += direction->payload.capacity() + direction->headerBlock.capacity();
        if (direction->inflater)
            held += nghttp2_hd_inflate_get_dynamic_table_size(direction->inflater.get());
    }
    return held;
}

}
