#include "recording_window.h"

#include <cstring>
#include <optional>

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

namespace {

std::map<uint16_t, std::string> headersOf(const std::vector<uint8_t> &record)
{
    std::map<uint16_t, std::string> headers;
    for (size_t offset = 0; offset + sizeof(quillnet::RequestHeaderField) <= record.size();) {
        quillnet::RequestHeaderField field{};
        std::memcpy(&field, record.data() + offset, sizeof field);
        offset += sizeof field;
        if (offset + field.length > record.size())
            break;
        headers[field.name].assign(reinterpret_cast<const char *>(record.data() + offset), field.length);
        offset += field.length;
    }
    return headers;
}

std::optional<FoundUrl> urlOf(const ReceivedMessage &message)
{
    FoundUrl url;
    if (message.dwData == quillnet::kKindHttpUrl || message.dwData == quillnet::kKindHttpsUrl) {
        quillnet::HttpUrlRecord record{};
        if (message.data.size() != sizeof record)
            return std::nullopt;
        std::memcpy(&record, message.data.data(), sizeof record);
        return FoundUrl{record.port, message.dwData == quillnet::kKindHttpsUrl, record.host, record.path,
                        record.contentType, false, {}};
    }
    quillnet::LongHttpUrlRecord record{};
    if (message.dwData != quillnet::kKindLongHttpUrl || message.data.size() < sizeof record)
        return std::nullopt;
    std::memcpy(&record, message.data.data(), sizeof record);
    const std::string texts(message.data.begin() + sizeof record, message.data.end());
    if (texts.size() != size_t{record.hostLength} + record.pathLength + record.contentTypeLength)
        return std::nullopt;
    return FoundUrl{record.port,
                    record.secure == 1,
                    texts.substr(0, record.hostLength),
                    texts.substr(record.hostLength, record.pathLength),
                    texts.substr(record.hostLength + record.pathLength),
                    true,
                    {}};
}

}

std::vector<FoundUrl> RecordingWindow::foundUrls() const
{
    std::vector<FoundUrl> result;
    std::map<uint16_t, std::string> headers;
    for (const ReceivedMessage &message : messages()) {
        if (message.message != WM_COPYDATA || message.dwData == quillnet::kKindLogText)
            continue;
        if (message.dwData == quillnet::kKindRequestHeaders) {
            headers = headersOf(message.data);
            continue;
        }
        if (auto url = urlOf(message)) {
            url->headers = std::move(headers);
            result.push_back(std::move(*url));
        }
        headers.clear();
    }
    return result;
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
