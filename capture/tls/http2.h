// The requests and responses of an HTTP/2 connection: frames of both
// directions, header blocks through libnghttp2's HPACK inflater, and GETs
// paired with their responses by stream.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "byte_view.h"
#include "flow.h"
#include "request_headers.h"

struct nghttp2_hd_inflater;

namespace quillnet::tls {

class PlaintextSink;

class Http2Connection {
public:
    // What the streams waiting for their request or answer keep together;
    // beyond it the oldest is given up.
    static constexpr size_t kMaxExchangeBytes = 1024 * 1024;
    // A peer may announce any header table size; the other side's encoder is
    // allowed no more than this, which browsers and servers stay within. A
    // block that needs more breaks the connection's header compression.
    static constexpr uint32_t kMaxHeaderTableSize = 64 * 1024;

    // `serverName` stands in for a request without :authority or host.
    // Whether a side's first plaintext opens HTTP/2: the client's preface, or
    // the SETTINGS frame a server sends at once (which a capture may show first).
    static bool opensWith(bool fromClient, ByteView bytes);

    Http2Connection(const Flow &clientToServer, std::string serverName);
    ~Http2Connection();
    Http2Connection(const Http2Connection &) = delete;
    Http2Connection &operator=(const Http2Connection &) = delete;

    // Takes the next plaintext of one direction. False once the connection
    // broke the protocol or its header compression: nothing more is read.
    bool feed(bool fromClient, ByteView bytes, PlaintextSink &sink);

    // Memory held beyond the object itself: frame buffers, both header
    // tables and the streams waiting for their request or answer.
    size_t heldBytes() const;

private:
    static constexpr size_t kFrameHeaderLength = 9;

    struct InflaterDeleter {
        void operator()(nghttp2_hd_inflater *inflater) const;
    };

    struct Direction {
        std::unique_ptr<nghttp2_hd_inflater, InflaterDeleter> inflater;
        size_t prefaceLeft = 0;
        std::array<uint8_t, kFrameHeaderLength> header{};
        size_t headerFilled = 0;
        size_t payloadLeft = 0;
        bool keepPayload = false;
        std::vector<uint8_t> payload;
        std::vector<uint8_t> headerBlock;  // across CONTINUATION frames
        uint32_t blockStream = 0;          // 0: no block open
        uint32_t blockFrameStream = 0;     // its frames' stream: a promise's block goes on where it began
        bool blockIsPromise = false;
    };

    struct Exchange {
        std::string authority, path, status, contentType;
        RequestHeaders headers;
        bool isGet = false;
        bool requested = false;
        bool answered = false;
        uint64_t openedAt = 0;
    };

    bool readFrames(Direction &direction, bool fromClient, ByteView bytes, PlaintextSink &sink);
    bool handleFrame(Direction &direction, bool fromClient, PlaintextSink &sink);
    bool handleHeaderFragment(Direction &direction, bool fromClient, uint32_t stream, ByteView fragment,
                              bool endHeaders, bool isPromise, PlaintextSink &sink);
    bool handleSettings(bool fromClient, ByteView payload);
    bool inflate(Direction &direction, ByteView block, HeaderFields &fields);
    void onRequest(uint32_t stream, const HeaderFields &fields, PlaintextSink &sink);
    void onResponse(uint32_t stream, const HeaderFields &fields, PlaintextSink &sink);
    Exchange &exchangeFor(uint32_t stream);
    void forget(uint32_t stream);
    void reportIfComplete(uint32_t stream, PlaintextSink &sink);
    static size_t exchangeCost(const Exchange &exchange);

    Flow clientToServer_;
    std::string serverName_;
    Direction fromClient_;
    Direction fromServer_;
    std::unordered_map<uint32_t, Exchange> exchanges_;
    size_t exchangeBytes_ = 0; // what exchanges_ holds, by exchangeCost
    uint64_t opened_ = 0;
    bool broken_ = false;
};

}
