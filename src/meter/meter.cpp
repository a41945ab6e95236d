// The meter keeps its range and position in its window's extra bytes and
// paints the done part in the selection colours, the rest in them swapped.
#include "meter.h"

#include <stdio.h>
#include <string.h>

#define METER_RANGE 0
#define METER_POS 4

void RegisterMeterClass(HINSTANCE instance)
{
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MeterWndProc;
    wc.cbWndExtra = 8;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = "Meter";
    RegisterClassA(&wc);
}

static void RepaintNow(HWND window)
{
    InvalidateRect(window, NULL, FALSE);
    UpdateWindow(window);
}

static void PaintMeter(HWND window)
{
    unsigned range = (unsigned)SendMessageA(window, MTR_GETRANGE, 0, 0);
    unsigned pos = (unsigned)SendMessageA(window, MTR_GETPOS, 0, 0);
    if (range == 0) {
        range = 1;
        pos = 0;
    }
    char text[16];
    snprintf(text, sizeof text, "%d%%", (int)(pos * 100 / range));
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
    RECT client;
    GetClientRect(window, &client);
    int width = client.right, height = client.bottom;
    RECT done = {0, 0, (LONG)((unsigned)width * pos / range), height};
    SIZE letter;
    GetTextExtentPoint32A(dc, "X", 1, &letter);
    int x = width / 2, y = (height - letter.cy) / 2;
    int len = (int)strlen(text);
    ExtTextOutA(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &done, text, (UINT)len, NULL);
    RECT rest = {done.right, 0, width, height};
    COLORREF back = SetBkColor(dc, GetTextColor(dc));
    SetTextColor(dc, back);
    ExtTextOutA(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &rest, text, (UINT)len, NULL);
    EndPaint(window, &ps);
}

LRESULT CALLBACK MeterWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        SendMessageA(window, MTR_SETRANGE, 100, 0);
        SendMessageA(window, MTR_SETPOS, 50, 0);
        return 0;
    case MTR_SETRANGE:
    case MTR_SETPOS:
        SetWindowLongA(window, message == MTR_SETRANGE ? METER_RANGE : METER_POS, (LONG)wParam);
        RepaintNow(window);
        return 0;
    case MTR_GETRANGE:
        return (WORD)GetWindowWord(window, METER_RANGE);
    case MTR_GETPOS:
        return (WORD)GetWindowWord(window, METER_POS);
    case WM_PAINT:
        PaintMeter(window);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_STATIC;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
