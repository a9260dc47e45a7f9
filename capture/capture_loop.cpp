#include "capture_loop.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "capture_source.h"
#include "frame_dispatch.h"
#include "http.h"
#include "https.h"
#include "key_log.h"
#include "log_texts.h"
#include "notifications.h"
#include "quic_dispatch.h"
#include "quillnet.h"
#include "rtmp.h"

namespace quillnet {

namespace {

constexpr int kSnapshotLength = 65536;
constexpr int kReadTimeoutMs = 1000;
constexpr int kOpenFlags = 0;
// TCP, and UDP for QUIC, over IPv4 and IPv6; IPv6 packets whose first header
// is an extension header are let through for the dissector to walk, since
// "protochain" would move the filter out of the kernel. On Ethernet also
// behind one or two VLAN tags.
#define TARVOLIN_IP_TRANSPORT                                                                                          \
    "tcp or udp or (ip6 and (ip6[6] == 0 or ip6[6] == 43 or ip6[6] == 44 or ip6[6] == 51 or ip6[6] == 60))"
constexpr char kCaptureFilter[] = TARVOLIN_IP_TRANSPORT;
constexpr char kTaggedCaptureFilter[] = "(" TARVOLIN_IP_TRANSPORT ") or (vlan and ((" TARVOLIN_IP_TRANSPORT
                                        ") or (vlan and (" TARVOLIN_IP_TRANSPORT "))))";
#undef TARVOLIN_IP_TRANSPORT
constexpr auto kStatisticsInterval = std::chrono::seconds(1);
// Frames between looks at the clock while frames keep coming.
constexpr uint64_t kFramesPerClockCheck = 256;

// 1 while the capture may go on; cleared by StopCapture from another thread.
std::atomic<int32_t> g_Capture{0};
std::mutex captureLock;
// Held while a capture runs, so that a new capture waits for the old loop to end.
std::mutex loopLock;

std::unique_ptr<CaptureSource> openFiltered(HWND window, const char *adapterName, int32_t netmask)
{
    std::string errorText;
    auto source = CaptureSource::open(adapterName, kSnapshotLength, kOpenFlags, kReadTimeoutMs, errorText, &g_Capture);
    if (!source)
        return nullptr;

    SendLogText(window, logtext::kReadyDatalink);
    const int linkType = source->linkType();
    if (!IsSupportedLinkType(linkType))
        return nullptr;

    SendLogText(window, logtext::kReadyCompile);
    const char *filter = linkType == kLinkEthernet ? kTaggedCaptureFilter : kCaptureFilter;
    if (!source->compileFilter(filter, static_cast<uint32_t>(netmask)))
        return nullptr;

    SendLogText(window, logtext::kReadySetfilter);
    if (!source->applyFilter())
        return nullptr;
    return source;
}

bool stopRequested()
{
    return g_Capture.load(std::memory_order_relaxed) == 0;
}

// One capture's counts, sent as CaptureStatistics records.
class StatisticsReporter {
public:
    StatisticsReporter(HWND window, CaptureSource &source)
        : window_(window), source_(source), lastSent_(std::chrono::steady_clock::now())
    {
    }

    void countFrame() { ++frames_; }

    // Sends the running counts about once a second.
    void maybeSend(bool timedOut)
    {
        if (!timedOut && frames_ % kFramesPerClockCheck != 0)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastSent_ < kStatisticsInterval)
            return;
        lastSent_ = now;
        send(kCaptureRunning, "");
    }

