// Dialog 300: the status lines, the meter, and the Cancel button that asks
// before it raises the cancel flag.
#include "setup.h"
#include "meter.h"
#include "unzip.h"

static void ResetProgress(HWND dialog)
{
    EnableWindow(GetDlgItem(dialog, IDCANCEL), TRUE);
    SetDlgItemTextA(dialog, IDC_STATUS_ACTION, "");
    SetDlgItemTextA(dialog, IDC_STATUS_FILE, "");
    SendDlgItemMessageA(dialog, IDC_METER, MTR_SETPOS, 0, 0);
    SendDlgItemMessageA(dialog, IDC_METER, MTR_SETRANGE, 0, 0);
}

static void ConfirmCancel(HWND dialog)
{
    if (ShowResMessage(dialog, IDS_CONFIRM_CANCEL, MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
    g_cancelRequested = 1;
}

// The reply travels in the dialog's message result: the engine reads a
// nonzero one as the user's cancel.
static INT_PTR ShowProgress(HWND dialog, WPARAM units)
{
    HWND meter = GetDlgItem(g_progressDlg, IDC_METER);
    SendMessageA(meter, MTR_SETPOS, units + g_bytesCopied / 10240, 0);
    UpdateWindow(meter);
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, g_cancelRequested);
    return TRUE;
}

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowTextA(dialog, g_title);
        CenterWindow(dialog);
        return TRUE;
    case WM_SHOWWINDOW:
        if (wParam)
            ResetProgress(dialog);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ConfirmCancel(dialog);
            return TRUE;
        }
        return FALSE;
    case SETUP_MSG_FILENAME:
        SetDlgItemTextA(g_progressDlg, IDC_STATUS_FILE, (const char *)lParam);
        return TRUE;
    case SETUP_MSG_PROGRESS:
        return ShowProgress(dialog, wParam);
    }
    return FALSE;
}
