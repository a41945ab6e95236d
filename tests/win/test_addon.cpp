// The File Manager add-on release, in-process: winfile.ini in this test's
// own Wine prefix, a stand-in File Manager window of class "WFS_Frame" that
// holds the add-on file and lets go of it (or not) when asked to reload its
// extensions, dialog 200 and its log-off, and the wait for a file.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "boxwatch.h"
#include "setup.h"
#include "testenv.h"
#include "testwindow.h"

namespace {

struct LogOff {
    int calls = 0;
    UINT flags = 0;
    DWORD reserved = 0;
};
LogOff s_logOff;

BOOL WINAPI RecordLogOff(UINT flags, DWORD reserved)
{
    s_logOff.calls++;
    s_logOff.flags = flags;
    s_logOff.reserved = reserved;
    return TRUE;
}

}  // namespace

// Link-time seam for the one call that must never act in a test: the import
// slot through which the setup code calls ExitWindowsEx is defined here, so
// the linker takes it instead of user32's (were both taken, the link would
// fail on the duplicate), and the log-off is recorded, never made.
#if defined(__x86_64__)
#define EXIT_WINDOWS_SLOT "__imp_ExitWindowsEx"
#else
#define EXIT_WINDOWS_SLOT "__imp__ExitWindowsEx@8"
#endif
extern BOOL(WINAPI *const ExitWindowsSlot)(UINT, DWORD) __asm__(EXIT_WINDOWS_SLOT);
BOOL(WINAPI *const ExitWindowsSlot)(UINT, DWORD) = RecordLogOff;

namespace {

const UINT kReloadExtensions = WM_USER + 0x207;
const char kRestartText[] =
    "The Parvek \"File Manager Extension\" is still running.  It must be terminated before SETUP "
    "can continue.  To ensure the File Manager Extension is terminated SETUP will re-start "
    "Windows. You can then re-run SETUP.";
const std::string kDialog200 =
    std::string("dialog 200 owner=none icon=none caption=Parvek Setup text=") + kRestartText + "\n";
const int kNever = -1;

std::string AddOnKey()
{
    char value[MAX_PATH];
    GetPrivateProfileStringA("AddOns", "Parvek", "(none)", value, sizeof value, "winfile.ini");
    return value;
}

void SetAddOnKey(const char *value)
{
    WritePrivateProfileStringA("AddOns", "Parvek", value, "winfile.ini");
}

// The stand-in File Manager: on the reload request it lets go of the add-on
// after `letGo` ms, or never.
struct FileManager {
    HWND window = NULL;
    HeldFile *addOn = nullptr;
    int letGo = kNever;
    int reloads = 0;
};
FileManager s_fm;

LRESULT CALLBACK FileManagerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kReloadExtensions)
        return DefWindowProcA(window, message, wParam, lParam);
    s_fm.reloads++;
    if (s_fm.addOn && s_fm.letGo != kNever)
        s_fm.addOn->ReleaseAfter(s_fm.letGo);
    return 0;
}

void OpenFileManager(HeldFile *addOn, int letGo)
{
    s_fm = FileManager();
    s_fm.addOn = addOn;
    s_fm.letGo = letGo;
    s_fm.window = CreateTestWindow("WFS_Frame", FileManagerProc, "File Manager");
}

void CloseFileManager()
{
    if (s_fm.window)
        DestroyWindow(s_fm.window);
    s_fm = FileManager();
}

// When a dialog of this thread got WM_INITDIALOG.
DWORD s_dialogAt;
HHOOK s_initHook;

LRESULT CALLBACK RecordDialog(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && ((const CWPSTRUCT *)lParam)->message == WM_INITDIALOG && !s_dialogAt)
        s_dialogAt = GetTickCount();
    return CallNextHookEx(s_initHook, code, wParam, lParam);
}

