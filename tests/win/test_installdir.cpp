// Dialog 100 driven in-process, from inside its own modal loop as a user's
// input arrives: the entry's form and normalisation, the same-folder check,
// OK following the edit, the size total and folder creation, and the wait
// for a shell extension in the install folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <direct.h>

#include <functional>
#include <string>
#include <vector>

#include "boxwatch.h"
#include "distfolder.h"
#include "setup.h"
#include "testenv.h"

namespace {

const char kUnloadKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AlwaysUnloadDLL";
const char kUnloadText[] = "Please wait a moment while the Parvek Shell Extension is unloaded.";
const INT_PTR kLeftOpen = 7;  // ended by the test, with the dialog still editing

std::string Box(const char *owner, const char *icon, const std::string &text,
                const char *caption = "Parvek Setup")
{
    return std::string("box owner=") + owner + " icon=" + icon + " caption=" + caption +
           " text=" + text + "\n";
}

std::string ErrorBox(const std::string &text)
{
    return Box("install", "error", text);
}

const std::string kBadDest = ErrorBox("Invalid destination directory");
const std::string kSameDir =
    ErrorBox("\"Install To\" directory must be different than \"Install From\" directory.  "
             "Please specify a different directory.");
const std::string kNoReadme =
    ErrorBox("Cannot find required file README.TXT.  Please verify that the file exists on the "
             "installation disk.");

std::string Text(HWND dialog, int id)
{
    char text[512] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

bool Enabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// The boxes shown since the watch last started; it starts again, answering OK.
std::string BoxesSince()
{
    std::vector<SeenWindow> boxes;
    for (const SeenWindow &w : WatchStop())
        if (w.kind == "box")
            boxes.push_back(w);
    WatchStart({});
    return Transcript(boxes);
}

void PressOk(HWND dialog)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 (LPARAM)GetDlgItem(dialog, IDOK));
}

std::function<void(HWND)> s_act;

BOOL CALLBACK FindDialog100(HWND window, LPARAM found)
{
    if (GetDlgItem(window, IDC_DIR_EDIT))
        *(HWND *)found = window;
    return TRUE;
}

void CALLBACK Act(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(NULL, id);
    HWND dialog = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog100, (LPARAM)&dialog);
    if (!dialog)
        return;
    s_act(dialog);
    // A dialog that OK did not end is still editing: the edit is enabled.
    if (Enabled(dialog, IDC_DIR_EDIT))
        EndDialog(dialog, kLeftOpen);
}

// Runs dialog 100 modally; once it is up, `act` drives it from a timer that
// the dialog's own modal loop dispatches. Boxes are answered with OK.
INT_PTR RunDialog100(const std::function<void(HWND)> &act)
{
    s_act = act;
    SetTimer(NULL, 0, 100, Act);
    return DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_INSTALL_DIR), NULL,
                           InstallDirDlgProc, 0);
}

struct InstallDirTest : ::testing::Test {
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(NULL);
        LoadStringA(g_hInstance, IDS_TITLE, g_title, TITLE_SIZE);
        GetCurrentDirectoryA(sizeof startDir, startDir);
    }
    void TearDown() override { SetCurrentDirectoryA(startDir); }
    // g_sourceDir and SETUP.EXE's time stamp from a distribution folder.
    void UseSource(const DistFolder &dist)
    {
        FormatText(g_sourceDir, sizeof g_sourceDir, "%s\\", dist.sourceDir.c_str());
        ASSERT_EQ(0, FindFileInfo((dist.sourceDir + "\\SETUP.EXE").c_str()));
        g_setupWriteTime = g_findData.ftLastWriteTime;
    }
    char startDir[MAX_PATH] = "";
};

