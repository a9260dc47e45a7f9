// Throughput of the capture library: frames per second through the frame
// handler, and a capture-file replay through StartCapture next to a bare
// pcap_next_ex loop over the same file.
//
//   quillnet_bench [--frames N] [--replay] [--memory] [--quic]
// N frames in the replayed files (default 1000000); --replay measures the replays alone.
//
// Also the decryption of HTTPS connections with their keys known, and of
// QUIC connections through the frame handler (--quic for that part alone):
// 1-RTT packets of 1,350 bytes next to a saturated 1 Gbit/s link, and what a
// UDP frame that is not QUIC, or is a packet of a connection without keys,
// costs next to a TCP frame that starts no connection.

#include <pcap/pcap.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "capture_file.h"
#include "capture_loop.h"
#include "frame_builder.h"
#include "frame_dispatch.h"
#include "plain_rtmp_scan.h"
#include "quic_dispatch.h"
#include "quic_traffic.h"
#include "quillnet.h"
#include "records.h"
#include "memory_floods.h"
#include "synthetic_tls.h"
#include "tls_bench_support.h"
#include "traffic_mixes.h"

using namespace testing_support;
using Clock = std::chrono::steady_clock;

namespace {

intptr_t acceptSend(HWND, uint32_t, uintptr_t, intptr_t)
{
    return 1;
}

int acceptPost(HWND, uint32_t, uintptr_t, intptr_t)
{
    return 1;
}

MessageWindow sink{acceptSend, acceptPost};

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

constexpr int kReplayRounds = 7;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The calling thread's processor time, in the kernel too: what a replay costs,
// whatever else the machine runs meanwhile.
double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

constexpr size_t kLargeReadBytes = 1024 * 1024;

// A bare pcap_next_ex loop, stdio reading the file in its default blocks (the
// file system's block size) or, with `largeReads`, in 1 MiB ones: where a
// system call is dear, as in a virtual machine with page-table isolation, the
// former is dominated by them and the latter is the fairer mark.
double bareReadSeconds(const std::string &path, size_t &frames, bool largeReads = false)
{
    char error[PCAP_ERRBUF_SIZE];
    FILE *stream = std::fopen(path.c_str(), "rb");
    std::vector<char> buffer(largeReads ? kLargeReadBytes : 0);
    if (stream && largeReads)
        std::setvbuf(stream, buffer.data(), _IOFBF, buffer.size());
    pcap_t *handle = stream ? pcap_fopen_offline(stream, error) : nullptr;
    if (!handle) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), stream ? error : std::strerror(errno));
        std::exit(1);
    }
    pcap_pkthdr *header = nullptr;
    const u_char *data = nullptr;
    frames = 0;
    const double start = threadSeconds();
    while (pcap_next_ex(handle, &header, &data) > 0)
        ++frames;
    const double elapsed = threadSeconds() - start;
    pcap_close(handle);
    return elapsed;
}

