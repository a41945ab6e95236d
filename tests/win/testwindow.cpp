#include "testwindow.h"

HWND CreateTestWindow(const char *className, WNDPROC proc, const char *title)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    return CreateWindowA(className, title, WS_OVERLAPPED, 0, 0, 100, 100, NULL, NULL, NULL, NULL);
}