TEST_F(InstallDirTest, OpensWithTheProposalAndOkFollowsTheEdit)
{
    FormatText(g_defaultDir, sizeof g_defaultDir, "E:\\Proposed Folder");
    std::vector<bool> okEnabled;
    WatchStart({"keep"});
    INT_PTR result = RunDialog100([&](HWND dialog) {
        char title[64] = "";
        GetWindowTextA(dialog, title, sizeof title);
        EXPECT_STREQ("Parvek Setup", title);
        EXPECT_EQ("E:\\Proposed Folder", Text(dialog, IDC_DIR_EDIT));
        EXPECT_EQ(259, SendDlgItemMessageA(dialog, IDC_DIR_EDIT, EM_GETLIMITTEXT, 0, 0));
        EXPECT_EQ(GetDlgItem(dialog, IDC_DIR_EDIT), GetFocus());
        HWND edit = GetDlgItem(dialog, IDC_DIR_EDIT);
        okEnabled.push_back(Enabled(dialog, IDOK));
        SendMessageA(edit, EM_SETSEL, 0, -1);
        SendMessageA(edit, WM_CHAR, VK_BACK, 0);
        okEnabled.push_back(Enabled(dialog, IDOK));
        SendMessageA(edit, WM_CHAR, 'D', 0);
        okEnabled.push_back(Enabled(dialog, IDOK));
        EXPECT_EQ("D", Text(dialog, IDC_DIR_EDIT));
        // The edit asks the dialog first; while not waiting it keeps its I-beam.
        SetCursor(LoadCursorA(NULL, IDC_ARROW));
        SendMessageA(edit, WM_SETCURSOR, (WPARAM)edit, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(LoadCursorA(NULL, IDC_IBEAM), GetCursor());
    });
    WatchStop();
    EXPECT_EQ(kLeftOpen, result);
    EXPECT_EQ((std::vector<bool>{true, false, true}), okEnabled);
}

TEST_F(InstallDirTest, CancelEndsWithZero)
{
    WatchStart({"cancel"});
    INT_PTR result = DialogBoxParamA(g_hInstance, MAKEINTRESOURCEA(IDD_INSTALL_DIR), NULL,
                                     InstallDirDlgProc, 0);
    WatchStop();
    EXPECT_EQ(0, result);
}

struct FormCase {
    const char *source;  // g_sourceDir, or null for a folder without loose files
    const char *entry;
    const char *installDir;  // null: refused, the globals keep their values
    const char *installDirSlash;
    const std::string &box;
};

// Each accepted entry goes on to the distribution check, which finds no
// loose files and stops there, so nothing is created.
TEST_F(InstallDirTest, FormAndNormalisationOfTheEntry)
{
    DistFolder empty("good.pv");
    std::string emptySource = empty.root + "\\";
    const FormCase cases[] = {
        {nullptr, "D:", "D:\\", "D:\\", kNoReadme},
        {nullptr, "D:\\", "D:", "D:\\", kNoReadme},
        {nullptr, "C:\\Parvek\\", "C:\\Parvek", "C:\\Parvek\\", kNoReadme},
        {nullptr, "C:/Parvek/", "C:/Parvek/", "C:/Parvek/", kNoReadme},
        {nullptr, "\\\\server\\share", "\\\\server\\share", "\\\\server\\share\\", kNoReadme},
        {nullptr, "//server/share", "//server/share", "//server/share\\", kNoReadme},
        {nullptr, "?:", "?:\\", "?:\\", kNoReadme},
        {nullptr, "Parvek", nullptr, nullptr, kBadDest},
        {nullptr, "\\/server\\share", nullptr, nullptr, kBadDest},
        {nullptr, "/\\server\\share", nullptr, nullptr, kBadDest},
        {nullptr, "C", nullptr, nullptr, kBadDest},
        {"A:\\", "a:", "a:\\", "a:\\", kSameDir},
        {"A:\\", "a:\\", "a:", "a:\\", kSameDir},
    };
    WatchStart({"keep"});
    RunDialog100([&](HWND dialog) {
        for (const FormCase &c : cases) {
            FormatText(g_sourceDir, sizeof g_sourceDir, "%s", c.source ? c.source : emptySource.c_str());
            FormatText(g_installDir, sizeof g_installDir, "unchanged");
            FormatText(g_installDirSlash, sizeof g_installDirSlash, "unchanged\\");
            SetDlgItemTextA(dialog, IDC_DIR_EDIT, c.entry);
            BoxesSince();
            PressOk(dialog);
            EXPECT_EQ(c.box, BoxesSince()) << c.entry;
            EXPECT_STREQ(c.installDir ? c.installDir : "unchanged", g_installDir) << c.entry;
            EXPECT_STREQ(c.installDirSlash ? c.installDirSlash : "unchanged\\", g_installDirSlash)
                << c.entry;
            // The dialog stays open with the user's text, ready for another try.
            EXPECT_EQ(c.entry, Text(dialog, IDC_DIR_EDIT));
            EXPECT_TRUE(Enabled(dialog, IDC_DIR_EDIT) && Enabled(dialog, IDOK) &&
                        Enabled(dialog, IDCANCEL))
                << c.entry;
        }
    });
    WatchStop();
}

// Every file of the distribution but SETUP.EXE: the loose files and setup.pv.
uint32_t DistributionBytes(const DistFolder &dist)
{
    uint32_t total = 0;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((dist.sourceDir + "\\*").c_str(), &data);
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            lstrcmpiA(data.cFileName, "SETUP.EXE") != 0)
            total += data.nFileSizeLow;
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return total;
}