struct AddOnTest : ::testing::Test {
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(NULL);
        LoadStringA(g_hInstance, IDS_TITLE, g_title, TITLE_SIZE);
        saved = AddOnKey();
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        dll = std::string(temp) + "pvfmext-" + std::to_string(GetCurrentProcessId()) + ".dll";
        s_logOff = LogOff();
        s_dialogAt = 0;
        s_initHook = SetWindowsHookExA(WH_CALLWNDPROC, RecordDialog, NULL, GetCurrentThreadId());
    }
    void TearDown() override
    {
        UnhookWindowsHookEx(s_initHook);
        CloseFileManager();
        SetAddOnKey(saved == "(none)" ? NULL : saved.c_str());
        DeleteFileA(dll.c_str());
    }
    std::string saved;
    std::string dll;
};

struct AddOnCase {
    const char *name;
    bool key, fileManager, dllExists;
    int letGo;           // ms after the reload request, or kNever
    const char *answer;  // to dialog 200
    int result;
    bool keyStays;
    int reloads;
    bool dialog;
    int logOffs;
    DWORD minMs, maxMs;  // until the function returned, or until dialog 200 opened
};

TEST_F(AddOnTest, ReleaseOfTheAddOn)
{
    const AddOnCase cases[] = {
        {"no key", false, true, true, 0, "", 1, false, 0, false, 0, 0, 500},
        {"no File Manager", true, false, true, 0, "", 1, true, 0, false, 0, 0, 500},
        {"let go in 300 ms", true, true, true, 300, "", 1, false, 1, false, 0, 250, 1900},
        {"stays loaded, Exit Setup", true, true, true, kNever, "cancel", 0, false, 1, true, 0,
         2000, 8000},
        {"add-on file missing", true, true, false, 0, "cancel", 0, false, 1, true, 0, 2000, 8000},
        {"stays loaded, Restart Windows", true, true, true, kNever, "ok", 0, false, 1, true, 1,
         2000, 8000},
    };
    for (const AddOnCase &c : cases) {
        SetAddOnKey(c.key ? dll.c_str() : NULL);
        HeldFile addOn(c.dllExists ? dll : "");
        if (!c.dllExists)
            DeleteFileA(dll.c_str());
        if (c.fileManager)
            OpenFileManager(&addOn, c.letGo);
        s_logOff = LogOff();
        s_dialogAt = 0;
        WatchStart(c.dialog ? std::vector<std::string>{c.answer} : std::vector<std::string>{});
        DWORD start = GetTickCount();
        int result = ReleaseFileManagerAddOn();
        DWORD elapsed = (c.dialog ? s_dialogAt : GetTickCount()) - start;
        std::string seen = Transcript(WatchStop());
        EXPECT_EQ(c.result, result) << c.name;
        EXPECT_EQ(c.keyStays ? dll : "(none)", AddOnKey()) << c.name;
        EXPECT_EQ(c.reloads, s_fm.reloads) << c.name;
        EXPECT_EQ(c.dialog ? kDialog200 : std::string(), seen) << c.name;
        EXPECT_EQ(c.logOffs, s_logOff.calls) << c.name;
        EXPECT_GE(elapsed, c.minMs) << c.name;
        EXPECT_LE(elapsed, c.maxMs) << c.name;
        CloseFileManager();
    }
    EXPECT_EQ((UINT)EWX_LOGOFF, s_logOff.flags);
    EXPECT_EQ(0xFFFFFFFFu, s_logOff.reserved);
}

// Whole setup runs in-process: either button of dialog 200 ends setup with
// nothing more shown, and the entry stays deleted.
TEST_F(AddOnTest, EitherButtonOfDialog200EndsSetup)
{
    for (const char *answer : {"ok", "cancel"}) {
        SetAddOnKey(dll.c_str());
        HeldFile addOn(dll);
        OpenFileManager(&addOn, kNever);
        s_logOff = LogOff();
        WatchStart({answer});
        RunSetup(GetModuleHandleA(NULL));
        EXPECT_EQ(kDialog200, Transcript(WatchStop())) << answer;
        EXPECT_EQ("(none)", AddOnKey()) << answer;
        EXPECT_EQ(answer == std::string("ok") ? 1 : 0, s_logOff.calls) << answer;
        CloseFileManager();
    }
}

std::function<void(HWND)> s_act;

BOOL CALLBACK FindDialog(HWND window, LPARAM found)
{
    char cls[16] = "";
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") == 0 && IsWindowVisible(window))
        *(HWND *)found = window;
    return TRUE;
}

