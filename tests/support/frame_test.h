// Fixture for tests that feed frames straight to the frame handler.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "frame_builder.h"
#include "recording_window.h"

namespace testing_support {

inline const Endpoint kClient{{192, 168, 1, 20}, 51000};
inline const Endpoint kServer{{10, 0, 0, 5}, 80};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override;
    void feed(const std::vector<uint8_t> &frame);
    // Without numbers in `shape`, the segment follows the ones fed before on its
    // connection, and acknowledges all the other direction has sent, as a real one does.
    void feed(const Endpoint &from, const Endpoint &to, std::string_view payload, const FrameShape &shape = {});

    RecordingWindow window;

private:
    std::map<std::pair<std::string, std::string>, uint32_t> nextSequence_;
};

}
