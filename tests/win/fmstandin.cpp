// Plays a File Manager in the demo whose Parvek add-on stays loaded: it
// lists the add-on in winfile.ini, holds the add-on's file open, and keeps
// a window of File Manager's class that ignores the request to reload its
// extensions. It ends when its window is closed or after two minutes.
//   fmstandin ADDON_PATH
#include <windows.h>

static LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER || message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR addOnPath, int)
{
    HANDLE addOn = CreateFileA(addOnPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.lpszClassName = "WFS_Frame";
    RegisterClassA(&wc);
    HWND frame = CreateWindowA("WFS_Frame", "File Manager", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                               NULL, NULL, instance, NULL);
    SetTimer(frame, 1, 120000, NULL);
    // Listed only once the window is there, so that a setup that reads the
    // entry also finds the window.
    WritePrivateProfileStringA("AddOns", "Parvek", addOnPath, "winfile.ini");
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    CloseHandle(addOn);
    return 0;
}
