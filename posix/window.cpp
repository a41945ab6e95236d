// Windows for the host build: a window is its procedure, and messages are
// delivered in-process. Sent messages call the procedure at once; posted ones
// wait in one queue for PeekMessage.
#include <windows.h>

#include <stdlib.h>
#include <string.h>

struct PosixWindow {
    WNDPROC proc;
};

enum { kMaxClasses = 8, kQueueSize = 64 };

static struct { char name[64]; WNDPROC proc; } s_classes[kMaxClasses];
static int s_classCount;
static MSG s_queue[kQueueSize];
static int s_head, s_count;

BOOL RegisterClassA(const WNDCLASSA *wc)
{
    if (s_classCount == kMaxClasses || !wc->lpszClassName || strlen(wc->lpszClassName) >= 64)
        return FALSE;
    strcpy(s_classes[s_classCount].name, wc->lpszClassName);
    s_classes[s_classCount].proc = wc->lpfnWndProc;
    s_classCount++;
    return TRUE;
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR, DWORD, int, int, int, int, HWND, void *,
                     HINSTANCE, LPVOID)
{
    for (int i = 0; i < s_classCount; i++) {
        if (strcmp(s_classes[i].name, className) != 0)
            continue;
        HWND w = (HWND)calloc(1, sizeof(PosixWindow));
        if (w)
            w->proc = s_classes[i].proc;
        return w;
    }
    return nullptr;
}

BOOL DestroyWindow(HWND window)
{
    if (!window)
        return FALSE;
    window->proc(window, WM_DESTROY, 0, 0);
    free(window);
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return window ? window->proc(window, message, wParam, lParam) : 0;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (s_count == kQueueSize)
        return FALSE;
    MSG &m = s_queue[(s_head + s_count++) % kQueueSize];
    m = MSG{window, message, wParam, lParam, 0, {0, 0}};
    return TRUE;
}

BOOL PeekMessageA(MSG *msg, HWND, UINT, UINT, UINT remove)
{
    if (s_count == 0)
        return FALSE;
    *msg = s_queue[s_head];
    if (remove & PM_REMOVE) {
        s_head = (s_head + 1) % kQueueSize;
        s_count--;
    }
    return TRUE;
}

BOOL TranslateMessage(const MSG *)
{
    return FALSE;
}

LRESULT DispatchMessageA(const MSG *msg)
{
    return SendMessageA(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}
