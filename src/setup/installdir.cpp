// Dialog 100: the user confirms the install folder; OK checks the entry and
// the distribution, totals the size, creates the folder and waits for the
// shell extension there to be let go.
#include "setup.h"

#include <direct.h>
#include <string.h>

static const char kUnloadKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AlwaysUnloadDLL";

void AppendBackslash(char *path)
{
    size_t len = strlen(path);
    if (len > 0 && path[len - 1] != '\\' && path[len - 1] != '/' && len + 1 < PATH_SIZE) {
        path[len] = '\\';
        path[len + 1] = 0;
    }
}

static int HasValidForm(const char *text)
{
    if (strlen(text) < 2)
        return 0;
    return (text[0] == '\\' && text[1] == '\\') || (text[0] == '/' && text[1] == '/') ||
           text[1] == ':';
}

// D: becomes D:\; otherwise one trailing backslash goes (D:\ becomes D:).
static void Normalise(char *text)
{
    size_t len = strlen(text);
    if (len == 2 && text[1] == ':') {
        text[2] = '\\';
        text[3] = 0;
    } else if (len > 0 && text[len - 1] == '\\') {
        text[len - 1] = 0;
    }
}

static int TotalSize(HWND dialog)
{
    g_totalKB = 0;
    if (!CheckSourceFiles(dialog, 0))
        return 0;
    char archive[PATH_SIZE];
    FormatText(archive, sizeof archive, "%ssetup.pv", g_sourceDir);
    if (FindFileInfo(archive) != 0) {
        MessageBoxA(NULL, "setup.pv is missing", NULL, MB_OK);
        return 0;
    }
    g_totalKB += g_findData.nFileSizeLow;
    g_totalKB /= 1024;
    return 1;
}

static int EnterFolder(HWND dialog)
{
    if (_chdir(g_installDir) == 0)
        return 1;
    if (_mkdir(g_installDir) == 0 && _chdir(g_installDir) == 0)
        return 1;
    ShowResMessage(dialog, IDS_CANT_CREATE_DIR, MB_ICONINFORMATION, g_installDir);
    return 0;
}

static void WaitForShellExtension(HWND dialog)
{
    char path[PATH_SIZE + 16];
    FormatText(path, sizeof path, "%s%s", g_installDirSlash, "pvshlext.dll");
    if (FindFileInfo(path) != 0 || WaitForFileRelease(path, 500))
        return;
    RegSetValueA(HKEY_LOCAL_MACHINE, kUnloadKey, REG_SZ, "1", 1);
    char text[255];
    LoadStringA(g_hInstance, IDS_UNLOADING_SHELLEXT, text, sizeof text);
    SetDlgItemTextA(dialog, IDC_PROMPT1, text);
    SetDlgItemTextA(dialog, IDC_PROMPT2, "");
    g_waitCursor = 1;
    for (int i = 0; i < 15; i++) {
        if (WaitForFileRelease(path, 1000))
            break;
        char dots[64];
        GetDlgItemTextA(dialog, IDC_PROMPT2, dots, sizeof dots - 2);
        strcat(dots, ".");
        SetDlgItemTextA(dialog, IDC_PROMPT2, dots);
    }
    g_waitCursor = 0;
}

static void OnOk(HWND dialog)
{
    char text[PATH_SIZE + 4];
    GetDlgItemTextA(dialog, IDC_DIR_EDIT, text, PATH_SIZE);
    if (!HasValidForm(text)) {
        ShowResMessage(dialog, IDS_BAD_DEST, MB_ICONERROR);
        return;
    }
    Normalise(text);
    FormatText(g_installDir, sizeof g_installDir, "%s", text);
    FormatText(g_installDirSlash, sizeof g_installDirSlash, "%s", text);
    AppendBackslash(g_installDirSlash);
    if (lstrcmpiA(g_installDirSlash, g_sourceDir) == 0) {
        ShowResMessage(dialog, IDS_SAME_DIR, MB_ICONERROR);
        return;
    }
    if (!TotalSize(dialog) || !EnterFolder(dialog))
        return;
    // The edit first: as it loses the focus it notifies, which enables OK.
    EnableWindow(GetDlgItem(dialog, IDC_DIR_EDIT), FALSE);
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
    WaitForShellExtension(dialog);
    EndDialog(dialog, 1);
}

static void OnInit(HWND dialog)
{
    g_hourglassCursor = LoadCursorA(NULL, IDC_WAIT);
    SetWindowTextA(dialog, g_title);
    CenterWindow(dialog);
    SetDlgItemTextA(dialog, IDC_DIR_EDIT, g_defaultDir);
    SendDlgItemMessageA(dialog, IDC_DIR_EDIT, EM_LIMITTEXT, PATH_SIZE - 1, 0);
}

INT_PTR CALLBACK InstallDirDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInit(dialog);
        return TRUE;
    case WM_SETCURSOR:
        // Handled, but with the message's own result left at 0: a control
        // under the cursor still sets its own (the edit's I-beam). During the
        // wait the controls are disabled and the prompts let the mouse through,
        // so the dialog itself gets the message and the hourglass stays.
        if (g_waitCursor)
            SetCursor(g_hourglassCursor);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        case IDC_DIR_EDIT:
            EnableWindow(GetDlgItem(dialog, IDOK),
                         SendDlgItemMessageA(dialog, IDC_DIR_EDIT, EM_LINELENGTH, 0, 0) != 0);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
