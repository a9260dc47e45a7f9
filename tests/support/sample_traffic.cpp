#include "sample_traffic.h"

#include <string>

#include "frame_builder.h"
#include "protocol_payloads.h"

namespace testing_support {

namespace {

const Endpoint kClient{{192, 168, 1, 20}, 51000};
const Endpoint kWebServer{{10, 0, 0, 5}, 80};
const Endpoint kAltServer{{10, 0, 0, 6}, 8080};
const Endpoint kRtmpServer{{10, 0, 0, 7}, 1935};
const Endpoint kRtspServer{{10, 0, 0, 8}, 554};
const Endpoint kMmsServer{{172, 16, 0, 9}, 1755};
constexpr uint16_t kFirstClientPort = 40000;
constexpr uint16_t kClientPorts = 20000;
constexpr uint32_t kServerSequenceOffset = 0x40000000;
// Bytes a transaction's request or answer takes at most, so that each starts past the last.
constexpr uint32_t kTransactionBytes = 256;

// `sequence` numbers the client's bytes and, offset, the server's: connections
// whose ports come round again go on where they were, as real ones would,
// rather than repeating segments that would be taken for copies.
void addHttp(Frames &frames, const Endpoint &client, const Endpoint &server, const std::string &path,
             const std::string &host, const std::string &contentType, uint32_t sequence = 0)
{
    const std::string request = "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
    FrameShape asked;
    asked.sequence = sequence;
    asked.acknowledgement = sequence + kServerSequenceOffset;
    frames.push_back(BuildTcpFrame(client, server, request, asked));
    FrameShape answered;
    answered.sequence = asked.acknowledgement;
    answered.acknowledgement = sequence + static_cast<uint32_t>(request.size());
    frames.push_back(
        BuildTcpFrame(server, client, "HTTP/1.1 200 OK\r\nContent-Type: " + contentType + "\r\n\r\n", answered));
}

Endpoint clientPort(size_t index)
{
    return {kClient.address, static_cast<uint16_t>(kFirstClientPort + index % kClientPorts)};
}

}

Frames SampleTraffic()
{
    Frames frames;
    addHttp(frames, clientPort(0), kWebServer, "/", "www.example.com", "text/html");
    addHttp(frames, clientPort(1), kWebServer, "/videos/trailer.flv", "media.example.com", "video/x-flv");
    addHttp(frames, clientPort(2), kAltServer, "/live/stream.m3u8", "live.example.com:8080",
            "application/vnd.apple.mpegurl");
    addHttp(frames, clientPort(3), kWebServer, "/music/track01.mp3", "audio.example.com", "audio/mpeg");
    addHttp(frames, clientPort(4), kWebServer, "/get?id=42", "cdn.example.com", "video/mp4");
    addHttp(frames, clientPort(5), kWebServer, "/style/site.css", "www.example.com", "text/css");
    frames.push_back(BuildTcpFrame(kClient, kRtmpServer,
                                   RtmpConnect({{"app", "vod"},
                                                {"swfUrl", "http://example.com/player.swf"},
                                                {"tcUrl", "rtmp://example.com/vod"},
                                                {"pageUrl", "http://example.com/watch?v=1"}})));
    frames.push_back(BuildTcpFrame(kClient, kRtmpServer, RtmpPlay("mp4:movie.mp4")));
    frames.push_back(
        BuildTcpFrame(kClient, kRtspServer, "DESCRIBE rtsp://cam.example/live.sdp RTSP/1.0\r\nCSeq: 2\r\n\r\n"));
    frames.push_back(BuildTcpFrame(kClient, kMmsServer, MmsOpenFile(u"clips/intro.wmv")));
    addHttp(frames, clientPort(6), kWebServer, "/VIDEOS/TRAILER.FLV", "MEDIA.EXAMPLE.COM", "video/x-flv");
    return frames;
}

Frames HttpTransactions(size_t count)
{
    Frames frames;
    frames.reserve(count * 2);
    for (size_t index = 0; index < count; ++index) {
        const bool media = index % 2 == 0;
        const std::string path = media ? "/clips/" + std::to_string(index) + ".flv"
                                       : "/pages/" + std::to_string(index) + ".html";
        addHttp(frames, clientPort(index), kWebServer, path, "www.example.com", media ? "video/x-flv" : "text/html",
                static_cast<uint32_t>(index) * kTransactionBytes);
    }
    return frames;
}

}
