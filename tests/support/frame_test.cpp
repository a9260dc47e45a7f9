#include "frame_test.h"

#include <mutex>

#include "capture_loop.h"
#include "frame_dispatch.h"

namespace testing_support {

void FrameTest::SetUp()
{
    const std::lock_guard guard(quillnet::CaptureLock());
    quillnet::ResetFrameState();
    nextSequence_.clear();
}

void FrameTest::feed(const std::vector<uint8_t> &frame)
{
    quillnet::HandleFrame(window.handle(), frame.data(), static_cast<uint32_t>(frame.size()));
}

namespace {

std::string endpointKey(const Endpoint &endpoint)
{
    return std::string(endpoint.address.begin(), endpoint.address.end()) + std::to_string(endpoint.port);
}

}

void FrameTest::feed(const Endpoint &from, const Endpoint &to, std::string_view payload, const FrameShape &shape)
{
    FrameShape numbered = shape;
    if (shape.sequence == 0 && shape.acknowledgement == 0) {
        constexpr uint32_t kFirstSequence = 1000;
        const auto forward = nextSequence_.try_emplace({endpointKey(from), endpointKey(to)}, kFirstSequence).first;
        const auto backward = nextSequence_.try_emplace({endpointKey(to), endpointKey(from)}, kFirstSequence).first;
        numbered.sequence = forward->second;
        numbered.acknowledgement = backward->second;
        forward->second += static_cast<uint32_t>(payload.size());
    }
    feed(BuildTcpFrame(from, to, payload, numbered));
}

}
