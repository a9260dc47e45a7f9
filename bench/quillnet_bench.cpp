// Throughput of the capture library: frames per second through the frame
// handler, and a capture-file replay through StartCapture next to a bare
// pcap_next_ex loop over the same file.
//
//   quillnet_bench [--frames N]   (N frames in the file; default 1000000)
//
// Also the decryption of HTTPS connections with their keys known.

#include <pcap/pcap.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "capture_file.h"
#include "frame_builder.h"
#include "frame_dispatch.h"
#include "plain_rtmp_scan.h"
#include "quillnet.h"
#include "records.h"
#include "memory_floods.h"
#include "tls_bench_support.h"

using namespace testing_support;
using Clock = std::chrono::steady_clock;

namespace {

constexpr size_t kMediaPayload = 1400;
constexpr int kMediaPerRequest = 98; // one request and one response in every hundred frames

intptr_t acceptSend(HWND, uint32_t, uintptr_t, intptr_t)
{
    return 1;
}

int acceptPost(HWND, uint32_t, uintptr_t, intptr_t)
{
    return 1;
}

MessageWindow sink{acceptSend, acceptPost};

const Endpoint kClient{{192, 168, 1, 20}, 51000};
const Endpoint kServer{{10, 0, 0, 5}, 80};
const Endpoint6 kClient6{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x20}, 51000};
const Endpoint6 kServer6{{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x07}, 80};
// Requests that wait for their answers at any time in the busy-table mix.
constexpr int kBusyOutstanding = 10000;

const std::string kAnswer = "HTTP/1.1 200 OK\r\nServer: bench\r\nContent-Type: video/x-flv\r\n"
                            "Content-Length: 1000000\r\n\r\n";

std::string request(size_t i)
{
    return "GET /media/segment" + std::to_string(i) +
           ".flv HTTP/1.1\r\nHost: example.com\r\nUser-Agent: bench/1.0\r\n"
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

std::vector<uint8_t> mediaSegment(std::mt19937 &random)
{
    return BuildTcpFrame(kServer, kClient, randomPayload(random));
}

// Media segments with a request and its response every hundred frames.
std::vector<std::vector<uint8_t>> realisticMix(size_t count, std::mt19937 &random)
{
    std::vector<std::vector<uint8_t>> frames;
    frames.reserve(count);
    for (size_t i = 0; frames.size() < count; ++i) {
        const Endpoint client{kClient.address, static_cast<uint16_t>(40000 + i % 20000)};
        frames.push_back(BuildTcpFrame(client, kServer, request(i)));
        frames.push_back(BuildTcpFrame(kServer, client, kAnswer));
        for (int k = 0; k < kMediaPerRequest && frames.size() < count; ++k)
            frames.push_back(mediaSegment(random));
    }
    return frames;
}

// The realistic mix where one request in ten sends its request line and its
// other headers in two segments.
std::vector<std::vector<uint8_t>> splitMix(size_t count, std::mt19937 &random)
{
    std::vector<std::vector<uint8_t>> frames;
    frames.reserve(count);
    for (size_t i = 0; frames.size() < count; ++i) {
        const Endpoint client{kClient.address, static_cast<uint16_t>(40000 + i % 20000)};
        const std::string whole = request(i);
        FrameShape shape;
        shape.sequence = 1000;
        if (i % 10 == 0) {
            const size_t lineEnd = whole.find("\r\n") + 2;
            frames.push_back(BuildTcpFrame(client, kServer, whole.substr(0, lineEnd), shape));
            shape.sequence += static_cast<uint32_t>(lineEnd);
            frames.push_back(BuildTcpFrame(client, kServer, whole.substr(lineEnd), shape));
        } else {
            frames.push_back(BuildTcpFrame(client, kServer, whole, shape));
        }
        frames.push_back(BuildTcpFrame(kServer, client, kAnswer));
        for (int k = 0; k < kMediaPerRequest && frames.size() < count; ++k)
            frames.push_back(mediaSegment(random));
    }
    return frames;
}

// The realistic mix over IPv6.
std::vector<std::vector<uint8_t>> ipv6Mix(size_t count, std::mt19937 &random)
{
    std::vector<std::vector<uint8_t>> frames;
    frames.reserve(count);
    for (size_t i = 0; frames.size() < count; ++i) {
        const Endpoint6 client{kClient6.address, static_cast<uint16_t>(40000 + i % 20000)};
        frames.push_back(BuildTcpFrame6(client, kServer6, request(i)));
        frames.push_back(BuildTcpFrame6(kServer6, client, kAnswer));
        for (int k = 0; k < kMediaPerRequest && frames.size() < count; ++k)
            frames.push_back(BuildTcpFrame6(kServer6, kClient6, randomPayload(random)));
    }
    return frames;
}

// The realistic mix with ten thousand requests waiting at every moment: each
// answer is for the request made ten thousand requests earlier.
std::vector<std::vector<uint8_t>> busyTableMix(size_t count, std::mt19937 &random)
{
    const auto client = [](size_t i) {
        return Endpoint{{192, 168, static_cast<uint8_t>(i / 50000 % 256), 20}, static_cast<uint16_t>(10000 + i % 50000)};
    };
    std::vector<std::vector<uint8_t>> frames;
    frames.reserve(count + kBusyOutstanding);
    for (size_t i = 0; i < kBusyOutstanding; ++i)
        frames.push_back(BuildTcpFrame(client(i), kServer, request(i)));
    for (size_t i = kBusyOutstanding; frames.size() < count + kBusyOutstanding; ++i) {
        frames.push_back(BuildTcpFrame(client(i), kServer, request(i)));
        frames.push_back(BuildTcpFrame(kServer, client(i - kBusyOutstanding), kAnswer));
        for (int k = 0; k < kMediaPerRequest && frames.size() < count + kBusyOutstanding; ++k)
            frames.push_back(mediaSegment(random));
    }
    return frames;
}

double seconds(Clock::duration elapsed)
{
    return std::chrono::duration<double>(elapsed).count();
}

// Frames per second through HandleFrame, best of a few passes.
double handleRate(const std::vector<std::vector<uint8_t>> &frames, int passes)
{
    double best = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const auto start = Clock::now();
        for (const auto &frame : frames)
            quillnet::HandleFrame(&sink, frame.data(), static_cast<uint32_t>(frame.size()));
        best = std::max(best, frames.size() / seconds(Clock::now() - start));
    }
    return best;
}