TEST_F(InstallDirTest, FolderWithMissingParentIsRefusedAlikeOnEachTry)
{
    DistFolder dist("good.pv");
    UseSource(dist);
    std::string folder = dist.root + "\\no parent\\Parvek";
    std::string box = Box("install", "information",
                          "The " + folder +
                              " directory cannot be created.\nEnter another directory or try "
                              "another drive.");
    std::vector<uint32_t> totals;
    std::vector<std::string> boxes;
    WatchStart({"keep"});
    RunDialog100([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_DIR_EDIT, folder.c_str());
        BoxesSince();
        for (int i = 0; i < 2; i++) {
            PressOk(dialog);
            totals.push_back(g_totalKB);
            boxes.push_back(BoxesSince());
        }
    });
    WatchStop();
    EXPECT_EQ(std::vector<uint32_t>(2, DistributionBytes(dist) / 1024), totals);
    EXPECT_EQ(std::vector<std::string>(2, box), boxes);
    EXPECT_FALSE(Exists(dist.root + "\\no parent"));
}

TEST_F(InstallDirTest, MissingArchiveIsReportedInAPlainBox)
{
    DistFolder dist("good.pv");
    DeleteFileA((dist.sourceDir + "\\setup.pv").c_str());
    UseSource(dist);
    std::string boxes;
    WatchStart({"keep"});
    INT_PTR result = RunDialog100([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_DIR_EDIT, dist.installDir.c_str());
        BoxesSince();
        PressOk(dialog);
        boxes = BoxesSince();
    });
    WatchStop();
    EXPECT_EQ(kLeftOpen, result);
    EXPECT_EQ(Box("none", "none", "setup.pv is missing", "Error"), boxes);
    EXPECT_FALSE(Exists(dist.installDir));
}

// What the dialog showed while OK ran: the texts put into its two prompt
// lines, samples taken every 100 ms while the unload text was up, and when
// it began to hide as it ended (hiding itself may take Wine a while).
struct WaitWatch {
    std::vector<std::string> prompt1, prompt2;
    int samples = 0, hourglass = 0, disabled = 0;
    DWORD hiddenAt = 0;
};
WaitWatch s_watch;
HHOOK s_promptHook;

LRESULT CALLBACK RecordPrompts(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT *m = (const CWPSTRUCT *)lParam;
    if (code == HC_ACTION && m->message == WM_WINDOWPOSCHANGING && !s_watch.hiddenAt &&
        (((const WINDOWPOS *)m->lParam)->flags & SWP_HIDEWINDOW) && GetDlgItem(m->hwnd, IDC_DIR_EDIT))
        s_watch.hiddenAt = GetTickCount();
    if (code == HC_ACTION && m->message == WM_SETTEXT) {
        int id = GetDlgCtrlID(m->hwnd);
        if (id == IDC_PROMPT1 || id == IDC_PROMPT2)
            (id == IDC_PROMPT1 ? s_watch.prompt1 : s_watch.prompt2).push_back((const char *)m->lParam);
    }
    return CallNextHookEx(s_promptHook, code, wParam, lParam);
}

HWND s_waiting;

