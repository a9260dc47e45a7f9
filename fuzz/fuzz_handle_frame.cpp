// Feeds arbitrary bytes to the frame handler as a sequence of frames: a first
// byte picks the link type (0 Ethernet, 1 Linux cooked, 2 Linux cooked v2,
// modulo 3), then each frame is a 16-bit little-endian captured length and that
// many bytes (cut at the end of the input). The tables carry over from frame to
// frame within one input and start empty for the next.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <vector>

#include "capture_loop.h"
#include "frame_dispatch.h"
#include "records.h"

namespace {

// Accepts every message, but first checks that each record is what it claims
// and reads all of it, so that the sanitizers see any bad length.
intptr_t checkSend(HWND, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message != WM_COPYDATA)
        std::abort();
    const auto *copy = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
    if (copy->dwData != wParam || copy->cbData == 0)
        std::abort();
    const auto *bytes = static_cast<const uint8_t *>(copy->lpData);
    std::vector<uint8_t> record(bytes, bytes + copy->cbData);
    switch (copy->dwData) {
    case quillnet::kKindHttpUrl:
        if (copy->cbData != sizeof(quillnet::HttpUrlRecord))
            std::abort();
        break;
    case quillnet::kKindSendInfo:
        if (copy->cbData != sizeof(quillnet::SendInfo))
            std::abort();
        break;
    case quillnet::kKindUrlText:
    case quillnet::kKindLogText:
        if (record.back() != 0 || std::strlen(reinterpret_cast<const char *>(record.data())) + 1 != record.size())
            std::abort();
        break;
    default:
        std::abort();
    }
    return 1;
}

int acceptPost(HWND, uint32_t, uintptr_t, intptr_t)
{
    return 1;
}

MessageWindow window{checkSend, acceptPost};

constexpr int kLinkTypes[] = {quillnet::kLinkEthernet, quillnet::kLinkLinuxCooked, quillnet::kLinkLinuxCooked2};

}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    {
        const std::lock_guard guard(quillnet::CaptureLock());
        quillnet::ResetFrameState();
    }
    if (size == 0)
        return 0;
    const int linkType = kLinkTypes[data[0] % std::size(kLinkTypes)];
    size_t position = 1;
    while (position + 2 <= size) {
        const size_t declared = static_cast<size_t>(data[position] | data[position + 1] << 8);
        position += 2;
        const size_t length = std::min(declared, size - position);
        // A buffer of exactly the captured length, so that any read past it is caught.
        std::vector<uint8_t> frame(data + position, data + position + length);
        quillnet::HandleFrame(&window, linkType, frame.data(), static_cast<uint32_t>(frame.size()));
        position += length;
    }
    return 0;
}
