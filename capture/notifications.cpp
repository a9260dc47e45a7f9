#include "notifications.h"

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

}

void SendLogText(HWND window, const char *text)
{
    sendText(window, kKindLogText, text);
}

void SendLogText(HWND window, const std::string &text)
{
    sendText(window, kKindLogText, text.c_str());
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

}
