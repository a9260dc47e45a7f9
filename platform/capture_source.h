// Capture sources named the way the capture library's callers name them:
// "file://PATH" replays a capture file, "rpcap://DEVICE" or a bare DEVICE opens
// a local device.
#pragma once

#include <pcap/pcap.h>

#include <atomic>
#include <cstdint>

inline constexpr int kCaptureFlagPromiscuous = 1;

// Kernel buffer asked for on devices, so that a burst on a busy link waits
// there instead of being dropped.
inline constexpr int kCaptureBufferBytes = 32 * 1024 * 1024;

// Opens `source` with the given snapshot length, flags (kCaptureFlag...) and read
// time-out in milliseconds. Null on failure, with the reason in `errorBuffer`
// (PCAP_ERRBUF_SIZE bytes). Read the handle with NextCaptureFrame.
// A file is read so that it ends, as if at its end, within a read time-out of
// `keepGoing` turning 0: also a pipe or FIFO that sends nothing, and a file whose
// frames the filter skips without returning them.
pcap_t *OpenCaptureSource(const char *source, int snapshotLength, int flags, int readTimeoutMs,
                          char *errorBuffer, const std::atomic<int32_t> *keepGoing = nullptr);

// pcap_next_ex for a handle of OpenCaptureSource: 1 with a frame, 0 when the
// read time-out passed without one (also on a device that sees no traffic at
// all, where Linux's capture buffer alone would wait for the first frame),
// negative at the end of a file or on an error.
int NextCaptureFrame(pcap_t *handle, pcap_pkthdr **header, const u_char **data, int readTimeoutMs);

// For a handle of a capture file, the bytes read of it so far and its size (0
// for a pipe or FIFO); false for a device.
bool CaptureFileProgress(pcap_t *handle, uint64_t &bytesRead, uint64_t &bytesTotal);

// Lists the local devices for the source "rpcap://"; each description reads
// "Network adapter '<label>' on local host", the label being pcap's own
// description or else the device name. Returns 0 and the list in `devices`, or -1
// with the reason in `errorBuffer`. Release the list with FreeCaptureDevices.
int FindAllCaptureDevices(const char *source, pcap_if_t **devices, char *errorBuffer);

void FreeCaptureDevices(pcap_if_t *devices);
