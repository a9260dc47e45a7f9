// Sending what the library finds to its window.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "message_window.h"
#include "records.h"

namespace quillnet {

void SendLogText(HWND window, std::string_view text);
void SendUrlText(HWND window, std::string_view text);
void SendHttpUrlRecord(HWND window, const HttpUrlRecord &record);
void SendRtmpRecord(HWND window, const SendInfo &record);
void PostCaptureEnded(HWND window);

// printf-style formatting for the log lines.
template <typename... Args>
std::string FormatText(const char *format, Args... args)
{
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length <= 0)
        return {};
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
