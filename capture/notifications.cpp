#include "notifications.h"

namespace quillnet {

namespace {

void sendRecord(HWND window, uint32_t kind, const void *data, uint32_t size)
{
    COPYDATASTRUCT copy{kind, size, const_cast<void *>(data)};
    SendMessage(window, WM_COPYDATA, kind, reinterpret_cast<intptr_t>(&copy));
}

// Texts go out with their terminating NUL; a text with a NUL inside ends there,
// as it would for any reader of the record.
void sendText(HWND window, uint32_t kind, std::string_view text)
{
    const std::string terminated(text);
    sendRecord(window, kind, terminated.c_str(), static_cast<uint32_t>(terminated.size() + 1));
}

}

void SendLogText(HWND window, std::string_view text)
{
    sendText(window, kKindLogText, text);
}

void SendUrlText(HWND window, std::string_view text)
{
    sendText(window, kKindUrlText, text);
}

void SendHttpUrlRecord(HWND window, const HttpUrlRecord &record)
{
    sendRecord(window, kKindHttpUrl, &record, sizeof record);
}

void SendRtmpRecord(HWND window, const SendInfo &record)
{
    sendRecord(window, kKindSendInfo, &record, sizeof record);
}

void PostCaptureEnded(HWND window)
{
    PostMessage(window, kMessageCaptureEnded, 0, 0);
}

}
