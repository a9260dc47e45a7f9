// The requests and responses of an HTTP/3 connection: the frames of its
// request streams, header blocks through a QPACK decoder for each side fed
// that side's encoder stream, and GETs paired with their responses by stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "byte_view.h"
#include "http3_frames.h"
#include "qpack_decoder.h"
#include "request_headers.h"

namespace quillnet::quic {

class Http3Sink {
public:
    virtual ~Http3Sink() = default;
    // One GET and its response, with the request's headers (as in HTTP/2).
    virtual void onHttp3Exchange(std::string_view authority, std::string_view path, std::string_view status,
                                 std::string_view contentType, const RequestHeaders &headers) = 0;
};

class Http3Connection {
public:
    // What the streams waiting for their request or answer keep together,
    // header blocks waiting for the encoder stream included; beyond it the
    // oldest stream is given up.
    static constexpr size_t kMaxExchangeBytes = 1024 * 1024;
    // Streams followed at once; browsers open at most a few hundred.
    static constexpr size_t kMaxOpenStreams = 512;

    Http3Connection();
    // `serverName` stands in for a request without :authority or host.
    explicit Http3Connection(std::string serverName);
    ~Http3Connection();
    Http3Connection(const Http3Connection &) = delete;
    Http3Connection &operator=(const Http3Connection &) = delete;

    // Bytes of one direction of one stream, in order, each once (QuicSink's onStreamData).
    void onStreamData(uint64_t streamId, bool fromClient, uint64_t offset, ByteView bytes, Http3Sink &sink);
    void onStreamEnd(uint64_t streamId, bool fromClient, Http3Sink &sink);
    void onStreamReset(uint64_t streamId, bool fromClient);
    // Memory held: partial frames, QPACK tables, streams waiting (bounded; oldest given up first).
    size_t heldBytes() const;
    // True once the connection broke HTTP/3 or QPACK; it reads nothing more.
    bool broken() const { return broken_; }

private:
    enum class Reading { kNotYet, kFrames, kIgnored };
    enum class UniKind { kUntyped, kControl, kEncoder };

    // One side's header blocks: decoded once the other side's SETTINGS tell
    // the table capacity its decoder allows.
    struct Side {
        std::unique_ptr<QpackDecoder> decoder;
        std::vector<uint8_t> earlyInstructions; // its encoder stream before that
        size_t waitingBlocks = 0;
        bool controlOpened = false;
        bool encoderOpened = false;
    };

    struct UniStream {
        SplitVarint type;
        UniKind kind = UniKind::kUntyped;
        FrameReader frames;
        bool settingsRead = false;
    };

    struct Direction {
        Reading reading = Reading::kNotYet;
        FrameReader frames;
        std::deque<QpackDecoder::Block> waiting; // in stream order; the first may be blocked
        bool ended = false;
    };

    struct Stream {
        Direction request, response;
        std::string authority, path, status, contentType;
        RequestHeaders headers;
        bool isGet = false;
        bool requested = false;
        bool answered = false;
        bool finished = false; // nothing more to learn from it
        uint64_t openedAt = 0;
        size_t cost = 0; // its part of streamBytes_
    };

    Side &sideOf(bool fromClient) { return fromClient ? client_ : server_; }
    bool readUniStream(uint64_t streamId, bool fromClient, uint64_t offset, ByteView bytes, Http3Sink &sink);
    bool readControl(UniStream &stream, bool fromClient, ByteView bytes, Http3Sink &sink);
    bool readSettings(bool fromClient, ByteView payload, Http3Sink &sink);
    bool readInstructions(bool fromClient, ByteView bytes, Http3Sink &sink);
    bool resumeWaiting(bool fromClient, Http3Sink &sink);
    bool readRequestStream(uint64_t streamId, bool fromClient, uint64_t offset, ByteView bytes, Http3Sink &sink);
    bool decodeWaiting(uint64_t streamId, Stream &stream, bool fromClient, Http3Sink &sink);
    void onFields(Stream &stream, bool fromClient, const HeaderFields &fields, Http3Sink &sink);
    void makeRoomForUniStream();
    std::unordered_map<uint64_t, Stream>::iterator openStream(uint64_t streamId);
    void settle(uint64_t streamId, Stream &stream);
    void forget(uint64_t streamId);
    void makeRoom(size_t streams);
    void breakConnection();
    static size_t streamCost(const Stream &stream);

    std::string serverName_;
    // Declared before the streams, whose blocks live in their memory.
    Side client_;
    Side server_;
    std::unordered_map<uint64_t, UniStream> uniStreams_;
    std::unordered_map<uint64_t, Stream> streams_;
    size_t streamBytes_ = 0;
    uint64_t opened_ = 0;
    bool broken_ = false;
};

}
