// The string loader's turning buffers, chains and limits; the title cut to
// its buffer; the centring arithmetic.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "boxwatch.h"
#include "setup.h"
#include "testwindow.h"

namespace {

struct StringsTest : ::testing::Test {
    void SetUp() override { g_hInstance = GetModuleHandleA(NULL); }
};

std::string ErrorBox(const std::string &text)
{
    return "box owner=none icon=error caption=Error text=" + text + "\n";
}

TEST_F(StringsTest, FourthCallReusesTheFirstBuffer)
{
    const char *first = LoadResString(IDS_TITLE);
    const char *second = LoadResString(IDS_INSTALLING);
    const char *third = LoadResString(IDS_BAD_HEADER);
    const char *fourth = LoadResString(IDS_NO_MEMORY);
    EXPECT_EQ(first, fourth);
    EXPECT_STREQ("Insufficient memory", first);
    EXPECT_STREQ("Installing into a folder for testing", second);
    EXPECT_STREQ("Invalid Zipfile Header", third);
}

struct LoadCase {
    UINT id;
    std::string text;
    std::string report;
};

TEST_F(StringsTest, ChainsAndLimits)
{
    const LoadCase cases[] = {
        {3000, "first second third", ""},
        {3010, std::string(512, 'b'), ""},
        {3011, "", "Internal error: string resource too long: 3011"},
        {3020, std::string(511, 'a'), "Internal error: string resource too long: 3021"},
        {3030, "start ", "Internal error: string resource not found: 3031"},
        {3999, "", "Internal error: string resource not found: 3999"},
    };
    for (const LoadCase &c : cases) {
        WatchStart({});
        std::string text = LoadResString(c.id);
        std::string seen = Transcript(WatchStop());
        EXPECT_EQ(c.text, text) << c.id;
        EXPECT_EQ(c.report.empty() ? "" : ErrorBox(c.report), seen) << c.id;
    }
}

TEST_F(StringsTest, TitleIsCutToItsBuffer)
{
    HWND product = CreateTestWindow("ParvekWClass");
    WatchStart({});
    RunSetup(GetModuleHandleA(NULL));
    std::string seen = Transcript(WatchStop());
    DestroyWindow(product);
    EXPECT_STREQ("Parvek Setup for the Test Su", g_title);
    EXPECT_STREQ("Installing into a folder for", g_installingLabel);
    EXPECT_EQ("box owner=none icon=error caption=Parvek Setup for the Test Su text=Another "
              "version of Parvek is running.  Please close it and re-run SETUP\n",
              seen);
}

TEST(CenterWindow, CentresOnTheWholeScreenTruncatingTowardZero)
{
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    struct { int width, height, x, y; } cases[] = {
        {200, 100, (sw - 200) / 2, (sh - 100) / 2},
        {sw + 1, 100, 0, (sh - 100) / 2},
        {sw + 3, sh + 3, -1, -1},
    };
    for (const auto &c : cases) {
        HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP, 5, 5, c.width, c.height, NULL, NULL,
                                 NULL, NULL);
        ASSERT_TRUE(w);
        CenterWindow(w);
        RECT r;
        GetWindowRect(w, &r);
        EXPECT_EQ(c.x, r.left) << c.width;
        EXPECT_EQ(c.y, r.top) << c.height;
        EXPECT_EQ(c.width, r.right - r.left);
        DestroyWindow(w);
    }
}

}  // namespace
