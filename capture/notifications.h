// Sending what the library finds to its window.
#pragma once

#include <cstdio>
#include <string>

#include "message_window.h"
#include "records.h"

namespace quillnet {

// Text records end at the text's first NUL, as any reader of them would.
void SendLogText(HWND window, const char *text);
void SendLogText(HWND window, const std::string &text);
void SendUrlText(HWND window, const std::string &text);
void SendHttpUrlRecord(HWND window, const HttpUrlRecord &record);
// The same record for a URL of decrypted HTTPS.
void SendHttpsUrlRecord(HWND window, const HttpUrlRecord &record);
void SendRtmpRecord(HWND window, const SendInfo &record);
void SendCaptureStatistics(HWND window, const CaptureStatistics &statistics);
void PostCaptureEnded(HWND window);

// printf-style formatting for the log lines.
template <typename... Args>
std::string FormatText(const char *format, Args... args)
{
    char line[256];
    const int length = std::snprintf(line, sizeof line, format, args...);
    if (length <= 0)
        return {};
    if (static_cast<size_t>(length) < sizeof line)
        return std::string(line, static_cast<size_t>(length));
    std::string text(static_cast<size_t>(length), '\0');
    std::snprintf(text.data(), text.size() + 1, format, args...);
    return text;
}

template <typename... Args>
void SendLog(HWND window, const char *format, Args... args)
{
    SendLogText(window, FormatText(format, args...));
}

}
