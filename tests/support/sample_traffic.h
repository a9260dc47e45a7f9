// Frames of typical traffic for the window's tests, benchmark and screenshots.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

using Frames = std::vector<std::vector<uint8_t>>;

// A few of everything the capture library recognises: HTTP media files and
// pages, RTMP, RTSP and MMS, and one media file repeated in other letters.
Frames SampleTraffic();

// `count` HTTP transactions (request and response), every other one a media file.
Frames HttpTransactions(size_t count);

}
