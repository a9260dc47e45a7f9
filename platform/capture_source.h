// Capture sources named the way the capture library's callers name them:
// "file://PATH" replays a capture file, "rpcap://DEVICE" or a bare DEVICE opens
// a local device.
#pragma once

#include <pcap/pcap.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class PcapFileReader;
struct StoppableFile;

inline constexpr int kCaptureFlagPromiscuous = 1;

// Kernel buffer asked for on devices, so that a burst on a busy link waits
// there instead of being dropped.
inline constexpr int kCaptureBufferBytes = 32 * 1024 * 1024;

// One open capture source. A classic pcap file is read in place; pcapng files,
// pipes, FIFOs, terminals and devices are read by libpcap.
class CaptureSource {
public:
    // Opens `source` with the given snapshot length, flags (kCaptureFlag...) and
    // read time-out in milliseconds. Null on failure, with the reason in
    // `errorText`. A file is read so that it ends, as if at its end, within a
    // read time-out of `keepGoing` turning 0: also a pipe or FIFO that sends
    // nothing, and a file whose frames the filter skips without returning them.
    static std::unique_ptr<CaptureSource> open(const char *source, int snapshotLength, int flags, int readTimeoutMs,
                                               std::string &errorText,
                                               const std::atomic<int32_t> *keepGoing = nullptr);
    ~CaptureSource();
    CaptureSource(const CaptureSource &) = delete;
    CaptureSource &operator=(const CaptureSource &) = delete;

    int linkType() const;

    // Compiles `filter` for this source's link type; false with the reason in errorText().
    bool compileFilter(const char *filter, uint32_t netmask);
    // From then on, frames the compiled filter rejects are skipped.
    bool applyFilter();

    // 1 with a frame, valid until the next call; 0 when the read time-out passed
    // without one (also on a device that sees no traffic at all, where Linux's
    // capture buffer alone would wait for the first frame); PCAP_ERROR_BREAK at
    // the end of a file; another negative value on an error.
    int next(const pcap_pkthdr *&header, const u_char *&data);

    std::string errorText() const;

    // For a capture file, the bytes read of it so far and its size (0 for a pipe
    // or FIFO); false for a device.
    bool progress(uint64_t &bytesRead, uint64_t &bytesTotal) const;

    // The kernel's and the interface's drop counts of a device; false for a file.
    bool stats(pcap_stat &counts);

private:
    CaptureSource() = default;
    static std::unique_ptr<CaptureSource> openFile(const char *path, int readTimeoutMs, std::string &errorText,
                                                   const std::atomic<int32_t> *keepGoing);
    static std::unique_ptr<CaptureSource> openStream(const char *path, int descriptor, bool waitsForData,
                                                     uint64_t size, int readTimeoutMs, std::string &errorText,
                                                     const std::atomic<int32_t> *keepGoing);
    static std::unique_ptr<CaptureSource> openDevice(const char *device, int snapshotLength, int flags,
                                                     int readTimeoutMs, std::string &errorText);
    // The handle that knows the link type and compiles filters.
    pcap_t *pcap() const;

    pcap_t *handle_ = nullptr;                // what libpcap reads; null for a file read in place
    const StoppableFile *stream_ = nullptr;    // a file libpcap reads, for its progress
    std::unique_ptr<char[]> streamBuffer_;    // stdio's buffer for that file, freed after it
    std::unique_ptr<PcapFileReader> reader_;  // a file read in place
    int readTimeoutMs_ = 0;
    bpf_program filter_{};
};

// Lists the local devices for the source "rpcap://"; each description reads
// "Network adapter '<label>' on local host", the label being pcap's own
// description or else the device name. Returns 0 and the list in `devices`, or -1
// with the reason in `errorBuffer`. Release the list with FreeCaptureDevices.
int FindAllCaptureDevices(const char *source, pcap_if_t **devices, char *errorBuffer);

void FreeCaptureDevices(pcap_if_t *devices);