// Frames per second through the plain scan; `found` keeps the work from being optimised away.
double plainScanRate(const std::vector<std::vector<uint8_t>> &frames, size_t &found)
{
    const size_t payloadStart = PayloadOffset();
    found = 0;
    const auto start = Clock::now();
    for (const auto &frame : frames)
        found += PlainRtmpScan(frame, payloadStart).has_value();
    return frames.size() / seconds(Clock::now() - start);
}

double bareReadSeconds(const std::string &path, size_t &frames)
{
    char error[PCAP_ERRBUF_SIZE];
    pcap_t *handle = pcap_open_offline(path.c_str(), error);
    if (!handle) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), error);
        std::exit(1);
    }
    pcap_pkthdr *header = nullptr;
    const u_char *data = nullptr;
    frames = 0;
    const auto start = Clock::now();
    while (pcap_next_ex(handle, &header, &data) > 0)
        ++frames;
    const double elapsed = seconds(Clock::now() - start);
    pcap_close(handle);
    return elapsed;
}

double startCaptureSeconds(const std::string &source)
{
    const auto start = Clock::now();
    if (StartCapture(quillnet::kCallerToken, &sink, source.c_str(), 0) != 0) {
        std::fprintf(stderr, "StartCapture failed on %s\n", source.c_str());
        std::exit(1);
    }
    return seconds(Clock::now() - start);
}