void CALLBACK Act(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(NULL, id);
    HWND dialog = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, (LPARAM)&dialog);
    if (dialog)
        s_act(dialog);
}

TEST_F(AddOnTest, Dialog200ShowsTheTitleAndTextAndEndsWithItsButton)
{
    FormatText(g_title, sizeof g_title, "Title from the test");
    struct {
        const char *name;
        UINT message;
        WPARAM wParam;
        INT_PTR result;
    } cases[] = {
        {"Restart Windows", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 1},
        {"Exit Setup", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 2},
        {"close box", WM_SYSCOMMAND, SC_CLOSE, 2},
    };
    for (const auto &c : cases) {
        std::string title, text;
        RECT r = {};
        s_act = [&](HWND dialog) {
            char buf[512] = "";
            GetWindowTextA(dialog, buf, sizeof buf);
            title = buf;
            GetDlgItemTextA(dialog, 0xFFFF, buf, sizeof buf);
            text = buf;
            GetWindowRect(dialog, &r);
            PostMessageA(dialog, c.message, c.wParam, 0);
        };
        SetTimer(NULL, 0, 100, Act);
        INT_PTR result = DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_RESTART), NULL,
                                         RestartDlgProc, 0);
        EXPECT_EQ(c.result, result) << c.name;
        EXPECT_EQ("Title from the test", title) << c.name;
        EXPECT_EQ(kRestartText, text) << c.name;
        EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2, r.left) << c.name;
    }
}

// A window that counts the messages dispatched to it.
int s_dispatched;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        s_dispatched++;
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(AddOnTest, WaitForFileRelease)
{
    HWND counter = CreateTestWindow("PvCounting", CountingProc);
    const int kFree = -2, kMissing = -3;
    struct {
        const char *name;
        int file;  // kFree, kMissing, or held and let go after that many ms (kNever)
        DWORD timeout;
        int result;
        int dispatched;
        DWORD minMs, maxMs;
    } cases[] = {
        {"time-out 0", kFree, 0, 0, 0, 0, 100},
        {"nobody holds it", kFree, 2000, 1, 1, 0, 500},
        {"missing", kMissing, 300, 0, 1, 300, 2000},
        {"let go in 200 ms", 200, 2000, 1, 1, 150, 1500},
        {"held throughout", kNever, 300, 0, 1, 300, 2000},
    };
    for (const auto &c : cases) {
        if (c.file != kMissing)
            CloseHandle(CreateFileA(dll.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
        else
            DeleteFileA(dll.c_str());
        HeldFile held(c.file >= kNever ? dll : "");
        if (c.file > 0)
            held.ReleaseAfter(c.file);
        s_dispatched = 0;
        PostMessageA(counter, WM_APP, 0, 0);
        DWORD start = GetTickCount();
        int result = WaitForFileRelease(dll.c_str(), c.timeout);
        DWORD elapsed = GetTickCount() - start;
        EXPECT_EQ(c.result, result) << c.name;
        EXPECT_EQ(c.dispatched, s_dispatched) << c.name;
        EXPECT_GE(elapsed, c.minMs) << c.name;
        EXPECT_LE(elapsed, c.maxMs) << c.name;
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    DestroyWindow(counter);
}

// The wait's clock across the tick counter's wrap, without waiting 49 days.
TEST(WaitClock, ElapsedTimeSurvivesTheWrap)
{
    struct {
        DWORD start, now, timeout;
        int within;
    } cases[] = {
        {0xFFFFFF00u, 0xFFFFFF00u, 2000, 1},
        {0xFFFFFF00u, 0xFFFFFF10u, 2000, 1},
        {0xFFFFFF00u, 0x00000100u, 2000, 1},
        {0xFFFFFF00u, 0x000006CFu, 2000, 1},
        {0xFFFFFF00u, 0x000006D0u, 2000, 0},
        {0xFFFFFFFFu, 0x000007CEu, 2000, 1},
        {0xFFFFFFFFu, 0x000007CFu, 2000, 0},
        {1234u, 1234u, 0, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.within, WithinTimeout(c.start, c.now, c.timeout)) << c.start << " " << c.now;
}

}  // namespace
