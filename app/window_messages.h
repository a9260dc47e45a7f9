// The main window's private messages besides the receiver's own (url_store.h).
#pragma once

#include <cstdint>

#include "message_window.h"

namespace tarvolin {

inline constexpr uint32_t WM_CAPTURE_START = WM_APP + 2;
inline constexpr uint32_t WM_CAPTURE_STOP = WM_APP + 3;
inline constexpr uint32_t WM_NEW_VERSION = WM_APP + 6;
// Posted by a capture thread when its capture has ended; wParam: the capture's number.
inline constexpr uint32_t WM_CAPTURE_ENDED = WM_APP + 12;
// Posted by a capture thread whose key log file cannot be read, before its
// capture starts; wParam: the capture's number, lParam: SetKeyLogFile's answer.
inline constexpr uint32_t WM_KEYLOG_UNREADABLE = WM_APP + 13;

}
