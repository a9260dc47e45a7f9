// HTTP GET requests waiting for their responses, and the responses that
// complete them. A header block may arrive in several segments of its
// connection; its lines are read as they complete.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "frame_dispatch.h"
#include "request_headers.h"

namespace quillnet {

// Most requests kept waiting at once; beyond it the oldest is given up.
inline constexpr size_t kMostPendingRequests = 65536;
// Most header blocks kept unfinished at once; beyond it the oldest is read as it stands.
inline constexpr size_t kMostUnfinishedBlocks = 4096;

struct PendingRequest {
    std::string path;
    std::string host;
    bool hostFromTarget = false; // the request line named the whole URL
    bool secure = false;         // ... with https
    int32_t targetPort = 0;      // the port of that URL
    uint32_t sequenceEnd = 0;    // the client's sequence number after the request's bytes
    uint32_t serverSequence = 0; // how much of the server's bytes the client had when it asked
    bool dropped = false;        // its target cannot make a URL: its answer gives no row
    RequestHeaders headers;
};

// Forgets every waiting request, unfinished header block and the eviction count.
void ResetRequestTable();

// The waiting request numbered `number` (the lowest number free when it was
// made, from 1), or null.
const PendingRequest *FindPendingRequest(int number);
size_t PendingRequestCount();
uint64_t EvictedRequestCount();

// Whether a payload is a GET request, or could be the first bytes of one.
bool StartsRequest(ByteView payload);
inline constexpr std::string_view kHttpVersionPrefix = "HTTP/1.";
inline constexpr std::string_view kIcyStatusPrefix = "ICY ";

// Whether `payload` starts with an HTTP/1 or ICY status line; inline, as every
// frame with a payload asks.
inline bool StartsResponse(ByteView payload)
{
    return payload.startsWith(kHttpVersionPrefix) || payload.startsWith(kIcyStatusPrefix);
}
void HandleHttpRequest(Frame &frame);
void HandleHttpResponse(Frame &frame);

// Reads the frame as the next part of an unfinished header block of its
// connection. True when the frame was that (or a copy of a part already read)
// and needs no other recogniser.
bool ContinueHttpBlock(Frame &frame);

// Sends what the unfinished response blocks hold, at the end of a capture.
void FinishHttpBlocks(HWND window);

}