double startCaptureSeconds(const std::string &source)
{
    const double start = threadSeconds();
    if (StartCapture(quillnet::kCallerToken, &sink, source.c_str(), 0) != 0) {
        std::fprintf(stderr, "StartCapture failed on %s\n", source.c_str());
        std::exit(1);
    }
    return threadSeconds() - start;
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

constexpr size_t kQuicPackets = 60000;
constexpr int kQuicPasses = 3;
// 1 Gbit/s of 1,350-byte UDP payloads, not counting any header below them.
constexpr double kLinkPackets = 1e9 / 8 / bench::kQuicDatagramLength;

uint64_t httpsRows = 0;

intptr_t countRows(HWND, uint32_t, uintptr_t wParam, intptr_t)
{
    httpsRows += wParam == quillnet::kKindHttpsUrl ? 1 : 0;
    return 1;
}

MessageWindow quicSink{countRows, acceptPost};

void resetCapture(const std::string &keyLogPath)
{
    const std::lock_guard guard(quillnet::CaptureLock());
    quillnet::ResetFrameState(keyLogPath);
}

// Feeds `frames` as captured from `time` on, as far apart as on a saturated
// 1 Gbit/s link; the seconds it took.
double feedTimed(const bench::Frames &frames, uint64_t &time)
{
    constexpr uint64_t kMicrosecondsApart = 10;
    const auto start = Clock::now();
    for (const auto &frame : frames)
        quillnet::HandleFrame(&quicSink, quillnet::kLinkEthernet, frame.data(), static_cast<uint32_t>(frame.size()),
                              time += kMicrosecondsApart);
    return seconds(Clock::now() - start);
}

// Nanoseconds per frame of `measured`, best of a few passes, each in a capture
// that starts anew with `keyLogPath` and sees the `before` frames first.
double frameCost(const bench::Frames &before, const bench::Frames &measured, const std::string &keyLogPath)
{
    double best = 1e9;
    for (int pass = 0; pass < kQuicPasses; ++pass) {
        resetCapture(keyLogPath);
        uint64_t time = 1'700'000'000'000'000;
        feedTimed(before, time);
        best = std::min(best, feedTimed(measured, time) * 1e9 / measured.size());
    }
    resetCapture("");
    return best;
}

void printQuicDecryption(uint16_t suite, const char *name)
{
    const bench::QuicTraffic traffic = bench::QuicMediaConnection(kQuicPackets, suite);
    const quillnet::tls::TemporaryKeyLog keyLog(traffic.keyLog);
    double best = 0;
    quillnet::CaptureStatistics counts{};
    for (int pass = 0; pass < kQuicPasses; ++pass) {
        resetCapture(keyLog.path());
        httpsRows = 0;
        uint64_t time = 1'700'000'000'000'000;
        feedTimed(traffic.handshake, time);
        best = std::max(best, traffic.packets.size() / feedTimed(traffic.packets, time));
        const std::lock_guard guard(quillnet::CaptureLock());
        quillnet::FinishFrameState(&quicSink);
        quillnet::FillQuicCounts(counts);
    }
    resetCapture("");
    std::printf("HandleFrame, QUIC 1-RTT packets of 1,350 bytes, %-18s %6.3f million packets/s, %5.2f Gbit/s: "
                "%4.1f times a saturated 1 Gbit/s link (%llu rows)%s\n",
                name, best / 1e6, best * bench::kQuicDatagramLength * 8 / 1e9, best / kLinkPackets,
                static_cast<unsigned long long>(httpsRows),
                counts.quicConnectionsDecrypted == 1 && httpsRows > 0 ? "" : " (NOT DECRYPTED)");
}

// What UDP that QUIC does not concern costs next to TCP that starts nothing.
void printQuicCosts(const bench::Frames &media, std::mt19937 &random)
{
    const bench::Frames other = bench::OtherUdp(60000, random);
    const bench::QuicTraffic traffic = bench::QuicMediaConnection(kQuicPackets, 0x1301);
    const quillnet::tls::TemporaryKeyLog noKeys("");
    std::printf("HandleFrame, cost of a frame:\n");
    std::printf("  TCP that starts no connection (1400-byte media segments):  %6.1f ns\n",
                1e9 / handleRate(media, 5));
    std::printf("  UDP that is not QUIC, no QUIC connection followed:         %6.1f ns\n", frameCost({}, other, ""));
    std::printf("  UDP that is not QUIC, a QUIC connection followed:          %6.1f ns\n",
                frameCost(traffic.handshake, other, ""));
    std::printf("  QUIC 1-RTT packets of a connection, no key log:            %6.1f ns\n",
                frameCost(traffic.handshake, traffic.packets, ""));
    std::printf("  QUIC 1-RTT packets of a connection whose keys never come:  %6.1f ns\n",
                frameCost(traffic.handshake, traffic.packets, noKeys.path()));
}

void printQuic(const bench::Frames &media, std::mt19937 &random)
{
    std::printf("(a saturated 1 Gbit/s link: %.3f million packets/s of 1,350 bytes)\n", kLinkPackets / 1e6);
    printQuicDecryption(0x1301, "AES-128-GCM:");
    printQuicDecryption(0x1302, "AES-256-GCM:");
    printQuicDecryption(0x1303, "ChaCha20-Poly1305:");
    printQuicCosts(media, random);
}

void printSeconds(const char *what, const std::vector<double> &rounds, size_t frames)
{
    const double seconds = median(rounds);
    std::printf("  %-42s %7.3f s for %zu frames (%.2f million frames/s)\n", what, seconds, frames,
                frames / seconds / 1e6);
}

void printRatio(const char *what, const std::vector<double> &ratios)
{
    std::printf("  ratio %-40s %.2f, median of %zu rounds (from %.2f to %.2f)\n", what, median(ratios),
                ratios.size(), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
}

// Replays `frames` from a capture file through StartCapture and through a
// bare pcap_next_ex loop, in alternating rounds, and prints the medians.
void printReplay(const char *name, const bench::Frames &frames)
{
    std::printf("writing a capture file of the %s, %zu frames ...\n", name, frames.size());
    std::fflush(stdout);
    const CaptureFile file(frames);
    size_t read = 0;
    bareReadSeconds(file.path(), read); // brings the file into the page cache
    std::vector<double> bare;
    std::vector<double> bareLarge;
    std::vector<double> capture;
    std::vector<double> ratios;
    std::vector<double> ratiosLarge;
    for (int round = 0; round < kReplayRounds; ++round) {
        bare.push_back(bareReadSeconds(file.path(), read));
        bareLarge.push_back(bareReadSeconds(file.path(), read, true));
        capture.push_back(startCaptureSeconds(file.source()));
        ratios.push_back(capture.back() / bare.back());
        ratiosLarge.push_back(capture.back() / bareLarge.back());
    }
    std::printf("  processor time of the reading thread, median:\n");
    printSeconds("bare pcap_next_ex loop, default reads:", bare, read);
    printSeconds("bare pcap_next_ex loop, 1 MiB reads:", bareLarge, read);
    printSeconds("StartCapture over the file:", capture, read);
    printRatio("StartCapture / bare loop, default reads:", ratios);
    printRatio("StartCapture / bare loop, 1 MiB reads:", ratiosLarge);
}

}

int main(int argc, char **argv)
{
    size_t fileFrames = 1000000;
    bool replayOnly = false;
    bool quicOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--memory") == 0) {
            printMemoryFloods();
            return 0;
        }
        if (std::strcmp(argv[i], "--replay") == 0)
            replayOnly = true;
        if (std::strcmp(argv[i], "--quic") == 0)
            quicOnly = true;
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc)
            fileFrames = std::strtoull(argv[++i], nullptr, 10);
    }
    std::mt19937 random(1);
    if (replayOnly) {
        printReplay("HTTP-heavy mix", bench::HttpHeavyMix(fileFrames, random));
        printReplay("media mix", bench::MediaMix(fileFrames, random));
        return 0;
    }

    const auto media = bench::MediaSegments(20000, random);
    if (quicOnly) {
        printQuic(media, random);
        return 0;
    }
    const auto mix = bench::MediaMix(100000, random);
    const auto heavy = bench::HttpHeavyMix(100000, random);
    const auto mix6 = bench::Ipv6Mix(100000, random);
    const auto busy = bench::BusyTableMix(100000, random);
    const auto split = bench::SplitMix(100000, random);

    std::printf("HandleFrame, 1400-byte media segments: %8.2f million frames/s\n", handleRate(media, 5) / 1e6);
    std::printf("HandleFrame, media mix:                %8.2f million frames/s\n", handleRate(mix, 5) / 1e6);
    std::printf("HandleFrame, HTTP-heavy mix:           %8.2f million frames/s\n", handleRate(heavy, 5) / 1e6);
    std::printf("HandleFrame, media mix over IPv6:      %8.2f million frames/s\n", handleRate(mix6, 5) / 1e6);
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
    printQuic(media, random);

    printReplay("HTTP-heavy mix", bench::HttpHeavyMix(fileFrames, random));
    printReplay("media mix", bench::MediaMix(fileFrames, random));
    return 0;
}