    void send(CaptureEnd end, const std::string &errorText)
    {
        CaptureStatistics statistics{};
        statistics.framesReceived = frames_;
        pcap_stat counts{};
        if (source_.stats(counts)) {
            statistics.framesDroppedByKernel = counts.ps_drop;
            statistics.framesDroppedByInterface = counts.ps_ifdrop;
        }
        {
            const std::lock_guard guard(captureLock);
            statistics.requestsEvicted = EvictedEntryCount();
            FillTlsCounts(statistics);
            FillQuicCounts(statistics);
        }
        source_.progress(statistics.bytesRead, statistics.bytesTotal);
        statistics.end = end;
        copyText(statistics.errorText, ByteView(std::string_view(errorText)));
        SendCaptureStatistics(window_, statistics);
    }

private:
    HWND window_;
    CaptureSource &source_;
    uint64_t frames_ = 0;
    std::chrono::steady_clock::time_point lastSent_;
};

// pcap's time of capture, in microseconds since the epoch.
uint64_t captureTime(const timeval &time)
{
    constexpr uint64_t kMicrosecondsPerSecond = 1000000;
    return static_cast<uint64_t>(time.tv_sec) * kMicrosecondsPerSecond + static_cast<uint64_t>(time.tv_usec);
}

struct LoopEnd {
    CaptureEnd end;
    std::string errorText;
};

LoopEnd runLoop(HWND window, CaptureSource &source, StatisticsReporter &statistics)
{
    const int linkType = source.linkType();
    for (;;) {
        const pcap_pkthdr *header = nullptr;
        const u_char *data = nullptr;
        const int result = source.next(header, data);
        // Tested after a read time-out too, so that an idle adapter stops promptly;
        // and before an error, which may be the file read cut short by the stop.
        if (stopRequested()) {
            SendLogText(window, logtext::kStopBreak);
            return {kCaptureStopped, ""};
        }
        if (result == PCAP_ERROR_BREAK)
            return {kCaptureEndOfFile, ""};
        if (result < 0)
            return {kCaptureReadError, source.errorText()};
        if (result > 0) {
            statistics.countFrame();
            HandleFrame(window, linkType, data, header->caplen, captureTime(header->ts));
        }
        statistics.maybeSend(result == 0);
    }
}

}

std::mutex &CaptureLock()
{
    return captureLock;
}

namespace {
std::mutex keyLogLock;
std::string keyLogPath;
}

std::string KeyLogFilePath()
{
    const std::lock_guard guard(keyLogLock);
    return keyLogPath;
}

}

using namespace quillnet;

extern "C" int32_t StartCapture(int32_t callerToken, HWND window, const char *adapterName, int32_t netmask)
{
    if (callerToken != kCallerToken)
        return 0;
    SendLog(window, logtext::kAdapter, adapterName ? adapterName : "", netmask);

    const std::lock_guard loop(loopLock);
    g_Capture.store(1, std::memory_order_relaxed);
    SendLogText(window, logtext::kReadyOpen);
    {
        const std::lock_guard guard(captureLock);
        ResetFrameState(KeyLogFilePath());
    }

    std::unique_ptr<CaptureSource> source = openFiltered(window, adapterName, netmask);
    if (!source)
        return -1;
    SendLogText(window, logtext::kReadyNextEx);
    StatisticsReporter statistics(window, *source);
    const LoopEnd loopEnd = runLoop(window, *source, statistics);
    {
        // What still waits for more bytes is reported as it stands.
        const std::lock_guard guard(captureLock);
        FinishFrameState(window);
    }

    SendLogText(window, logtext::kEndCaptureAll);
    statistics.send(loopEnd.end, loopEnd.errorText);
    source.reset();
    PostCaptureEnded(window);
    // A damaged file or a device that went away is not a capture that ended well.
    return loopEnd.end == kCaptureReadError ? -1 : 0;
}

static_assert(tls::kNotRegularFile == QUILLNET_KEYLOG_NOT_REGULAR);

extern "C" int32_t SetKeyLogFile(const char *path)
{
    const std::string named = path ? path : "";
    const int problem = tls::KeyLogProblem(named);
    const std::lock_guard guard(keyLogLock);
    keyLogPath = problem == 0 ? named : "";
    return problem;
}

extern "C" int32_t SetLogRecords(int32_t wanted)
{
    SetLogsWanted(wanted != 0);
    return 0;
}

extern "C" int32_t StopCapture(HWND window)
{
    SendLogText(window, g_Capture.load(std::memory_order_relaxed) ? logtext::kStopWasRunning : logtext::kStopWasIdle);
    g_Capture.store(0, std::memory_order_relaxed);
    SendLogText(window, logtext::kStopCleared);
    return 0;
}
