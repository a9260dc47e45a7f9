#include "recording_window.h"

#include <cstring>

namespace testing_support {

RecordingWindow::RecordingWindow() : window_{&RecordingWindow::send, &RecordingWindow::post} {}

intptr_t RecordingWindow::send(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    ReceivedMessage received;
    received.message = message;
    received.wParam = wParam;
    received.lParam = lParam;
    if (message == WM_COPYDATA) {
        const auto *copy = reinterpret_cast<const COPYDATASTRUCT *>(lParam);
        received.dwData = copy->dwData;
        received.cbData = copy->cbData;
        const auto *bytes = static_cast<const uint8_t *>(copy->lpData);
        received.data.assign(bytes, bytes + copy->cbData);
    }
    reinterpret_cast<RecordingWindow *>(window)->record(std::move(received));
    return 1;
}

int RecordingWindow::post(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    ReceivedMessage received;
    received.message = message;
    received.wParam = wParam;
    received.lParam = lParam;
    received.posted = true;
    reinterpret_cast<RecordingWindow *>(window)->record(std::move(received));
    return 1;
}

void RecordingWindow::record(ReceivedMessage message)
{
    std::function<void(const ReceivedMessage &)> callback;
    {
        const std::lock_guard guard(lock_);
        messages_.push_back(message);
        callback = callback_;
    }
    changed_.notify_all();
    if (callback)
        callback(message);
}

void RecordingWindow::onMessage(std::function<void(const ReceivedMessage &)> callback)
{
    const std::lock_guard guard(lock_);
    callback_ = std::move(callback);
}

std::vector<ReceivedMessage> RecordingWindow::messages() const
{
    const std::lock_guard guard(lock_);
    return messages_;
}

std::vector<std::string> RecordingWindow::texts(uint32_t kind) const
{
    std::vector<std::string> result;
    for (const ReceivedMessage &message : messages()) {
        if (message.message == WM_COPYDATA && message.dwData == kind)
            result.emplace_back(reinterpret_cast<const char *>(message.data.data()));
    }
    return result;
}

std::vector<std::string> RecordingWindow::logs() const
{
    return texts(quillnet::kKindLogText);
}

std::vector<std::string> RecordingWindow::urlTexts() const
{
    return texts(quillnet::kKindUrlText);
}

template <typename Record>
static std::vector<Record> recordsOf(const std::vector<ReceivedMessage> &messages, uint32_t kind)
{
    std::vector<Record> result;
    for (const ReceivedMessage &message : messages) {
        if (message.message != WM_COPYDATA || message.dwData != kind || message.data.size() != sizeof(Record))
            continue;
        Record record;
        std::memcpy(&record, message.data.data(), sizeof record);
        result.push_back(record);
    }
    return result;
}

std::vector<quillnet::HttpUrlRecord> RecordingWindow::httpRecords() const
{
    return recordsOf<quillnet::HttpUrlRecord>(messages(), quillnet::kKindHttpUrl);
}

std::vector<quillnet::SendInfo> RecordingWindow::rtmpRecords() const
{
    return recordsOf<quillnet::SendInfo>(messages(), quillnet::kKindSendInfo);
}

std::vector<quillnet::CaptureStatistics> RecordingWindow::statistics() const
{
    return recordsOf<quillnet::CaptureStatistics>(messages(), quillnet::kKindCaptureStatistics);
}

int RecordingWindow::endedCount() const
{
    int count = 0;
    for (const ReceivedMessage &message : messages())
        count += message.message == quillnet::kMessageCaptureEnded ? 1 : 0;
    return count;
}

void RecordingWindow::clear()
{
    const std::lock_guard guard(lock_);
    messages_.clear();
}

bool RecordingWindow::waitUntil(const std::function<bool(const std::vector<ReceivedMessage> &)> &done,
                                std::chrono::milliseconds timeout)
{
    std::unique_lock guard(lock_);
    return changed_.wait_for(guard, timeout, [&] { return done(messages_); });
}

}
