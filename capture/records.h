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

}
