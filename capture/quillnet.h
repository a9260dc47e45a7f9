/* The capture library's exports, looked up by name after loading libquillnet.so. */
#ifndef QUILLNET_H
#define QUILLNET_H

#include <stdint.h>

#include "message_window.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(QUILLNET_BUILDING)
#define QUILLNET_EXPORT __attribute__((visibility("default")))
#else
#define QUILLNET_EXPORT
#endif

/* Captures on `adapterName` until StopCapture, a read error or the end of a
   capture file; reports go to `window`. 0 when the capture ended (or the token
   was wrong), -1 when the adapter could not be opened or filtered. */
QUILLNET_EXPORT int32_t StartCapture(int32_t callerToken, HWND window, const char *adapterName, int32_t netmask);

/* Asks the running capture to end; does not wait. Always 0. */
QUILLNET_EXPORT int32_t StopCapture(HWND window);

/* "name|description|netmask<|>" for each local device, or null when the
   devices cannot be listed. Valid until the next call. */
QUILLNET_EXPORT const char *GetAdapterList(HWND window);

/* Names the key log file (NSS key log format, as browsers write it when
   SSLKEYLOGFILE is set) that decrypts HTTPS in the captures started after this
   call; null or "" for none. 0 when there is none or it can be read; otherwise
   the captures decrypt nothing and the answer says why: an errno value of
   opening it (EISDIR for a directory), or QUILLNET_KEYLOG_NOT_REGULAR for a
   FIFO, device or socket, which could block a capture or never end. Never
   blocks. */
QUILLNET_EXPORT int32_t SetKeyLogFile(const char *path);

#define QUILLNET_KEYLOG_NOT_REGULAR (-1)

/* Whether the log lines (kind 300) are sent to the window: 1, as from the
   start, or 0 for a receiver that drops them, which spares the library the
   work of making them. Applies from the next line on. Always 0. */
QUILLNET_EXPORT int32_t SetLogRecords(int32_t wanted);

typedef int32_t (*StartCaptureFunction)(int32_t, HWND, const char *, int32_t);
typedef int32_t (*StopCaptureFunction)(HWND);
typedef const char *(*GetAdapterListFunction)(HWND);
typedef int32_t (*SetKeyLogFileFunction)(const char *);
typedef int32_t (*SetLogRecordsFunction)(int32_t);

#ifdef __cplusplus
}
#endif

#endif
