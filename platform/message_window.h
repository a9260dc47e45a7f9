/* Window messages between the capture library and whoever shows its results.
   A window handle is a pointer to a MessageWindow that its owner embeds; the
   owner decides how a send reaches the window's thread. */
#ifndef TARVOLIN_PLATFORM_MESSAGE_WINDOW_H
#define TARVOLIN_PLATFORM_MESSAGE_WINDOW_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct MessageWindow MessageWindow;
typedef MessageWindow *HWND;

struct MessageWindow {
    /* Delivers the message and returns only after it has been handled (SendMessage). */
    intptr_t (*send)(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
    /* Queues the message for later delivery; non-zero when queued (PostMessage). */
    int (*post)(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
};

typedef struct COPYDATASTRUCT {
    uintptr_t dwData;
    uint32_t cbData;
    void *lpData;
} COPYDATASTRUCT;

#define WM_COPYDATA 0x004A
#define WM_USER 0x0400
#define WM_APP 0x8000

static inline intptr_t SendMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (window == 0 || window->send == 0)
        return 0;
    return window->send(window, message, wParam, lParam);
}

static inline int PostMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (window == 0 || window->post == 0)
        return 0;
    return window->post(window, message, wParam, lParam);
}

#ifdef __cplusplus
}
#endif

#endif
