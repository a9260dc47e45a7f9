// HTTP GET requests waiting for their responses, and the responses that
// complete them.
#pragma once

#include <cstdint>

#include "frame_dispatch.h"

namespace quillnet {

inline constexpr int kRequestSlotCount = 200;

struct RequestSlot {
    int32_t free;
    int32_t clientPort;
    int32_t serverPort;
    Ipv4Address clientAddress;
    Ipv4Address serverAddress;
    char path[1300];
    char host[300];
    char contentType[200];
    uint64_t takenAt; // when the slot was last taken, to reuse the oldest when all are busy
};

// Marks every slot free.
void ResetRequestTable();

// The number (1-200) of the slot a new request is to take, its texts emptied:
// the first free one, or when none is free the one taken longest ago.
// The caller marks it in use.
int AllocateRequestSlot();

// Slot `number` (1-200).
const RequestSlot &RequestTableSlot(int number);

void HandleHttpRequest(Frame &frame);
void HandleHttpResponse(Frame &frame);

}
