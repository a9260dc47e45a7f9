#include "frame_test.h"

#include <mutex>

#include "capture_loop.h"
#include "frame_dispatch.h"
#include "http.h"
#include "rtmp.h"

namespace testing_support {

void FrameTest::SetUp()
{
    const std::lock_guard guard(quillnet::CaptureLock());
    quillnet::ResetRequestTable();
    quillnet::ResetRtmpTable();
}

void FrameTest::feed(const std::vector<uint8_t> &frame)
{
    quillnet::HandleFrame(window.handle(), frame.data(), static_cast<uint32_t>(frame.size()));
}

void FrameTest::feed(const Endpoint &from, const Endpoint &to, std::string_view payload, const FrameShape &shape)
{
    feed(BuildTcpFrame(from, to, payload, shape));
}

}
