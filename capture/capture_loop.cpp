#include "capture_loop.h"

#include <atomic>
#include <memory>
#include <string>

#include "capture_source.h"
#include "frame_dispatch.h"
#include "http.h"
#include "log_texts.h"
#include "notifications.h"
#include "quillnet.h"
#include "rtmp.h"

namespace quillnet {

namespace {

constexpr int kSnapshotLength = 65536;
constexpr int kReadTimeoutMs = 1000;
constexpr int kOpenFlags = 0;
constexpr int kLinkTypeEthernet = DLT_EN10MB;
constexpr char kCaptureFilter[] = "ip and tcp";
constexpr int kOptimiseFilter = 1;

// 1 while the capture may go on; cleared by StopCapture from another thread.
std::atomic<int32_t> g_Capture{0};
std::mutex captureLock;
// Held while a capture runs, so that a new capture waits for the old loop to end.
std::mutex loopLock;

struct PcapCloser {
    void operator()(pcap_t *handle) const { pcap_close(handle); }
};
using PcapHandle = std::unique_ptr<pcap_t, PcapCloser>;

PcapHandle openFiltered(HWND window, const char *adapterName, int32_t netmask)
{
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    PcapHandle handle(OpenCaptureSource(adapterName, kSnapshotLength, kOpenFlags, kReadTimeoutMs, errorBuffer));
    if (!handle)
        return nullptr;

    SendLogText(window, logtext::kReadyDatalink);
    if (pcap_datalink(handle.get()) != kLinkTypeEthernet)
        return nullptr;

    SendLogText(window, logtext::kReadyCompile);
    bpf_program program{};
    if (pcap_compile(handle.get(), &program, kCaptureFilter, kOptimiseFilter, static_cast<bpf_u_int32>(netmask)) < 0)
        return nullptr;

    SendLogText(window, logtext::kReadySetfilter);
    const int installed = pcap_setfilter(handle.get(), &program);
    pcap_freecode(&program);
    if (installed < 0)
        return nullptr;
    return handle;
}

void runLoop(HWND window, pcap_t *handle)
{
    for (;;) {
        pcap_pkthdr *header = nullptr;
        const u_char *data = nullptr;
        const int result = NextCaptureFrame(handle, &header, &data, kReadTimeoutMs);
        if (result < 0)
            return;
        // Tested after a read time-out too, so that an idle adapter stops promptly.
        if (g_Capture.load(std::memory_order_relaxed) == 0) {
            SendLogText(window, logtext::kStopBreak);
            return;
        }
        if (result > 0)
            HandleFrame(window, data, header->caplen);
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
        ResetRtmpTable();
        ResetRequestTable();
    }

    PcapHandle handle = openFiltered(window, adapterName, netmask);
    if (!handle)
        return -1;
    SendLogText(window, logtext::kReadyNextEx);
    runLoop(window, handle.get());
    handle.reset();

    SendLogText(window, logtext::kEndCaptureAll);
    PostCaptureEnded(window);
    return 0;
}

extern "C" int32_t SetKeyLogFile(const char *path)
{
    const std::lock_guard guard(keyLogLock);
    keyLogPath = path ? path : "";
    return 0;
}

extern "C" int32_t StopCapture(HWND window)
{
    SendLogText(window, g_Capture.load(std::memory_order_relaxed) ? logtext::kStopWasRunning : logtext::kStopWasIdle);
    g_Capture.store(0, std::memory_order_relaxed);
    SendLogText(window, logtext::kStopCleared);
    return 0;
}
