// The "Meter" control: a bar showing a whole-number percentage.
#ifndef PARVEK_METER_H
#define PARVEK_METER_H

#include <windows.h>

#define MTR_SETRANGE (WM_USER + 0)
#define MTR_GETRANGE (WM_USER + 1)
#define MTR_SETPOS   (WM_USER + 2)
#define MTR_GETPOS   (WM_USER + 3)

void RegisterMeterClass(HINSTANCE instance);
LRESULT CALLBACK MeterWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
