#include "boxwatch.h"

#include "resource.h"

#include <stdlib.h>

static HHOOK s_hook;
static HHOOK s_sentHook;
static std::vector<std::string> s_answers;
static size_t s_next;
static std::vector<SeenWindow> s_seen;

#define MSGBOX_TEXT_ID 0xFFFF
#define MSGBOX_ICON_ID 1088
// The engine's notifications to its window.
#define ENGINE_FILENAME (WM_USER + 278)
#define ENGINE_PROGRESS (WM_USER + 280)

std::string SeenWindow::Line() const
{
    std::string line = kind + " owner=" + owner + " icon=" + icon + " caption=" + caption;
    return line + " text=" + text + (overProgress ? " [over progress]" : "");
}

std::string Transcript(const std::vector<SeenWindow> &seen)
{
    std::string all;
    for (const SeenWindow &w : seen)
        all += w.Line() + "\n";
    return all;
}

static std::string TextOf(HWND window)
{
    char buf[1024] = "";
    if (window)
        GetWindowTextA(window, buf, sizeof buf);
    return buf;
}

static int DialogKind(HWND window)
{
    if (GetDlgItem(window, IDC_DIR_EDIT))
        return IDD_INSTALL_DIR;
    char cls[32] = "";
    HWND meter = GetDlgItem(window, IDC_METER);
    if (meter && GetClassNameA(meter, cls, sizeof cls) && lstrcmpiA(cls, "Meter") == 0)
        return IDD_PROGRESS;
    // Its text, like a message box's, is a static of id -1 (0xFFFF); its
    // first button is what tells it apart.
    if (TextOf(GetDlgItem(window, IDOK)) == "&Restart Windows")
        return IDD_RESTART;
    return 0;
}

static std::string OwnerKind(HWND owner)
{
    if (!owner)
        return "none";
    switch (DialogKind(owner)) {
    case IDD_INSTALL_DIR: return "install";
    case IDD_PROGRESS: return "progress";
    case IDD_RESTART: return "restart";
    }
    return "other";
}

static std::string IconKind(HWND box)
{
    HWND control = GetDlgItem(box, MSGBOX_ICON_ID);
    HICON icon = control ? (HICON)SendMessageA(control, STM_GETICON, 0, 0) : NULL;
    if (!icon)
        return "none";
    if (icon == LoadIconA(NULL, IDI_HAND)) return "error";
    if (icon == LoadIconA(NULL, IDI_QUESTION)) return "question";
    if (icon == LoadIconA(NULL, IDI_ASTERISK)) return "information";
    if (icon == LoadIconA(NULL, IDI_EXCLAMATION)) return "warning";
    return "other";
}

static void Click(HWND window, int id)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(window, id));
}

static std::string NextAnswer(const char *fallback)
{
    return s_next < s_answers.size() ? s_answers[s_next++] : fallback;
}

static void Answer(HWND window, const std::string &answer)
{
    if (answer == "ok") Click(window, IDOK);
    else if (answer == "cancel") Click(window, IDCANCEL);
    else if (answer == "yes") Click(window, IDYES);
    else if (answer == "no") Click(window, IDNO);
    else if (answer.rfind("dir:", 0) == 0) {
        SetDlgItemTextA(window, IDC_DIR_EDIT, answer.c_str() + 4);
        Click(window, IDOK);
    }
}

static BOOL CALLBACK FindShownProgress(HWND window, LPARAM found)
{
    if (IsWindowVisible(window) && DialogKind(window) == IDD_PROGRESS)
        *(bool *)found = true;
    return TRUE;
}