void printFlood(const char *name, const quillnet::tls::FloodShape &shape)
{
    const quillnet::tls::FloodResult result = quillnet::tls::RunFlood(shape);
    const quillnet::tls::Counts &counts = result.counts;
    std::printf("%s:\n    %zu connections, %.1f MB of TLS in %llu frames; heap at most %.1f MB (%.1f s)\n"
                "    TLS %llu seen, %llu decrypted, %llu without keys, %llu undecryptable, %llu evicted\n",
                name, shape.connections, result.bytes / 1e6, static_cast<unsigned long long>(result.frames),
                result.peakHeapBytes / 1e6, result.seconds, static_cast<unsigned long long>(counts.seen),
                static_cast<unsigned long long>(counts.decrypted), static_cast<unsigned long long>(counts.withoutKeys),
                static_cast<unsigned long long>(counts.undecryptable),
                static_cast<unsigned long long>(counts.evicted));
}

// What the TLS tracker's memory comes to under the two floods that once took gigabytes.
void printMemoryFloods()
{
    quillnet::tls::FloodShape waiting;
    waiting.connections = 20000;
    printFlood("TLS without keys, 60 KB waiting each", waiting);
    quillnet::tls::FloodShape http2;
    http2.kind = quillnet::tls::FloodKind::kHttp2;
    http2.connections = 200;
    http2.streams = 512;
    http2.tableFills = 5;
    printFlood("HTTP/2, 64 KB header tables, 512 unanswered streams of 8 KB paths each", http2);
    http2.serverTableSize = 16 * 1024 * 1024;
    printFlood("HTTP/2, 16 MB header tables, the same streams", http2);
}

}

int main(int argc, char **argv)
{
    size_t fileFrames = 1000000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--memory") == 0) {
            printMemoryFloods();
            return 0;
        }
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc)
            fileFrames = std::strtoull(argv[++i], nullptr, 10);
    }
    std::mt19937 random(1);

    std::vector<std::vector<uint8_t>> media;
    for (int i = 0; i < 20000; ++i)
        media.push_back(mediaSegment(random));
    const auto mix = realisticMix(100000, random);
    const auto mix6 = ipv6Mix(100000, random);
    const auto busy = busyTableMix(100000, random);
    const auto split = splitMix(100000, random);

    std::printf("HandleFrame, 1400-byte media segments: %8.2f million frames/s\n", handleRate(media, 5) / 1e6);
    std::printf("HandleFrame, realistic mix:            %8.2f million frames/s\n", handleRate(mix, 5) / 1e6);
    std::printf("HandleFrame, realistic mix over IPv6:  %8.2f million frames/s\n", handleRate(mix6, 5) / 1e6);
    std::printf("HandleFrame, 10,000 requests waiting:  %8.2f million frames/s\n", handleRate(busy, 5) / 1e6);
    std::printf("HandleFrame, 1 request in 10 split:    %8.2f million frames/s\n", handleRate(split, 5) / 1e6);
    size_t found = 0;
    const double plainRate = plainScanRate(media, found);
    std::printf("plain byte-by-byte scan, media:        %8.2f million frames/s (for comparison; %zu found)\n",
                plainRate / 1e6, found);

    const auto decrypted = quillnet::tls::RunDecryptionBench(300000);
    std::printf("HTTPS decryption, 1400-byte records:   %8.2f million frames/s, %.0f MB/s "
                "(a saturated 1 Gbit/s link: 0.09 million frames/s, 125 MB/s)\n",
                decrypted.framesPerSecond() / 1e6, decrypted.megabytesPerSecond());

    std::printf("writing a capture file of %zu frames ...\n", fileFrames);
    std::fflush(stdout);
    const CaptureFile file(realisticMix(fileFrames, random));
    size_t frames = 0;
    bareReadSeconds(file.path(), frames); // brings the file into the page cache
    double bare = 1e9;
    double capture = 1e9;
    for (int round = 0; round < 5; ++round) {
        bare = std::min(bare, bareReadSeconds(file.path(), frames));
        capture = std::min(capture, startCaptureSeconds(file.source()));
    }
    std::printf("bare pcap_next_ex loop:  %7.3f s for %zu frames (%.2f million frames/s)\n", bare, frames,
                frames / bare / 1e6);
    std::printf("StartCapture over file:  %7.3f s (%.2f million frames/s)\n", capture, frames / capture / 1e6);
    std::printf("ratio StartCapture / bare loop: %.2f\n", capture / bare);
    return 0;
}
