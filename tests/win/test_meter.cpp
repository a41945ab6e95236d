// The meter as the user sees it, read back as pixels from its window: the
// done part and the rest in their two colour schemes, split at
// width x position / range, and the percentage in each scheme at the point
// where the meter is to place it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "meter.h"

namespace {

HWND s_parent;

LRESULT CALLBACK ParentProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(w, m, wp, lp);
}

struct MeterTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        RegisterMeterClass(GetModuleHandleA(NULL));
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ParentProc;
        wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
        wc.lpszClassName = "MeterTestParent";
        RegisterClassA(&wc);
        s_parent = CreateWindowA("MeterTestParent", "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN,
                                 0, 0, 400, 120, NULL, NULL, NULL, NULL);
    }
    static void TearDownTestSuite() { DestroyWindow(s_parent); }
    void TearDown() override
    {
        if (meter)
            DestroyWindow(meter);
    }
    // A borderless meter, so that its client area is the size given.
    HWND NewMeter(int width, int height)
    {
        if (meter)
            DestroyWindow(meter);
        meter = CreateWindowA("Meter", "", WS_CHILD | WS_VISIBLE, 10, 10, width, height, s_parent,
                              NULL, GetModuleHandleA(NULL), NULL);
        return meter;
    }
    HWND meter = NULL;
};

// A 32-bit top-down DIB in a memory DC, filled with white.
struct Canvas {
    Canvas(int w, int h) : width(w), height(h)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        dc = CreateCompatibleDC(NULL);
        dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, (void **)&bits, NULL, 0);
        old = SelectObject(dc, dib);
        PatBlt(dc, 0, 0, w, h, WHITENESS);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteObject(dib);
        DeleteDC(dc);
    }
    DWORD At(int x, int y) const { return bits[y * width + x] & 0xFFFFFF; }
    int width, height;
    HDC dc;
    HBITMAP dib;
    HGDIOBJ old;
    DWORD *bits = nullptr;
};

DWORD Rgb(COLORREF c)
{
    return (DWORD)GetRValue(c) << 16 | (DWORD)GetGValue(c) << 8 | GetBValue(c);
}

// The height of "X" in the default font, which the meter paints with.
int TextHeight()
{
    Canvas c(1, 1);
    SIZE size;
    GetTextExtentPoint32A(c.dc, "X", 1, &size);
    return size.cy;
}

struct Expected {
    const char *text;
    int done;   // width of the done part
    int textX;  // middle of the text's top edge
    int textY;
};

// Each channel of an anti-aliased text pixel lies between the two colours.
bool Between(DWORD got, DWORD a, DWORD b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        int g = got >> shift & 255, x = a >> shift & 255, y = b >> shift & 255;
        if (g < std::min(x, y) || g > std::max(x, y))
            return false;
    }
    return true;
}

// Draws the text alone in black on white at the expected point; every
// pixel of the meter must then be the done or the rest scheme's background
// or text colour, as that ink and the split decide.
::testing::AssertionResult PaintsAs(HWND meter, const Expected &e)
{
    RECT client;
    GetClientRect(meter, &client);
    int w = client.right, h = client.bottom;
    Canvas shown(w, h), ink(w, h);
    HDC dc = GetDC(meter);
    BitBlt(shown.dc, 0, 0, w, h, dc, 0, 0, SRCCOPY);
    ReleaseDC(meter, dc);
    SetTextAlign(ink.dc, TA_CENTER | TA_TOP);
    SetBkMode(ink.dc, TRANSPARENT);
    SetTextColor(ink.dc, RGB(0, 0, 0));
    TextOutA(ink.dc, e.textX, e.textY, e.text, lstrlenA(e.text));
    GdiFlush();
    DWORD highlight = Rgb(GetSysColor(COLOR_HIGHLIGHT));
    DWORD highlightText = Rgb(GetSysColor(COLOR_HIGHLIGHTTEXT));
    int inkSeen = 0;
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            bool done = x < e.done;
            DWORD back = done ? highlight : highlightText;
            DWORD text = done ? highlightText : highlight;
            DWORD coverage = ink.At(x, y);
            DWORD got = shown.At(x, y);
            inkSeen += coverage != 0xFFFFFF;
            if (coverage == 0xFFFFFF ? got == back : coverage == 0 ? got == text : Between(got, back, text))
                continue;
            return ::testing::AssertionFailure()
                   << "pixel (" << x << "," << y << ") is " << std::hex << got << " in the "
                   << (done ? "done part" : "rest") << ", background " << back << ", text " << text
                   << ", text coverage " << coverage;
        }
    }
    if (inkSeen == 0)
        return ::testing::AssertionFailure() << "the text falls outside the meter";
    return ::testing::AssertionSuccess();
}

