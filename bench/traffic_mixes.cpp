#include "traffic_mixes.h"

#include <algorithm>
#include <string>

#include "frame_builder.h"

using namespace testing_support;

namespace bench {

namespace {

constexpr size_t kMediaPayload = 1400;
constexpr int kFramesPerMediaRequest = 100;
constexpr int kFramesPerHttpRequest = 10;
// Requests that wait for their answers at any time in the busy-table mix.
constexpr int kBusyOutstanding = 10000;
constexpr uint32_t kSequenceStep = 7919 * 1024;

const Endpoint kClient{{192, 168, 1, 20}, 51000};
const Endpoint kServer{{10, 0, 0, 5}, 80};
const Endpoint6 kClient6{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20}, 51000};
const Endpoint6 kServer6{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x07}, 80};

const std::string kMediaAnswer = "HTTP/1.1 200 OK\r\nServer: bench\r\nContent-Type: video/x-flv\r\n"
                                 "Content-Length: 1000000\r\n\r\n";
const std::string kPageAnswer = "HTTP/1.1 200 OK\r\nServer: bench\r\nContent-Type: text/html; charset=utf-8\r\n"
                                "Cache-Control: no-cache\r\nContent-Length: 11200\r\n\r\n";

std::string request(size_t i, const char *extension = ".flv")
{
    return "GET /media/segment" + std::to_string(i) + extension +
           " HTTP/1.1\r\nHost: example.com\r\nUser-Agent: bench/1.0\r\n"
           "Accept: */*\r\nConnection: keep-alive\r\n\r\n";
}

std::string randomPayload(std::mt19937 &random)
{
    std::string payload(kMediaPayload, '\0');
    for (size_t i = 0; i < payload.size(); i += 4) {
        const uint32_t word = random();
        payload.replace(i, 4, reinterpret_cast<const char *>(&word), std::min<size_t>(4, payload.size() - i));
    }
    return payload;
}

Endpoint clientPort(size_t i)
{
    return Endpoint{kClient.address, static_cast<uint16_t>(40000 + i % 20000)};
}

void addBody(Frames &frames, size_t count, int framesPerRequest, std::mt19937 &random,
             const Endpoint &from = kServer, const Endpoint &to = kClient)
{
    for (int k = 2; k < framesPerRequest && frames.size() < count; ++k)
        frames.push_back(BuildTcpFrame(from, to, randomPayload(random)));
}

}

Frames MediaSegments(size_t count, std::mt19937 &random)
{
    Frames frames;
    frames.reserve(count);
    while (frames.size() < count)
        frames.push_back(BuildTcpFrame(kServer, kClient, randomPayload(random)));
    return frames;
}

Frames MediaMix(size_t count, std::mt19937 &random)
{
    Frames frames;
    frames.reserve(count);
    for (size_t i = 0; frames.size() < count; ++i) {
        frames.push_back(BuildTcpFrame(clientPort(i), kServer, request(i)));
        frames.push_back(BuildTcpFrame(kServer, clientPort(i), kMediaAnswer));
        addBody(frames, count, kFramesPerMediaRequest, random);
    }
    return frames;
}

Frames HttpHeavyMix(size_t count, std::mt19937 &random)
{
    Frames frames;
    frames.reserve(count);
    for (size_t i = 0; frames.size() < count; ++i) {
        const bool media = i % 2 == 0;
        // A port comes round again every 20,000 requests, on a new connection.
        FrameShape shape;
        shape.sequence = static_cast<uint32_t>(i * kSequenceStep);
        frames.push_back(BuildTcpFrame(clientPort(i), kServer, request(i, media ? ".flv" : ".html"), shape));
        frames.push_back(BuildTcpFrame(kServer, clientPort(i), media ? kMediaAnswer : kPageAnswer, shape));
        addBody(frames, count, kFramesPerHttpRequest, random, kServer, clientPort(i));
    }
    return frames;
}

Frames SplitMix(size_t count, std::mt19937 &random)
{
    Frames frames;
    frames.reserve(count);
    for (size_t i = 0; frames.size() < count; ++i) {
        const std::string whole = request(i);
        FrameShape shape;
        shape.sequence = 1000;
        if (i % 10 == 0) {
            const size_t lineEnd = whole.find("\r\n") + 2;
            frames.push_back(BuildTcpFrame(clientPort(i), kServer, whole.substr(0, lineEnd), shape));
            shape.sequence += static_cast<uint32_t>(lineEnd);
            frames.push_back(BuildTcpFrame(clientPort(i), kServer, whole.substr(lineEnd), shape));
        } else {
            frames.push_back(BuildTcpFrame(clientPort(i), kServer, whole, shape));
        }
        frames.push_back(BuildTcpFrame(kServer, clientPort(i), kMediaAnswer));
        addBody(frames, count, kFramesPerMediaRequest, random);
    }
    return frames;
}

Frames Ipv6Mix(size_t count, std::mt19937 &random)
{
    Frames frames;
    frames.reserve(count);
    for (size_t i = 0; frames.size() < count; ++i) {
        const Endpoint6 client{kClient6.address, static_cast<uint16_t>(40000 + i % 20000)};
        frames.push_back(BuildTcpFrame6(client, kServer6, request(i)));
        frames.push_back(BuildTcpFrame6(kServer6, client, kMediaAnswer));
        for (int k = 2; k < kFramesPerMediaRequest && frames.size() < count; ++k)
            frames.push_back(BuildTcpFrame6(kServer6, kClient6, randomPayload(random)));
    }
    return frames;
}

Frames BusyTableMix(size_t count, std::mt19937 &random)
{
    const auto client = [](size_t i) {
        return Endpoint{{192, 168, static_cast<uint8_t>(i / 50000 % 256), 20}, static_cast<uint16_t>(10000 + i % 50000)};
    };
    Frames frames;
    frames.reserve(count + kBusyOutstanding);
    for (size_t i = 0; i < kBusyOutstanding; ++i)
        frames.push_back(BuildTcpFrame(client(i), kServer, request(i)));
    for (size_t i = kBusyOutstanding; frames.size() < count + kBusyOutstanding; ++i) {
        frames.push_back(BuildTcpFrame(client(i), kServer, request(i)));
        frames.push_back(BuildTcpFrame(kServer, client(i - kBusyOutstanding), kMediaAnswer));
        addBody(frames, count + kBusyOutstanding, kFramesPerMediaRequest, random);
    }
    return frames;
}

}
