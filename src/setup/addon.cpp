// Releasing the product's File Manager add-on, and the wait for a file that
// another program may still hold.
#include "setup.h"

#include <string.h>

#define FM_RELOAD_EXTENSIONS (WM_USER + 0x207)

// The elapsed time is an unsigned difference, so a wait that spans the tick
// counter's wrap (every 2^32 ms) still runs its full time-out.
int WithinTimeout(DWORD start, DWORD now, DWORD timeout)
{
    return now - start < timeout;
}

int WaitForFileRelease(const char *path, DWORD timeout)
{
    DWORD start = GetTickCount();
    while (WithinTimeout(start, GetTickCount(), timeout)) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        HFILE file = _lopen(path, OF_READ | OF_SHARE_EXCLUSIVE);
        if (file != HFILE_ERROR) {
            _lclose(file);
            return 1;
        }
    }
    return 0;
}

// Returns 0 for every message, so the system is never asked to place the focus.
INT_PTR CALLBACK RestartDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        SetWindowTextA(dialog, g_title);
        CenterWindow(dialog);
    } else if (message == WM_COMMAND && (wParam == 1 || wParam == 2)) {
        EndDialog(dialog, (INT_PTR)wParam);
    }
    return 0;
}

int ReleaseFileManagerAddOn()
{
    char dll[PATH_SIZE];
    GetPrivateProfileStringA("AddOns", "Parvek", "", dll, sizeof dll, "winfile.ini");
    if (dll[0] == 0)
        return 1;
    HWND fileManager = FindWindowA("WFS_Frame", NULL);
    if (!fileManager)
        return 1;
    WritePrivateProfileStringA("AddOns", "Parvek", NULL, "winfile.ini");
    PostMessageA(fileManager, FM_RELOAD_EXTENSIONS, 0, 0);
    if (WaitForFileRelease(dll, 2000))
        return 1;
    if (DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_RESTART), NULL, RestartDlgProc, 0) == 1)
        ExitWindowsEx(EWX_LOGOFF, 0xFFFFFFFF);
    return 0;
}
