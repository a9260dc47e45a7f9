// Sending what the library finds to its window.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "log_format.h"
#include "message_window.h"
#include "records.h"
#include "request_headers.h"

namespace quillnet {

// A record of variable length.
void SendRecord(HWND window, uint32_t kind, std::string_view bytes);
// Text records end at the text's first NUL, as any reader of them would.
void SendLogText(HWND window, const char *text);
void SendLogText(HWND window, const std::string &text);
void SendUrlText(HWND window, const std::string &text);
void SendHttpUrlRecord(HWND window, const HttpUrlRecord &record);
// The same record for a URL of decrypted HTTPS.
void SendHttpsUrlRecord(HWND window, const HttpUrlRecord &record);
void SendRtmpRecord(HWND window, const SendInfo &record);

// Where a request went and what came back, whole.
struct HttpUrl {
    int32_t port = 0;
    bool secure = false; // https
    std::string_view host;
    std::string_view path;
    std::string_view contentType;
};

// The headers (when there are any), then the URL: as kind 107 or 111 when
// their fields hold it, as kind 113 when they do not.
void SendHttpUrl(HWND window, const HttpUrl &url, const RequestHeaders &headers);

void SendCaptureStatistics(HWND window, const CaptureStatistics &statistics);
void PostCaptureEnded(HWND window);

// Whether log records are sent at all; a receiver that drops them says so
// through SetLogRecords, and then they cost nothing.
bool LogsWanted();
void SetLogsWanted(bool wanted);

// A log line with its conversions filled, in a buffer of the calling thread.
void SendLogLine(HWND window, const char *format, std::initializer_list<LogArgument> arguments);

template <typename... Args>
std::string FormatText(const char *format, const Args &...args)
{
    std::string text;
    AppendLogText(text, format, {LogArgument(args)...});
    return text;
}

template <typename... Args>
void SendLog(HWND window, const char *format, const Args &...args)
{
    if (LogsWanted())
        SendLogLine(window, format, {LogArgument(args)...});
}

}
