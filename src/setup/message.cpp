// The setup driver's message box and the placement of its dialogs.
#include "setup.h"

#include <stdarg.h>
#include <stdio.h>

int ShowResMessage(HWND owner, UINT id, UINT flags, ...)
{
    char format[512];
    char text[516];
    if (LoadStringA(g_hInstance, id, format, sizeof format) <= 0)
        snprintf(format, sizeof format, "Message %u", id);
    va_list args;
    va_start(args, flags);
    if (vsnprintf(text, sizeof text, format, args) < 0)
        text[0] = 0;
    va_end(args);
    return MessageBoxA(owner, text, g_title, flags);
}

// The full primary screen, not the work area; each half truncates toward zero.
void CenterWindow(HWND window)
{
    RECT r;
    GetWindowRect(window, &r);
    int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
    SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
