// A window that keeps every message it receives, in order, for the tests.
// Sends are handled on the sending thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "message_window.h"
#include "records.h"

namespace testing_support {

struct ReceivedMessage {
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
    bool posted = false;
    uintptr_t dwData = 0;      // WM_COPYDATA only
    uint32_t cbData = 0;
    std::vector<uint8_t> data; // a copy of what lpData pointed at
};

// An HTTP or HTTPS URL as the records 107, 111 and 113 give it, with the
// headers of the kind 112 record sent just before it, by RequestHeader.
struct FoundUrl {
    int32_t port = 0;
    bool secure = false;
    std::string host;
    std::string path;
    std::string contentType;
    bool whole = false; // came as kind 113
    std::map<uint16_t, std::string> headers;
};

class RecordingWindow {
public:
    RecordingWindow();
    RecordingWindow(const RecordingWindow &) = delete;
    RecordingWindow &operator=(const RecordingWindow &) = delete;

    HWND handle() { return &window_; }

    // Called for every message after it is recorded, on the delivering thread.
    void onMessage(std::function<void(const ReceivedMessage &)> callback);

    std::vector<ReceivedMessage> messages() const;
    std::vector<std::string> logs() const;
    std::vector<std::string> urlTexts() const;
    std::vector<quillnet::HttpUrlRecord> httpRecords() const;
    std::vector<FoundUrl> foundUrls() const;
    std::vector<quillnet::SendInfo> rtmpRecords() const;
    std::vector<quillnet::CaptureStatistics> statistics() const;
    int endedCount() const;
    void clear();

    // Waits until `done` holds for the messages so far, or the time-out passes.
    bool waitUntil(const std::function<bool(const std::vector<ReceivedMessage> &)> &done,
                   std::chrono::milliseconds timeout);

private:
    static intptr_t send(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
    static int post(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
    void record(ReceivedMessage message);
    std::vector<std::string> texts(uint32_t kind) const;

    MessageWindow window_; // first, so the handle converts back to this object
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<ReceivedMessage> messages_;
    std::function<void(const ReceivedMessage &)> callback_;
};

}