void CALLBACK Sample(HWND, UINT, UINT_PTR, DWORD)
{
    if (!IsWindow(s_waiting) || Text(s_waiting, IDC_PROMPT1) != kUnloadText)
        return;
    s_watch.samples++;
    SetCursor(LoadCursorA(NULL, IDC_ARROW));
    SendMessageA(s_waiting, WM_SETCURSOR, (WPARAM)s_waiting, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    s_watch.hourglass += GetCursor() == LoadCursorA(NULL, IDC_WAIT);
    s_watch.disabled += !Enabled(s_waiting, IDC_DIR_EDIT) && !Enabled(s_waiting, IDOK) &&
                        !Enabled(s_waiting, IDCANCEL);
}

const int kNoFile = -1, kNever = 0;

struct ShellCase {
    const char *name;
    int letGo;  // ms after OK at which the extension is let go; kNoFile, kNever
    int dots;   // -1: the prompts keep their texts
    DWORD minMs, maxMs;
};

std::vector<std::string> DotRows(int dots)
{
    std::vector<std::string> rows;
    for (int i = 0; i <= dots; i++)
        rows.push_back(std::string(i, '.'));
    return rows;
}

TEST_F(InstallDirTest, ShellExtensionInTheFolderIsWaitedFor)
{
    const ShellCase cases[] = {
        {"none", kNoFile, -1, 0, 1000},
        {"let go in 200 ms", 200, -1, 150, 1000},
        {"let go after 3 s", 3000, 2, 2800, 6000},
        {"stays loaded", kNever, 15, 15000, 25000},
    };
    DistFolder dist("good.pv");
    UseSource(dist);
    int serial = 0;
    for (const ShellCase &c : cases) {
        HklmSandbox hklm;
        ASSERT_TRUE(hklm.active);
        std::string folder = dist.root + "\\folder " + std::to_string(++serial);
        if (c.letGo != kNoFile)
            CreateDirectoryA(folder.c_str(), NULL);
        HeldFile extension(c.letGo == kNoFile ? "" : folder + "\\pvshlext.dll");
        s_watch = WaitWatch();
        s_promptHook = SetWindowsHookExA(WH_CALLWNDPROC, RecordPrompts, NULL, GetCurrentThreadId());
        UINT_PTR sampler = SetTimer(NULL, 0, 100, Sample);
        DWORD elapsed = 0;
        char current[MAX_PATH] = "";
        WatchStart({"keep"});
        INT_PTR result = RunDialog100([&](HWND dialog) {
            s_waiting = dialog;
            SetDlgItemTextA(dialog, IDC_DIR_EDIT, folder.c_str());
            if (c.letGo > 0)
                extension.ReleaseAfter(c.letGo);
            DWORD start = GetTickCount();
            PressOk(dialog);
            elapsed = s_watch.hiddenAt - start;
        });
        std::string seen = Transcript(WatchStop());
        KillTimer(NULL, sampler);
        UnhookWindowsHookEx(s_promptHook);
        GetCurrentDirectoryA(sizeof current, current);
        SetCurrentDirectoryA(startDir);
        bool waited = c.dots >= 0;
        EXPECT_EQ(1, result) << c.name;
        EXPECT_EQ(std::string::npos, seen.find("box")) << c.name << "\n" << seen;
        EXPECT_EQ(0, lstrcmpiA(folder.c_str(), current)) << c.name << ": " << current;
        EXPECT_GE(elapsed, c.minMs) << c.name;
        EXPECT_LE(elapsed, c.maxMs) << c.name;
        EXPECT_EQ(waited ? std::vector<std::string>{kUnloadText} : std::vector<std::string>{},
                  s_watch.prompt1)
            << c.name;
        EXPECT_EQ(waited ? DotRows(c.dots) : std::vector<std::string>{}, s_watch.prompt2) << c.name;
        EXPECT_EQ(waited ? "1" : "(none)", HklmDefaultValue(kUnloadKey)) << c.name;
        EXPECT_EQ(waited, s_watch.samples > 0) << c.name;
        EXPECT_EQ(s_watch.samples, s_watch.hourglass) << c.name;
        EXPECT_EQ(s_watch.samples, s_watch.disabled) << c.name;
        EXPECT_EQ(0, g_waitCursor) << c.name;
    }
}

}  // namespace
