// HTTP GET requests waiting for their responses, and the responses that
// complete them.
#pragma once

#include <cstdint>
#include <string>

#include "frame_dispatch.h"

namespace quillnet {

// Most requests kept waiting at once; beyond it the oldest is given up.
inline constexpr size_t kMostPendingRequests = 65536;

struct PendingRequest {
    std::string path;
    std::string host;
};

// Forgets every waiting request and the eviction count.
void ResetRequestTable();

// The waiting request numbered `number` (the lowest number free when it was
// made, from 1), or null.
const PendingRequest *FindPendingRequest(int number);
size_t PendingRequestCount();
uint64_t EvictedRequestCount();

void HandleHttpRequest(Frame &frame);
void HandleHttpResponse(Frame &frame);

}
