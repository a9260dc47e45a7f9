#include "notifications.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace quillnet {

namespace {

void sendRecord(HWND window, uint32_t kind, const void *data, uint32_t size)
{
    COPYDATASTRUCT copy{kind, size, const_cast<void *>(data)};
    SendMessage(window, WM_COPYDATA, kind, reinterpret_cast<intptr_t>(&copy));
}

void sendText(HWND window, uint32_t kind, const char *text)
{
    sendRecord(window, kind, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

bool fits(const HttpUrl &url)
{
    return url.host.size() < sizeof(HttpUrlRecord::host) && url.path.size() < sizeof(HttpUrlRecord::path) &&
           url.contentType.size() < sizeof(HttpUrlRecord::contentType);
}

void copyField(char *field, size_t width, std::string_view text)
{
    const size_t length = std::min(text.size(), width - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

void sendFixed(HWND window, const HttpUrl &url)
{
    HttpUrlRecord record{};
    record.port = url.port;
    copyField(record.host, sizeof record.host, url.host);
    copyField(record.path, sizeof record.path, url.path);
    copyField(record.contentType, sizeof record.contentType, url.contentType);
    if (url.secure)
        SendHttpsUrlRecord(window, record);
    else
        SendHttpUrlRecord(window, record);
}

void sendLong(HWND window, const HttpUrl &url)
{
    const LongHttpUrlRecord header{url.port, url.secure ? 1 : 0, static_cast<uint32_t>(url.host.size()),
                                   static_cast<uint32_t>(url.path.size()),
                                   static_cast<uint32_t>(url.contentType.size())};
    std::string record(reinterpret_cast<const char *>(&header), sizeof header);
    record.append(url.host).append(url.path).append(url.contentType);
    SendRecord(window, kKindLongHttpUrl, record);
}

}

void SendRecord(HWND window, uint32_t kind, std::string_view bytes)
{
    sendRecord(window, kind, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

namespace {
std::atomic<bool> logsWanted{true};
}

bool LogsWanted()
{
    return logsWanted.load(std::memory_order_relaxed);
}

void SetLogsWanted(bool wanted)
{
    logsWanted.store(wanted, std::memory_order_relaxed);
}

void SendLogLine(HWND window, const char *format, std::initializer_list<LogArgument> arguments)
{
    thread_local std::string line;
    line.clear();
    AppendLogText(line, format, arguments);
    sendText(window, kKindLogText, line.c_str());
}

void SendLogText(HWND window, const char *text)
{
    if (LogsWanted())
        sendText(window, kKindLogText, text);
}

void SendLogText(HWND window, const std::string &text)
{
    SendLogText(window, text.c_str());
}

void SendUrlText(HWND window, const std::string &text)
{
    sendText(window, kKindUrlText, text.c_str());
}

void SendHttpUrlRecord(HWND window, const HttpUrlRecord &record)
{
    sendRecord(window, kKindHttpUrl, &record, sizeof record);
}

void SendHttpsUrlRecord(HWND window, const HttpUrlRecord &record)
{
    sendRecord(window, kKindHttpsUrl, &record, sizeof record);
}

void SendRtmpRecord(HWND window, const SendInfo &record)
{
    sendRecord(window, kKindSendInfo, &record, sizeof record);
}

void SendCaptureStatistics(HWND window, const CaptureStatistics &statistics)
{
    sendRecord(window, kKindCaptureStatistics, &statistics, sizeof statistics);
}

void PostCaptureEnded(HWND window)
{
    PostMessage(window, kMessageCaptureEnded, 0, 0);
}


void SendHttpUrl(HWND window, const HttpUrl &url, const RequestHeaders &headers)
{
    if (!headers.empty())
        SendRecord(window, kKindRequestHeaders, headers.record());
    if (fits(url))
        sendFixed(window, url);
    else
        sendLong(window, url);
}

}
