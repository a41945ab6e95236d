// Dialog 300 driven in-process: the reset when it is shown, the confirmed
// and the refused cancel, the meter moved by the engine's reports on top of
// the copied bytes, and the file name in the second status line.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "boxwatch.h"
#include "meter.h"
#include "progressdlg.h"
#include "setup.h"
#include "unzip.h"

namespace {

const char kConfirm[] =
    "box owner=progress icon=question caption=Parvek Setup text=Setup has not completed "
    "installing the software.\nAre you sure you want to cancel? [over progress]\n";

struct ProgressTest : ::testing::Test {
    void SetUp() override
    {
        g_cancelRequested = 0;
        g_bytesCopied = 0;
        UseDialog300(100);
    }
    // Lets the dialog see what the platform posted to it, as the copy pass
    // and the engine let it.
    static void Pump()
    {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    HWND Item(int id) { return GetDlgItem(g_progressDlg, id); }
    UINT Meter(UINT message) { return (UINT)SendMessageA(Item(IDC_METER), message, 0, 0); }
};

TEST_F(ProgressTest, ShowingResetsLinesButtonAndMeter)
{
    ShowWindow(g_progressDlg, SW_HIDE);
    EnableWindow(Item(IDCANCEL), FALSE);
    SetDlgItemTextA(g_progressDlg, IDC_STATUS_ACTION, "Installing");
    SetDlgItemTextA(g_progressDlg, IDC_STATUS_FILE, "notes.txt");
    SendMessageA(Item(IDC_METER), MTR_SETPOS, 7, 0);
    ShowWindow(g_progressDlg, SW_SHOW);
    EXPECT_TRUE(IsWindowEnabled(Item(IDCANCEL)));
    EXPECT_EQ("", ItemText(IDC_STATUS_ACTION));
    EXPECT_EQ("", ItemText(IDC_STATUS_FILE));
    EXPECT_EQ(0u, Meter(MTR_GETRANGE));
    EXPECT_EQ(0u, Meter(MTR_GETPOS));
    char caption[64];
    GetWindowTextA(g_progressDlg, caption, sizeof caption);
    EXPECT_STREQ(g_title, caption);
}

void PressCancel(HWND dialog)
{
    SendMessageA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
}

void PressCloseBox(HWND dialog)
{
    SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void PressEnter(HWND dialog)
{
    SendMessageA(dialog, WM_COMMAND, IDOK, 0);
}

struct ConfirmCase {
    const char *what;
    void (*press)(HWND dialog);
    const char *answer;
    bool cancels;
};

TEST_F(ProgressTest, CancelTakesEffectOnlyWhenConfirmed)
{
    const ConfirmCase cases[] = {
        {"Cancel, No", PressCancel, "no", false},
        {"Cancel, Yes", PressCancel, "yes", true},
        {"close box, Yes", PressCloseBox, "yes", true},
        {"IDOK, Yes", PressEnter, "yes", true},
    };
    for (const ConfirmCase &c : cases) {
        SetUp();
        WatchStart({c.answer});
        c.press(g_progressDlg);
        Pump();
        EXPECT_EQ(kConfirm, Boxes(WatchStop())) << c.what;
        EXPECT_EQ(!c.cancels, !!IsWindowEnabled(Item(IDCANCEL))) << c.what;
        EXPECT_EQ(c.cancels, g_cancelRequested != 0) << c.what;
        EXPECT_EQ(c.cancels, SendMessageA(g_progressDlg, SETUP_MSG_PROGRESS, 1, 0) != 0) << c.what;
    }
}

struct ProgressCase {
    uint32_t bytesCopied;
    WPARAM units;
    UINT pos;
};

TEST_F(ProgressTest, ReportsAddToCopiedBytes)
{
    const ProgressCase cases[] = {
        {25000, 3, 5}, {0, 0, 0}, {10239, 1, 1}, {10240, 0, 1}, {204800, 65535, 65555},
    };
    for (const ProgressCase &c : cases) {
        g_bytesCopied = c.bytesCopied;
        EXPECT_EQ(0, SendMessageA(g_progressDlg, SETUP_MSG_PROGRESS, c.units, 0)) << c.bytesCopied;
        EXPECT_EQ(c.pos, MeterPositions().back()) << c.bytesCopied;
    }
}

TEST_F(ProgressTest, FileNameReplacesSecondLineOnly)
{
    SetDlgItemTextA(g_progressDlg, IDC_STATUS_ACTION, g_installingLabel);
    SetDlgItemTextA(g_progressDlg, IDC_STATUS_FILE, "README.TXT");
    SendMessageA(g_progressDlg, SETUP_MSG_FILENAME, 0, (LPARAM) "notes.txt");
    EXPECT_EQ("Installing", ItemText(IDC_STATUS_ACTION));
    EXPECT_EQ("notes.txt", ItemText(IDC_STATUS_FILE));
}

}  // namespace
