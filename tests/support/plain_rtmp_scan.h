// The RTMP command scan written as the plainest byte-by-byte loop: the
// reference the fast scan is held to, in tests and in the benchmark.
#pragma once

#include <optional>
#include <vector>

#include "rtmp.h"

namespace testing_support {

std::optional<quillnet::RtmpCommandMatch> PlainRtmpScan(const std::vector<uint8_t> &frame, size_t start);

}
