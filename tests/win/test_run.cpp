// The run with dialog 300 from start to end: the copy pass and the
// extraction in the test process, with the bar rising to full and a picture
// of the dialog half way; and a whole setup run through the harness in
// which a cancel is confirmed in the middle of an entry.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "boxwatch.h"
#include "distfolder.h"
#include "progressdlg.h"
#include "setup.h"
#include "unzip.h"

namespace {

std::string ModuleDir()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\'));
}

// The client area of a window as a 24-bit bottom-up BMP file. (Wine leaves
// the frame to the window manager, which the virtual display lacks.)
bool SaveWindowPicture(HWND window, const std::string &path)
{
    RECT r;
    GetClientRect(window, &r);
    int w = r.right, h = r.bottom;
    int stride = (w * 3 + 3) & ~3;
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = w;
    info.biHeight = h;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = (DWORD)(stride * h);
    void *bits = nullptr;
    HDC mem = CreateCompatibleDC(NULL);
    HBITMAP dib = CreateDIBSection(mem, (BITMAPINFO *)&info, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    HDC dc = GetDC(window);
    BitBlt(mem, 0, 0, w, h, dc, 0, 0, SRCCOPY);
    ReleaseDC(window, dc);
    GdiFlush();
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    FILE *f = fopen(path.c_str(), "wb");
    bool saved = f && fwrite(&file, sizeof file, 1, f) == 1 && fwrite(&info, sizeof info, 1, f) == 1 &&
                 fwrite(bits, info.biSizeImage, 1, f) == 1;
    if (f)
        fclose(f);
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    return saved;
}

unsigned s_range;
bool s_pictured;

std::string PicturePath()
{
    return ModuleDir() + "\\progress-mid-run.bmp";
}

// Pictures dialog 300 the first time the bar stands at half or more.
void PictureHalfWay(HWND meter, unsigned pos)
{
    if (s_pictured || pos * 2 < s_range || pos >= s_range)
        return;
    HWND dialog = GetParent(meter);
    RedrawWindow(dialog, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
    s_pictured = SaveWindowPicture(dialog, PicturePath());
}

void SetPath(char *dest, size_t size, const std::string &path)
{
    snprintf(dest, size, "%s", path.c_str());
}

TEST(Run, BarRisesToFullAsFilesAreCopiedAndExtracted)
{
    DistFolder dist("good.pv");
    SetPath(g_sourceDir, sizeof g_sourceDir, dist.sourceDir + "\\");
    SetPath(g_installDir, sizeof g_installDir, dist.installDir);
    SetPath(g_installDirSlash, sizeof g_installDirSlash, dist.installDir + "\\");
    CreateDirectoryA(g_installDir, NULL);
    ASSERT_EQ(0, FindFileInfo((dist.sourceDir + "\\SETUP.EXE").c_str()));
    g_setupWriteTime = g_findData.ftLastWriteTime;
    g_totalKB = g_bytesCopied = g_lastMeterBytes = 0;
    g_cancelRequested = 0;
    DeleteFileA(PicturePath().c_str());

    WatchStart({});
    // The total as the folder dialog computes it.
    ASSERT_EQ(1, CheckSourceFiles(NULL, 0));
    ASSERT_EQ(0, FindFileInfo((dist.sourceDir + "\\setup.pv").c_str()));
    g_totalKB = (g_totalKB + g_findData.nFileSizeLow) / 1024;
    s_range = g_totalKB / 10;
    UseDialog300(s_range);
    g_afterMeterPos = PictureHalfWay;
    int ok = CheckSourceFiles(g_progressDlg, 1) && ExtractSetupArchive(g_progressDlg);
    EXPECT_EQ("", Boxes(WatchStop()));
    EXPECT_EQ(1, ok);

    const std::vector<unsigned> &pos = MeterPositions();
    ASSERT_FALSE(pos.empty());
    EXPECT_TRUE(std::is_sorted(pos.begin(), pos.end()));
    // Each term of the position drops its own remainder, so the bar may
    // stop one unit short of the range that the sequence then fills.
    EXPECT_GE(pos.back() + 1, s_range);
    EXPECT_LE(pos.back(), s_range);
    EXPECT_GE(std::set<unsigned>(pos.begin(), pos.end()).size(), 4u);
    EXPECT_TRUE(s_pictured);
    EXPECT_EQ("Installing", ItemText(IDC_STATUS_ACTION));
    EXPECT_EQ("PARVEK32.EX_", ItemText(IDC_STATUS_FILE));
    EXPECT_TRUE(SameFile(dist.installDir + "\\data.bin", FixturePath("product\\data.bin")));
}

std::string Box(const char *owner, const char *icon, const std::string &text, bool overProgress)
{
    return std::string("box owner=") + owner + " icon=" + icon +
           " caption=Parvek Setup text=" + text + (overProgress ? " [over progress]" : "") + "\n";
}

TEST(Run, CancelInTheMiddleOfAnEntryLeavesNoPartOfIt)
{
    DistFolder dist("good.pv");
    // The third report of PARVEK32.EX_ comes after its first 28672 archive
    // bytes have been inflated and written.
    std::string seen = dist.Run({"dir:" + dist.installDir, "cancel300at:PARVEK32.EX_#3", "yes"});
    EXPECT_EQ("dialog 100 owner=none icon=none caption=Parvek Setup text=C:\\Program Files\\Parvek\n"
              "dialog 300 owner=none icon= caption=Parvek Setup text=\n" +
                  Box("progress", "question",
                      "Setup has not completed installing the software.\nAre you sure you want "
                      "to cancel?",
                      true) +
                  Box("none", "information",
                      "The software has not been successfully installed.\nYou must run Setup "
                      "again before using the software.",
                      false),
              seen);
    EXPECT_FALSE(Exists(dist.installDir + "\\PARVEK32.EX_"));
    EXPECT_FALSE(Exists(dist.installDir + "\\PARVEK32.EXE"));
    EXPECT_TRUE(SameFile(dist.installDir + "\\notes.txt", FixturePath("product\\notes.txt")));
    EXPECT_TRUE(SameFile(dist.installDir + "\\data.bin", FixturePath("product\\data.bin")));
    EXPECT_TRUE(SameFile(dist.installDir + "\\ORDER.TXT", dist.sourceDir + "\\ORDER.TXT"));
}

}  // namespace
