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
    // The headers of the request whose URL record (107, 111 or 113) comes
    // next; sent only for a request that carried any of them.
    kKindRequestHeaders = 112,
    // An HTTP or HTTPS URL, with its content type, that the fixed fields of
    // HttpUrlRecord cannot hold; sent in place of 107 or 111.
    kKindLongHttpUrl = 113,
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

// Kind 112 is a run of fields, each a RequestHeaderField followed by
// `length` bytes of the value as the request sent it (no NUL), with no
// padding between fields. HTTP/2 cookie fields come joined with "; ". Values
// longer than kMaxHeaderValueLength are left out, never cut; the record holds
// at most kMaxRequestHeadersLength bytes, fields in the order of
// RequestHeader, so that the later ones are left out first.
enum RequestHeader : uint16_t {
    kHeaderUserAgent = 1,
    kHeaderReferer = 2,
    kHeaderCookie = 3,
    kHeaderOrigin = 4,
    kHeaderAccept = 5,
    kHeaderAcceptLanguage = 6,
    kHeaderAcceptEncoding = 7,
    kHeaderAcceptCharset = 8,
    kHeaderKeepAlive = 9,
    kHeaderConnection = 10,
};
inline constexpr size_t kRequestHeaderCount = 10;

struct RequestHeaderField {
    uint16_t name;   // a RequestHeader
    uint16_t length; // of the value that follows
};

inline constexpr size_t kMaxHeaderValueLength = 8192;
inline constexpr size_t kMaxRequestHeadersLength = 32768;

// Kind 113: this header, then the host, the path and the content type, each
// of the length given and without NUL. The URL is formed from port, host and
// path as for HttpUrlRecord; https when `secure` is 1.
struct LongHttpUrlRecord {
    int32_t port;
    int32_t secure;
    uint32_t hostLength;
    uint32_t pathLength;
    uint32_t contentTypeLength;
};

// The longest request target read; a longer request line is dropped.
inline constexpr size_t kMaxRequestTargetLength = 8192;

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

// Sent about once a second while a capture runs, from a device or a file, and
// once at its end, before the capture-ended message is posted. Counts are from the start of the capture.
struct CaptureStatistics {
    uint64_t framesReceived;           // frames the capture read
    uint64_t framesDroppedByKernel;    // pcap_stats ps_drop; 0 for files
    uint64_t framesDroppedByInterface; // pcap_stats ps_ifdrop; 0 for files
    uint64_t requestsEvicted;          // outstanding requests and connects given up to bound memory
    // Every TLS connection seen ends in exactly one of the three that follow;
    // those still open may be in none yet. A connection that lost data counts
    // as undecryptable even when some of it was decrypted.
    uint64_t tlsConnectionsSeen;
    uint64_t tlsConnectionsDecrypted;
    uint64_t tlsConnectionsWithoutKeys; // also those that carried no application data
    uint64_t tlsConnectionsUndecryptable;
    int32_t end;                       // a CaptureEnd
    char errorText[256];               // NUL-terminated; empty unless end is kCaptureReadError
    uint8_t reserved[4];
    // Of the TLS connections seen, those given up early to bound memory or the
    // number followed at once, the oldest first; each is also in one of the
    // three counts above. Receivers that know only the fields above read a
    // record this long as before.
    uint64_t tlsConnectionsEvicted;
    // A capture file's progress: bytes read of it, and its size; 0 and 0 for a
    // device, a size of 0 for a pipe or FIFO.
    uint64_t bytesRead;
    uint64_t bytesTotal;
    // HTTP/3's connections. Every QUIC connection seen ends in exactly one of
    // decrypted, without keys and undecryptable; evicted counts those of them
    // given up early to bound memory. Receivers read shorter records as before.
    uint64_t quicConnectionsSeen;
    uint64_t quicConnectionsDecrypted;
    uint64_t quicConnectionsWithoutKeys;
    uint64_t quicConnectionsUndecryptable;
    uint64_t quicConnectionsEvicted;
};

static_assert(sizeof(HttpUrlRecord) == 1804);
static_assert(offsetof(HttpUrlRecord, host) == 4);
static_assert(offsetof(HttpUrlRecord, path) == 304);
static_assert(offsetof(HttpUrlRecord, contentType) == 1604);

static_assert(sizeof(RequestHeaderField) == 4);
static_assert(sizeof(LongHttpUrlRecord) == 20);

static_assert(sizeof(SendInfo) == 2708);
static_assert(offsetof(SendInfo, tcUrl) == 8);
static_assert(offsetof(SendInfo, app) == 508);
static_assert(offsetof(SendInfo, playpath) == 708);
static_assert(offsetof(SendInfo, swfUrl) == 1208);
static_assert(offsetof(SendInfo, pageUrl) == 2208);

static_assert(sizeof(CaptureStatistics) == 392);
static_assert(offsetof(CaptureStatistics, framesDroppedByKernel) == 8);
static_assert(offsetof(CaptureStatistics, framesDroppedByInterface) == 16);
static_assert(offsetof(CaptureStatistics, requestsEvicted) == 24);
static_assert(offsetof(CaptureStatistics, tlsConnectionsSeen) == 32);
static_assert(offsetof(CaptureStatistics, tlsConnectionsUndecryptable) == 56);
static_assert(offsetof(CaptureStatistics, end) == 64);
static_assert(offsetof(CaptureStatistics, errorText) == 68);
static_assert(offsetof(CaptureStatistics, tlsConnectionsEvicted) == 328);
static_assert(offsetof(CaptureStatistics, bytesTotal) == 344);
static_assert(offsetof(CaptureStatistics, quicConnectionsSeen) == 352);
static_assert(offsetof(CaptureStatistics, quicConnectionsEvicted) == 384);

}