// Boxes and dialogs are read and answered from a timer that their own modal
// loop dispatches: at activation a dialog may not have run WM_INITDIALOG yet.
static void CALLBACK Inspect(HWND window, UINT, UINT_PTR id, DWORD)
{
    KillTimer(window, id);
    SeenWindow seen;
    seen.owner = OwnerKind(GetWindow(window, GW_OWNER));
    seen.caption = TextOf(window);
    int kind = DialogKind(window);
    if (kind) {
        seen.kind = "dialog " + std::to_string(kind);
        seen.text = kind == IDD_INSTALL_DIR ? TextOf(GetDlgItem(window, IDC_DIR_EDIT))
                    : kind == IDD_RESTART   ? TextOf(GetDlgItem(window, MSGBOX_TEXT_ID))
                                            : "";
        seen.icon = "none";
    } else {
        seen.kind = "box";
        seen.icon = IconKind(window);
        seen.text = TextOf(GetDlgItem(window, MSGBOX_TEXT_ID));
        EnumThreadWindows(GetCurrentThreadId(), FindShownProgress, (LPARAM)&seen.overProgress);
    }
    s_seen.push_back(seen);
    std::string answer = NextAnswer(kind ? "cancel" : "ok");
    if (answer != "keep")
        Answer(window, answer);
}

static void OnActivate(HWND window)
{
    char cls[32] = "";
    if (!IsWindow(window) || !GetClassNameA(window, cls, sizeof cls) || lstrcmpA(cls, "#32770") != 0)
        return;
    if (GetPropA(window, "pv.seen"))
        return;
    SetPropA(window, "pv.seen", (HANDLE)1);
    if (DialogKind(window) != IDD_PROGRESS) {
        SetTimer(window, 0x5056, 20, Inspect);
        return;
    }
    // Modeless: recorded at once, and its Cancel pressed when the script says.
    SeenWindow seen;
    seen.kind = "dialog 300";
    seen.owner = OwnerKind(GetWindow(window, GW_OWNER));
    seen.caption = TextOf(window);
    s_seen.push_back(seen);
    if (s_next < s_answers.size() && s_answers[s_next] == "cancel300") {
        s_next++;
        Click(window, IDCANCEL);
    }
}

static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE)
        OnActivate((HWND)wParam);
    return CallNextHookEx(s_hook, code, wParam, lParam);
}

static const char kCancelAt[] = "cancel300at:";
static int s_entryReports = -1;  // -1 until the entry is announced

// Follows the engine's reports to dialog 300, after the dialog has answered
// each, for a "cancel300at:" step of the script.
static void FollowEngine(const CWPRETSTRUCT *m)
{
    const std::string &step = s_answers[s_next];
    size_t hash = step.rfind('#');
    if (hash == std::string::npos)
        return;
    std::string name = step.substr(sizeof kCancelAt - 1, hash - (sizeof kCancelAt - 1));
    if (m->message == ENGINE_FILENAME && m->lParam && name == (const char *)m->lParam)
        s_entryReports = 0;
    if (m->message != ENGINE_PROGRESS || s_entryReports < 0)
        return;
    if (++s_entryReports < atoi(step.c_str() + hash + 1))
        return;
    s_next++;
    s_entryReports = -1;
    Click(m->hwnd, IDCANCEL);
}

static LRESULT CALLBACK SentProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && s_next < s_answers.size() && s_answers[s_next].rfind(kCancelAt, 0) == 0)
        FollowEngine((const CWPRETSTRUCT *)lParam);
    return CallNextHookEx(s_sentHook, code, wParam, lParam);
}

void WatchStart(const std::vector<std::string> &answers)
{
    s_answers = answers;
    s_next = 0;
    s_seen.clear();
    s_hook = SetWindowsHookExA(WH_CBT, CbtProc, NULL, GetCurrentThreadId());
    s_sentHook = SetWindowsHookExA(WH_CALLWNDPROCRET, SentProc, NULL, GetCurrentThreadId());
    s_entryReports = -1;
}

std::vector<SeenWindow> WatchStop()
{
    if (s_hook)
        UnhookWindowsHookEx(s_hook);
    if (s_sentHook)
        UnhookWindowsHookEx(s_sentHook);
    s_hook = s_sentHook = NULL;
    return s_seen;
}
