#include "progressdlg.h"

#include "meter.h"
#include "setup.h"

void (*g_afterMeterPos)(HWND meter, unsigned pos);

static std::vector<unsigned> s_positions;
static WNDPROC s_meterProc;

// Sits in front of the meter's own procedure and writes down its positions.
static LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = CallWindowProcA(s_meterProc, window, message, wParam, lParam);
    if (message == MTR_SETPOS) {
        s_positions.push_back((unsigned)wParam);
        if (g_afterMeterPos)
            g_afterMeterPos(window, (unsigned)wParam);
    }
    return result;
}

static void CreateDialog300()
{
    g_hInstance = GetModuleHandleA(NULL);
    LoadStringA(g_hInstance, IDS_TITLE, g_title, sizeof g_title);
    LoadStringA(g_hInstance, IDS_INSTALLING, g_installingLabel, sizeof g_installingLabel);
    RegisterMeterClass(g_hInstance);
    g_progressDlg = CreateDialogParamA(g_hInstance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL,
                                       ProgressDlgProc, 0);
    ShowWindow(g_progressDlg, SW_SHOW);
    UpdateWindow(g_progressDlg);
    HWND meter = GetDlgItem(g_progressDlg, IDC_METER);
    s_meterProc = (WNDPROC)SetWindowLongPtrA(meter, GWLP_WNDPROC, (LONG_PTR)RecordingProc);
}

HWND UseDialog300(unsigned range)
{
    static HWND created;
    if (!created) {
        CreateDialog300();
        created = g_progressDlg;
    }
    g_progressDlg = created;
    EnableWindow(GetDlgItem(g_progressDlg, IDCANCEL), TRUE);
    SetDlgItemTextA(g_progressDlg, IDC_STATUS_ACTION, "");
    SetDlgItemTextA(g_progressDlg, IDC_STATUS_FILE, "");
    SendDlgItemMessageA(g_progressDlg, IDC_METER, MTR_SETPOS, 0, 0);
    SendDlgItemMessageA(g_progressDlg, IDC_METER, MTR_SETRANGE, range, 0);
    s_positions.clear();
    g_afterMeterPos = NULL;
    return g_progressDlg;
}

const std::vector<unsigned> &MeterPositions()
{
    return s_positions;
}

std::string ItemText(int id)
{
    char text[300] = "";
    GetDlgItemTextA(g_progressDlg, id, text, sizeof text);
    return text;
}

std::string Boxes(const std::vector<SeenWindow> &seen)
{
    std::string boxes;
    for (const SeenWindow &w : seen)
        if (w.kind == "box")
            boxes += w.Line() + "\n";
    return boxes;
}
