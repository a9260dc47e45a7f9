// The records the capture library sends to its window inside WM_COPYDATA.
// Both deliverables read these layouts, byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillnet {

enum RecordKind : uint32_t {
    kKindHttpUrl = 107,
    kKindSendInfo = 108,
    kKindUrlText = 109,
    kKindCaptureStatistics = 110,
    kKindHttpsUrl = 111, // laid out as HttpUrlRecord; the URL is https://
    kKindLogText = 300,
};

// Posted once when a capture that reached its loop has ended.
inline constexpr uint32_t kMessageCaptureEnded = 0x0400 + 57;

// The only caller token StartCapture accepts.
inline constexpr int32_t kCallerToken = 527384;

struct HttpUrlRecord {
    int32_t port;
    char host[300];
    char path[1300];
    char contentType[200];
};

struct SendInfo {
    int32_t port;
    uint8_t reserved[4];
    char tcUrl[500];
    char app[200];
    char playpath[500];
    char swfUrl[1000];
    char pageUrl[500];
};

// How a capture stands when its statistics are sent.
enum CaptureEnd : int32_t {
    kCaptureRunning = 0,
    kCaptureEndOfFile = 1,
    kCaptureReadError = 2, // errorText holds pcap's reason
    kCaptureStopped = 3,   // StopCapture asked for the end
};

// Sent about once a second during a live capture and once at its end, before
// the capture-ended message is posted. Counts are from the start of the capture.
struct CaptureStatistics {
    uint64_t framesReceived;           // frames the capture read
    uint64_t framesDroppedByKernel;    // pcap_stats ps_drop; 0 for files
    uint64_t framesDroppedByInterface; // pcap_stats ps_ifdrop; 0 for files
    uint64_t requestsEvicted;          // outstanding requests and connects given up to bound memory
    // Every TLS connection seen ends in exactly one of the four that follow;
    // those still open are in none yet. A connection that lost data counts as
    // undecryptable or evicted even when some of it was decrypted.
    uint64_t tlsConnectionsSeen;
    uint64_t tlsConnectionsDecrypted;
    uint64_t tlsConnectionsWithoutKeys; // also those that carried no application data
    uint64_t tlsConnectionsUndecryptable;
    int32_t end;                       // a CaptureEnd
    char errorText[256];               // NUL-terminated; empty unless end is kCaptureReadError
    uint8_t reserved[4];
    // Given up to bound memory or the number followed at once, the oldest first.
    // Receivers that know only the fields above read a record this long as before.
    uint64_t tlsConnectionsEvicted;
};

static_assert(sizeof(HttpUrlRecord) == 1804);
static_assert(offsetof(HttpUrlRecord, host) == 4);
static_assert(offsetof(HttpUrlRecord, path) == 304);
static_assert(offsetof(HttpUrlRecord, contentType) == 1604);

static_assert(sizeof(SendInfo) == 2708);
static_assert(offsetof(SendInfo, tcUrl) == 8);
static_assert(offsetof(SendInfo, app) == 508);
static_assert(offsetof(SendInfo, playpath) == 708);
static_assert(offsetof(SendInfo, swfUrl) == 1208);
static_assert(offsetof(SendInfo, pageUrl) == 2208);

static_assert(sizeof(CaptureStatistics) == 336);
static_assert(offsetof(CaptureStatistics, framesDroppedByKernel) == 8);
static_assert(offsetof(CaptureStatistics, framesDroppedByInterface) == 16);
static_assert(offsetof(CaptureStatistics, requestsEvicted) == 24);
static_assert(offsetof(CaptureStatistics, tlsConnectionsSeen) == 32);
static_assert(offsetof(CaptureStatistics, tlsConnectionsUndecryptable) == 56);
static_assert(offsetof(CaptureStatistics, end) == 64);
static_assert(offsetof(CaptureStatistics, errorText) == 68);
static_assert(offsetof(CaptureStatistics, tlsConnectionsEvicted) == 328);

}