TEST_F(MeterTest, SelectionColoursDiffer)
{
    ASSERT_NE(Rgb(GetSysColor(COLOR_HIGHLIGHT)), Rgb(GetSysColor(COLOR_HIGHLIGHTTEXT)));
}

struct PaintCase {
    const char *what;
    int width;
    int roomOverText;  // client height minus the text height
    bool set;          // false: the meter as it is created
    WPARAM range, pos;
    UINT readRange, readPos;
    Expected paint;
};

TEST_F(MeterTest, PaintsPercentageAndSplit)
{
    const PaintCase cases[] = {
        {"fresh meter", 233, 6, false, 0, 0, 100, 50, {"50%", 116, 116, 3}},
        {"range 0", 233, 6, true, 0, 37, 0, 37, {"0%", 0, 116, 3}},
        {"range 3 position 2", 233, 6, true, 3, 2, 3, 2, {"66%", 155, 116, 3}},
        {"range 200 position 1", 233, 6, true, 200, 1, 200, 1, {"0%", 1, 116, 3}},
        {"sliver on a narrow bar", 150, 6, true, 200, 1, 200, 1, {"0%", 0, 75, 3}},
        {"range 70000", 233, 6, true, 70000, 2232, 4464, 2232, {"50%", 116, 116, 3}},
        {"range 65536", 233, 6, true, 65536, 10, 0, 10, {"0%", 0, 116, 3}},
        {"position above range", 233, 6, true, 100, 150, 100, 150, {"150%", 233, 116, 3}},
        {"position 70000", 233, 6, true, 10000, 70000, 10000, 4464, {"44%", 104, 116, 3}},
        {"odd room", 100, 7, true, 4, 3, 4, 3, {"75%", 75, 50, 3}},
        {"text taller by 3", 233, -3, true, 100, 25, 100, 25, {"25%", 58, 116, -1}},
        {"text taller by 6", 100, -6, true, 100, 100, 100, 100, {"100%", 100, 50, -3}},
    };
    for (const PaintCase &c : cases) {
        HWND m = NewMeter(c.width, TextHeight() + c.roomOverText);
        if (c.set) {
            EXPECT_EQ(0, SendMessageA(m, MTR_SETRANGE, c.range, 0)) << c.what;
            EXPECT_EQ(0, SendMessageA(m, MTR_SETPOS, c.pos, 0)) << c.what;
        } else {
            UpdateWindow(m);
        }
        // No UpdateWindow after the set messages: they paint before returning.
        EXPECT_TRUE(PaintsAs(m, c.paint)) << c.what;
        EXPECT_EQ(c.readRange, (UINT)SendMessageA(m, MTR_GETRANGE, 0, 0)) << c.what;
        EXPECT_EQ(c.readPos, (UINT)SendMessageA(m, MTR_GETPOS, 0, 0)) << c.what;
    }
}

TEST_F(MeterTest, NarrowingRepaintsTheWholeBar)
{
    int height = TextHeight() + 6;
    HWND m = NewMeter(300, height);
    UpdateWindow(m);
    SetWindowPos(m, NULL, 0, 0, 233, height, SWP_NOMOVE | SWP_NOZORDER);
    UpdateWindow(m);
    EXPECT_TRUE(PaintsAs(m, {"50%", 116, 116, 3}));
}

TEST_F(MeterTest, DialogManagerTreatsItAsStatic)
{
    EXPECT_EQ(DLGC_STATIC, SendMessageA(NewMeter(100, 20), WM_GETDLGCODE, 0, 0));
}

}  // namespace
