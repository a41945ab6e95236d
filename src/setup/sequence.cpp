// The setup sequence: start-up checks, the folder choice, the run with its
// progress dialog, placing the main program and handing over to it.
#include "setup.h"
#include "meter.h"
#include "unzip.h"

#include <direct.h>
#include <string.h>

static const char kMainProgram[] = "PARVEK32.EXE";
static const char kSetupMutex[] = "ParvekSetupRunning";

static void LoadTitles()
{
    LoadStringA(g_hInstance, IDS_TITLE, g_title, TITLE_SIZE);
    LoadStringA(g_hInstance, IDS_INSTALLING, g_installingLabel, TITLE_SIZE);
}

static int ProductIsRunning()
{
    return FindWindowA("Parvek2WClass", NULL) || FindWindowA("ParvekWClass", NULL);
}

// g_sourceDir becomes the folder of SETUP.EXE, with its trailing backslash.
static void LocateSetup()
{
    char path[PATH_SIZE];
    DWORD n = GetModuleFileNameA(g_hInstance, path, sizeof path);
    if (n == 0 || n >= sizeof path)
        path[0] = 0;
    if (FindFileInfo(path) == 0)
        g_setupWriteTime = g_findData.ftLastWriteTime;
    char *slash = strrchr(path, '\\');
    if (slash)
        slash[1] = 0;
    memcpy(g_sourceDir, path, strlen(path) + 1);
}

int ExtractSetupArchive(HWND notifyWindow)
{
    char archive[PATH_SIZE];
    ExtractOptions options;
    memset(&options, 0, sizeof options);
    FormatText(archive, sizeof archive, "%ssetup.pv", g_sourceDir);
    options.archivePath = archive;
    options.destDir = g_installDir;
    options.notifyWindow = notifyWindow;
    // An installer must not call a damaged payload installed.
    options.crcErrorsFatal = 1;
    return RunExtraction(&options) && options.status == EXTRACT_OK;
}

int PlaceMainProgram(const char *folder, const char *name)
{
    char finalPath[PATH_SIZE];
    char stagedPath[PATH_SIZE];
    FormatText(finalPath, sizeof finalPath, "%s%s", folder, name);
    memcpy(stagedPath, finalPath, sizeof stagedPath);
    size_t len = strlen(stagedPath);
    if (len > 0)
        stagedPath[len - 1] = '_';
    DeleteFileA(finalPath);
    if (!MoveFileA(stagedPath, finalPath)) {
        ShowResMessage(g_progressDlg, IDS_CANT_OPEN_WRITE, MB_ICONERROR, finalPath);
        DeleteFileA(stagedPath);
        return 0;
    }
    return 1;
}

static void SetMeter(UINT message, WPARAM value)
{
    SendDlgItemMessageA(g_progressDlg, IDC_METER, message, value, 0);
}

static void OpenProgressDialog()
{
    g_progressDlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL,
                                       ProgressDlgProc, 0);
    ShowWindow(g_progressDlg, SW_SHOW);
    UpdateWindow(g_progressDlg);
    SetMeter(MTR_SETPOS, 0);
    SetMeter(MTR_SETRANGE, g_totalKB / 10);
}

static void CloseProgressDialog()
{
    if (!g_progressDlg)
        return;
    ShowWindow(g_progressDlg, SW_HIDE);
    DestroyWindow(g_progressDlg);
    g_progressDlg = NULL;
}

// The path is quoted: an install folder usually holds a blank, and an
// unquoted path would let a program planted at its first word start instead.
static void HandOff()
{
    char command[300];
    FormatText(command, sizeof command, "\"%s%s\" /install%c", g_installDirSlash, kMainProgram,
               DISTRIBUTION_CODE);
    _chdir(g_installDir);
    if (WinExec(command, SW_SHOW) >= 32)
        return;
    FormatText(command, sizeof command, "%s /install%c", kMainProgram, DISTRIBUTION_CODE);
    if (WinExec(command, SW_SHOW) >= 32)
        return;
    FormatText(command, sizeof command, "Error running %s%s", g_installDirSlash, kMainProgram);
    MessageBoxA(NULL, command, NULL, MB_OK);
}

static void ShowNotInstalled(UINT flags)
{
    ShowResMessage(NULL, IDS_NOT_INSTALLED, flags | MB_ICONINFORMATION);
}

static void RunSequence()
{
    if (ProductIsRunning()) {
        ShowResMessage(NULL, IDS_PRODUCT_RUNNING, MB_ICONERROR);
        return;
    }
    if (!ReleaseFileManagerAddOn())
        return;
    LocateSetup();
    ChooseDefaultDir();
    RegisterMeterClass(g_hInstance);
    if (DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_INSTALL_DIR), NULL, InstallDirDlgProc,
                        0) != 1) {
        ShowNotInstalled(MB_TASKMODAL);
        return;
    }
    OpenProgressDialog();
    int ok = CheckSourceFiles(g_progressDlg, 1) && ExtractSetupArchive(g_progressDlg);
    SetMeter(MTR_SETPOS, g_totalKB / 10);
    if (ok && !PlaceMainProgram(g_installDirSlash, kMainProgram)) {
        ShowNotInstalled(0);
        return;
    }
    CloseProgressDialog();
    if (!ok) {
        ShowNotInstalled(MB_TASKMODAL);
        return;
    }
    HandOff();
}

int RunSetup(HINSTANCE instance)
{
    g_hInstance = instance;
    LoadTitles();
    HANDLE mutex = CreateMutexA(NULL, FALSE, kSetupMutex);
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        ShowResMessage(NULL, IDS_ALREADY_RUNNING, MB_ICONERROR);
    } else {
        RunSequence();
        // After a failed placement the process ends with the dialog still up.
        CloseProgressDialog();
    }
    if (mutex)
        CloseHandle(mutex);
    return 0;
}
