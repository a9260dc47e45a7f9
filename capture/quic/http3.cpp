#include "http3.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "wire_reader.h"

namespace quillnet::quic {

namespace {

constexpr uint64_t kStreamFromServer = 0x1;
constexpr uint64_t kStreamUnidirectional = 0x2;

enum StreamType : uint64_t {
    kControlStream = 0x00,
    kEncoderStream = 0x02,
};

enum FrameType : uint64_t {
    kHeadersFrame = 0x01,
    kSettingsFrame = 0x04,
};

constexpr uint64_t kSettingQpackMaxTableCapacity = 0x01;

// Header blocks are kept whole; far larger than browsers send.
constexpr size_t kMaxHeaderBlockLength = 256 * 1024;
// A few settings and some grease take a few dozen bytes.
constexpr size_t kMaxSettingsLength = 16 * 1024;
// Encoder instructions that come before the settings they depend on (after
// 0-RTT, with remembered ones); more than a full table's worth is not that.
constexpr size_t kMaxEarlyInstructions = 64 * 1024;
// Unidirectional streams whose type is still to come; a peer opens three or four.
constexpr size_t kMaxUniStreams = 16;
// What a stream's entry and a waiting block cost besides their bytes.
constexpr size_t kStreamOverhead = 256;
constexpr size_t kBlockOverhead = 64;
constexpr size_t kUniStreamOverhead = 128;

bool isUnidirectional(uint64_t streamId)
{
    return (streamId & kStreamUnidirectional) != 0;
}

bool openedByClient(uint64_t streamId)
{
    return (streamId & kStreamFromServer) == 0;
}

ByteView viewOf(const std::vector<uint8_t> &bytes)
{
    return {bytes.data(), bytes.size()};
}

}

Http3Connection::Http3Connection() = default;

Http3Connection::Http3Connection(std::string serverName) : serverName_(std::move(serverName)) {}

Http3Connection::~Http3Connection() = default;

void Http3Connection::onStreamData(uint64_t streamId, bool fromClient, uint64_t offset, ByteView bytes,
                                   Http3Sink &sink)
{
    if (broken_)
        return;
    bool read = true;
    if (!isUnidirectional(streamId))
        read = readRequestStream(streamId, fromClient, offset, bytes, sink);
    else if (openedByClient(streamId) == fromClient) // only its opener sends on it
        read = readUniStream(streamId, fromClient, offset, bytes, sink);
    if (!read)
        return breakConnection();
    makeRoom(kMaxOpenStreams);
}

void Http3Connection::onStreamEnd(uint64_t streamId, bool fromClient, Http3Sink &)
{
    if (broken_)
        return;
    if (isUnidirectional(streamId)) {
        uniStreams_.erase(streamId);
        return;
    }
    const auto it = streams_.find(streamId);
    if (it == streams_.end())
        return;
    Direction &direction = fromClient ? it->second.request : it->second.response;
    direction.ended = true;
    direction.frames.release();
    settle(streamId, it->second);
}

void Http3Connection::onStreamReset(uint64_t streamId, bool)
{
    if (isUnidirectional(streamId))
        uniStreams_.erase(streamId);
    else
        forget(streamId);
}

bool Http3Connection::readUniStream(uint64_t streamId, bool fromClient, uint64_t offset, ByteView bytes,
                                    Http3Sink &sink)
{
    auto it = uniStreams_.find(streamId);
    if (it == uniStreams_.end()) {
        if (offset != 0)
            return true; // of a type not followed, or given up
        makeRoomForUniStream();
        it = uniStreams_.try_emplace(streamId).first;
    }
    UniStream &stream = it->second;
    if (stream.kind == UniKind::kUntyped) {
        const auto type = stream.type.take(bytes);
        if (!type)
            return true;
        Side &side = sideOf(fromClient);
        if (*type == kControlStream && !side.controlOpened) {
            side.controlOpened = true;
            stream.kind = UniKind::kControl;
        } else if (*type == kEncoderStream && !side.encoderOpened) {
            side.encoderOpened = true;
            stream.kind = UniKind::kEncoder;
        } else {
            // Push, decoder and reserved streams, and a second control or encoder stream, tell nothing here.
            uniStreams_.erase(it);
            return true;
        }
    }
    if (stream.kind == UniKind::kEncoder)
        return readInstructions(fromClient, bytes, sink);
    return readControl(stream, fromClient, bytes, sink);
}

void Http3Connection::makeRoomForUniStream()
{
    if (uniStreams_.size() < kMaxUniStreams)
        return;
    const auto untyped = std::find_if(uniStreams_.begin(), uniStreams_.end(),
                                      [](const auto &entry) { return entry.second.kind == UniKind::kUntyped; });
    if (untyped != uniStreams_.end())
        uniStreams_.erase(untyped);
}

bool Http3Connection::readControl(UniStream &stream, bool fromClient, ByteView bytes, Http3Sink &sink)
{
    for (;;) {
        const FrameReader::Status status = stream.frames.next(bytes, {kSettingsFrame}, kMaxSettingsLength);
        if (status == FrameReader::Status::kNeedMore)
            return true;
        if (status == FrameReader::Status::kTooLong)
            return false;
        const std::vector<uint8_t> payload = stream.frames.takePayload();
        // A second SETTINGS is the peer's error, not read.
        if (!stream.settingsRead && !readSettings(fromClient, viewOf(payload), sink))
            return false;
        stream.settingsRead = true;
    }
}

bool Http3Connection::readSettings(bool fromClient, ByteView payload, Http3Sink &sink)
{
    uint64_t capacity = 0; // none announced: no dynamic table
    WireReader reader(payload);
    while (!reader.atEnd()) {
        const uint64_t identifier = reader.varint();
        const uint64_t value = reader.varint();
        if (identifier == kSettingQpackMaxTableCapacity)
            capacity = value;
    }
    if (!reader.ok())
        return false;
    // A side's settings say what its decoder allows the other side's encoder.
    const bool encoderFromClient = !fromClient;
    Side &side = sideOf(encoderFromClient);
    side.decoder = QpackDecoder::create(capacity);
    if (!side.decoder || !resumeWaiting(encoderFromClient, sink))
        return false;
    const std::vector<uint8_t> early = std::exchange(side.earlyInstructions, {});
    return readInstructions(encoderFromClient, viewOf(early), sink);
}

bool Http3Connection::readInstructions(bool fromClient, ByteView bytes, Http3Sink &sink)
{
    Side &side = sideOf(fromClient);
    if (!side.decoder) {
        if (bytes.size() > kMaxEarlyInstructions - side.earlyInstructions.size())
            return false;
        side.earlyInstructions.insert(side.earlyInstructions.end(), bytes.text().begin(), bytes.text().end());
        return true;
    }
    while (!bytes.empty()) {
        // Instructions after the inserts a waiting block needs may evict entries it refers to (once the
        // peer's decoder read it), so while blocks wait they are looked at after each insert.
        const size_t step = side.waitingBlocks > 0 ? 1 : bytes.size();
        const uint64_t inserts = side.decoder->insertCount();
        if (!side.decoder->readEncoder(bytes.sub(0, step)))
            return false;
        bytes = bytes.sub(step);
        if (side.decoder->insertCount() != inserts && side.waitingBlocks > 0 && !resumeWaiting(fromClient, sink))
            return false;
    }
    return true;
}

bool Http3Connection::resumeWaiting(bool fromClient, Http3Sink &sink)
{
    // In the order the streams opened, so that exchanges come out as they were asked.
    std::vector<std::pair<uint64_t, uint64_t>> waiting; // opened at, stream
    for (const auto &[streamId, stream] : streams_) {
        const Direction &direction = fromClient ? stream.request : stream.response;
        if (!direction.waiting.empty())
            waiting.emplace_back(stream.openedAt, streamId);
    }
    std::sort(waiting.begin(), waiting.end());
    for (const auto &[openedAt, streamId] : waiting) {
        const auto it = streams_.find(streamId);
        if (it == streams_.end())
            continue;
        if (!decodeWaiting(streamId, it->second, fromClient, sink))
            return false;
        settle(streamId, it->second);
    }
    return true;
}

bool Http3Connection::readRequestStream(uint64_t streamId, bool fromClient, uint64_t offset, ByteView bytes,
                                        Http3Sink &sink)
{
    if (!openedByClient(streamId))
        return true; // HTTP/3 opens no bidirectional streams from servers
    auto it = streams_.find(streamId);
    if (it == streams_.end()) {
        // A stream starts with its request; an answer to one not followed is of no use.
        if (offset != 0 || !fromClient)
            return true;
        it = openStream(streamId);
    }
    Stream &stream = it->second;
    Direction &direction = fromClient ? stream.request : stream.response;
    if (direction.reading == Reading::kNotYet)
        direction.reading = offset == 0 ? Reading::kFrames : Reading::kIgnored;
    if (direction.reading == Reading::kIgnored || direction.ended)
        return true;
    while (!stream.finished) {
        const FrameReader::Status status = direction.frames.next(bytes, {kHeadersFrame}, kMaxHeaderBlockLength);
        if (status == FrameReader::Status::kNeedMore)
            break;
        if (status == FrameReader::Status::kTooLong) {
            stream.finished = true; // the block cannot be read, and no other block depends on it
            break;
        }
        direction.waiting.emplace_back(direction.frames.takePayload());
        ++sideOf(fromClient).waitingBlocks;
        if (!decodeWaiting(streamId, stream, fromClient, sink))
            return false;
    }
    settle(streamId, stream);
    return true;
}

bool Http3Connection::decodeWaiting(uint64_t streamId, Stream &stream, bool fromClient, Http3Sink &sink)
{
    Side &side = sideOf(fromClient);
    Direction &direction = fromClient ? stream.request : stream.response;
    while (side.decoder && !direction.waiting.empty() && !stream.finished) {
        HeaderFields fields;
        const QpackDecoder::Result result = side.decoder->decode(streamId, direction.waiting.front(), fields);
        if (result == QpackDecoder::Result::kFailed)
            return false;
        if (result == QpackDecoder::Result::kBlocked)
            return true;
        direction.waiting.pop_front();
        --side.waitingBlocks;
        onFields(stream, fromClient, fields, sink);
    }
    return true;
}

void Http3Connection::onFields(Stream &stream, bool fromClient, const HeaderFields &fields, Http3Sink &sink)
{
    if (fromClient) {
        if (fields.method.empty())
            return; // trailers
        stream.requested = true;
        stream.isGet = fields.method == "GET";
        stream.authority = !fields.authority.empty() ? fields.authority
                           : !fields.host.empty()    ? fields.host
                                                     : serverName_;
        stream.path = fields.path;
        stream.headers = fields.headers;
    } else {
        // Informational answers (100, 103) come before the real one; trailers have no status.
        if (fields.status.empty() || fields.status.front() == '1')
            return;
        stream.answered = true;
        stream.status = fields.status;
        stream.contentType = fields.contentType;
    }
    if (!stream.requested || !stream.answered)
        return;
    stream.finished = true;
    if (stream.isGet)
        sink.onHttp3Exchange(stream.authority, stream.path, stream.status, stream.contentType, stream.headers);
}

std::unordered_map<uint64_t, Http3Connection::Stream>::iterator Http3Connection::openStream(uint64_t streamId)
{
    makeRoom(kMaxOpenStreams - 1);
    const auto it = streams_.try_emplace(streamId).first;
    it->second.openedAt = opened_++;
    it->second.cost = streamCost(it->second);
    streamBytes_ += it->second.cost;
    return it;
}

void Http3Connection::settle(uint64_t streamId, Stream &stream)
{
    const bool over = stream.finished || (stream.response.ended && stream.request.waiting.empty() &&
                                          stream.response.waiting.empty());
    if (over)
        return forget(streamId);
    const size_t cost = streamCost(stream);
    streamBytes_ = streamBytes_ - stream.cost + cost;
    stream.cost = cost;
}

void Http3Connection::forget(uint64_t streamId)
{
    const auto it = streams_.find(streamId);
    if (it == streams_.end())
        return;
    streamBytes_ -= it->second.cost;
    client_.waitingBlocks -= it->second.request.waiting.size();
    server_.waitingBlocks -= it->second.response.waiting.size();
    streams_.erase(it);
}

// Streams the peers left open (never answered, reset unseen, or waiting on
// an encoder stream that never brings what they need) make room for new ones.
void Http3Connection::makeRoom(size_t streams)
{
    while (!streams_.empty() && (streams_.size() > streams || streamBytes_ > kMaxExchangeBytes)) {
        const auto oldest = std::min_element(streams_.begin(), streams_.end(), [](const auto &a, const auto &b) {
            return a.second.openedAt < b.second.openedAt;
        });
        forget(oldest->first);
    }
}

void Http3Connection::breakConnection()
{
    broken_ = true;
    // The streams first: their blocks live in the decoders' memory.
    streams_.clear();
    streamBytes_ = 0;
    uniStreams_.clear();
    client_ = {};
    server_ = {};
}

size_t Http3Connection::streamCost(const Stream &stream)
{
    size_t cost = kStreamOverhead + stream.authority.capacity() + stream.path.capacity() + stream.status.capacity() +
                  stream.contentType.capacity() + stream.headers.heldBytes();
    for (const Direction *direction : {&stream.request, &stream.response}) {
        cost += direction->frames.heldBytes();
        for (const QpackDecoder::Block &block : direction->waiting)
            cost += kBlockOverhead + block.heldBytes();
    }
    return cost;
}

size_t Http3Connection::heldBytes() const
{
    size_t held = streamBytes_ + uniStreams_.size() * kUniStreamOverhead;
    for (const auto &[streamId, stream] : uniStreams_)
        held += stream.frames.heldBytes();
    for (const Side *side : {&client_, &server_}) {
        held += side->earlyInstructions.capacity();
        if (side->decoder)
            held += side->decoder->heldBytes();
    }
    return held;
}

}
