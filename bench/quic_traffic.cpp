#include "quic_traffic.h"

#include <algorithm>

#include "frame_builder.h"
#include "http3_messages.h"
#include "quic_builder.h"
#include "udp_frames.h"

using namespace quic_testing;
using namespace testing_support;

namespace bench {

namespace {

const Endpoint kClient{{192, 168, 1, 20}, 51000};
const Endpoint kServer{{203, 0, 113, 5}, 443};

constexpr size_t kTagLength = 16;
constexpr size_t kPacketNumberLength = 2;          // as the builder writes them
constexpr size_t kSegmentBytes = 256 * 1024;       // a media segment's body
constexpr uint64_t kClientControl = 2;
constexpr uint64_t kServerControl = 3;
constexpr uint64_t kStreamsApart = 4;              // client-initiated bidirectional streams
constexpr size_t kStreamFrameMostOverhead = 1 + 2 + 4 + 2; // type, stream, offset, length

// Frames padded (PADDING frames are zeros) so that the packet fills the datagram.
Bytes filling(Bytes frames, size_t idLength)
{
    frames.resize(kQuicDatagramLength - 1 - idLength - kPacketNumberLength - kTagLength, 0);
    return frames;
}

std::string_view textOf(const Bytes &bytes)
{
    return {reinterpret_cast<const char *>(bytes.data()), bytes.size()};
}

class Writer {
public:
    explicit Writer(uint16_t suite) : talk_({.suite = suite}) {}

    Conversation &talk() { return talk_; }
    Frames &frames() { return frames_; }

    void client(const Bytes &frames)
    {
        frames_.push_back(BuildUdpFrame(kClient, kServer, talk_.clientOneRtt(clientNumber_++,
                                                                            filling(frames, talk_.serverId().size()))));
    }

    void server(const Bytes &frames)
    {
        frames_.push_back(BuildUdpFrame(kServer, kClient, talk_.serverOneRtt(serverNumber_++, filling(frames, 0))));
    }

    // The answer's stream bytes, as many server packets as they fill.
    void serverStream(uint64_t stream, const Bytes &bytes, size_t packets)
    {
        const size_t room = kQuicDatagramLength - 1 - kPacketNumberLength - kTagLength - kStreamFrameMostOverhead;
        for (size_t offset = 0; offset < bytes.size() && frames_.size() < packets; offset += room) {
            const size_t length = std::min(room, bytes.size() - offset);
            const bool last = offset + length == bytes.size();
            server(StreamFrame(stream, offset, textOf(bytes).substr(offset, length), last));
        }
    }

private:
    Conversation talk_;
    Frames frames_;
    uint64_t clientNumber_ = 0;
    uint64_t serverNumber_ = 0;
};

}

QuicTraffic QuicMediaConnection(size_t packets, uint16_t suite)
{
    Writer writer(suite);
    Conversation &talk = writer.talk();
    QuicTraffic traffic;
    traffic.keyLog = talk.keyLogLines();
    traffic.handshake = {
        BuildUdpFrame(kClient, kServer, talk.clientInitial(0, CryptoFrame(0, talk.clientHello()))),
        BuildUdpFrame(kServer, kClient, talk.serverInitial(0, Join({AckFrame(0), CryptoFrame(0, talk.serverHello())}))),
    };
    const Bytes control = ControlStreamOpening();
    writer.client(StreamFrame(kClientControl, 0, textOf(control)));
    writer.server(StreamFrame(kServerControl, 0, textOf(control)));
    const Bytes answer = Join({LiteralHeaders({{":status", "200"}, {"content-type", "video/mp4"}}),
                               DataFrameStart(kSegmentBytes), Bytes(kSegmentBytes, 'm')});
    for (uint64_t segment = 0; writer.frames().size() < packets; ++segment) {
        const uint64_t stream = segment * kStreamsApart;
        const Fields request = {{":method", "GET"},
                                {":scheme", "https"},
                                {":authority", "media.example"},
                                {":path", "/video/segment" + std::to_string(segment) + ".m4s"},
                                {"user-agent", "bench/1.0"}};
        writer.client(StreamFrame(stream, 0, textOf(LiteralHeaders(request)), true));
        writer.serverStream(stream, answer, packets);
    }
    traffic.packets = std::move(writer.frames());
    return traffic;
}

Frames OtherUdp(size_t count, std::mt19937 &random)
{
    const Endpoint resolver{{192, 168, 1, 1}, 53};
    const Endpoint media{{198, 51, 100, 9}, 5004};
    Frames frames;
    for (size_t i = 0; i < count; ++i) {
        const Endpoint client{kClient.address, static_cast<uint16_t>(30000 + i % 20000)};
        Bytes payload(i % 3 == 0 ? 40 : 1200);
        for (uint8_t &byte : payload)
            byte = static_cast<uint8_t>(random());
        if (i % 3 == 0) {
            frames.push_back(BuildUdpFrame(client, resolver, payload));
        } else if (i % 3 == 1) {
            payload[0] = 0x80; // RTP version 2
            frames.push_back(BuildUdpFrame(media, client, payload));
        } else {
            payload[0] = static_cast<uint8_t>(0x40 | (payload[0] & 0x3f)); // looked up as a short header would be
            frames.push_back(BuildUdpFrame(media, client, payload));
        }
    }
    return frames;
}

}
