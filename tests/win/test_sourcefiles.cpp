// The loose-file pass in its two modes, driven in-process over a
// distribution folder of its own: the time-stamp test, a missing file, SZDD
// sizes, the copy with its chunks, meter steps and file times, the copy
// failures with their paths, and a cancel confirmed before a file.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include <functional>
#include <string>
#include <vector>

#include "boxwatch.h"
#include "distfolder.h"
#include "progressdlg.h"
#include "setup.h"
#include "unzip.h"

namespace {

const char *const kNames[] = {"README.TXT",   "PARVEK.TXT",  "LICENSE.TXT", "VENDOR.TXT",
                              "WHATSNEW.TXT", "FILE_ID.DIZ", "ORDER.TXT"};
const int kRows = 7;

// SETUP.EXE's last-write time in these tests, with a fraction of a second.
const uint64_t kStamp = 126256000001234567ull;

const char kConfirm[] =
    "box owner=progress icon=question caption=Parvek Setup text=Setup has not completed "
    "installing the software.\nAre you sure you want to cancel? [over progress]\n";

FILETIME Filetime(uint64_t ticks)
{
    FILETIME t;
    t.dwLowDateTime = (DWORD)ticks;
    t.dwHighDateTime = (DWORD)(ticks >> 32);
    return t;
}

uint64_t Ticks(const FILETIME &t)
{
    return (uint64_t)t.dwHighDateTime << 32 | t.dwLowDateTime;
}

void SetWriteTime(const std::string &path, uint64_t ticks)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, 0, NULL);
    FILETIME t = Filetime(ticks);
    SetFileTime(file, NULL, NULL, &t);
    CloseHandle(file);
}

// Creation, last-access and last-write time, in that order.
std::vector<uint64_t> TimesOf(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              0, NULL);
    FILETIME c = {}, a = {}, w = {};
    GetFileTime(file, &c, &a, &w);
    CloseHandle(file);
    return {Ticks(c), Ticks(a), Ticks(w)};
}

// Bytes that differ from one offset to the next, so a cut shows.
std::string Noise(size_t n)
{
    std::string s(n, 0);
    uint32_t x = 2463534242u;
    for (char &c : s) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        c = (char)x;
    }
    return s;
}

std::string SzddHeader(uint32_t expanded)
{
    std::string h = "SZDD\x88\xF0\x27\x33" "A";
    h += '\0';
    for (int i = 0; i < 4; i++)
        h += (char)(expanded >> (8 * i));
    return h;
}

bool IsFile(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ErrorBox(const std::string &text)
{
    return "box owner=progress icon=error caption=Parvek Setup text=" + text + " [over progress]\n";
}

struct LooseFilesTest : ::testing::Test {
    void SetUp() override { Fresh(); }
    void TearDown() override
    {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    }
    // A new distribution and install folder, and the pass's state as at start.
    void Fresh()
    {
        static int serial;
        std::string root;
        CreateDirectoryA("C:\\pvloose", NULL);
        // Wine reuses process ids across server restarts: skip older folders.
        do
            root = "C:\\pvloose\\" + std::to_string(GetCurrentProcessId()) + "-" +
                   std::to_string(++serial);
        while (!CreateDirectoryA(root.c_str(), NULL) && GetLastError() == ERROR_ALREADY_EXISTS);
        source = root + "\\dist\\";
        install = root + "\\Parvek Files\\";
        CreateDirectoryA(source.c_str(), NULL);
        CreateDirectoryA(install.c_str(), NULL);
        for (const char *name : kNames)
            Put(name, std::string(name) + " of the test distribution\r\n");
        snprintf(g_sourceDir, sizeof g_sourceDir, "%s", source.c_str());
        snprintf(g_installDirSlash, sizeof g_installDirSlash, "%s", install.c_str());
        g_setupWriteTime = Filetime(kStamp);
        g_totalKB = g_bytesCopied = g_lastMeterBytes = 0;
        g_cancelRequested = 0;
        UseDialog300(1000);
    }
    void Put(const char *name, const std::string &data, uint64_t stamp = kStamp)
    {
        WriteFile(source + name, data);
        SetWriteTime(source + name, stamp);
    }
    uint32_t SizeOfRows(int from, int to)
    {
        uint32_t size = 0;
        for (int i = from; i < to; i++)
            size += (uint32_t)ReadFile(source + kNames[i]).size();
        return size;
    }
    // Runs the pass with the progress dialog as owner; returns what it showed.
    std::string Pass(int mode, const std::vector<std::string> &answers = {})
    {
        WatchStart(answers);
        result = CheckSourceFiles(g_progressDlg, mode);
        return Boxes(WatchStop());
    }
    std::string source, install;
    int result = -1;
    HANDLE held = INVALID_HANDLE_VALUE;
};

struct StampCase {
    int64_t delta;
    int mode;
};

TEST_F(LooseFilesTest, AnyStampDifferenceIsAMismatch)
{
    const StampCase cases[] = {{1, 0}, {-1, 0}, {10000000, 0}, {-1, 1}};
    for (const StampCase &c : cases) {
        Fresh();
        Put("LICENSE.TXT", "licence", kStamp + c.delta);
        EXPECT_EQ(ErrorBox("Date/time stamp on the file LICENSE.TXT does not match the "
                           "date/time stamp on SETUP.EXE."),
                  Pass(c.mode))
            << c.delta;
        EXPECT_EQ(0, result) << c.delta;
        EXPECT_EQ(c.mode == 1, Exists(install + "PARVEK.TXT")) << c.delta;
        EXPECT_FALSE(Exists(install + "LICENSE.TXT")) << c.delta;
    }
}

TEST_F(LooseFilesTest, MissingOrderTxtIsNamedAfterSixRowsPassed)
{
    DeleteFileA((source + "ORDER.TXT").c_str());
    EXPECT_EQ(ErrorBox("Cannot find required file ORDER.TXT.  Please verify that the file "
                       "exists on the installation disk."),
              Pass(0));
    EXPECT_EQ(0, result);
    EXPECT_EQ(SizeOfRows(0, 6), g_totalKB);
}

struct SzddCase {
    const char *what;
    std::string data;
    uint32_t size;
};

TEST_F(LooseFilesTest, SzddHeaderGivesExpandedSize)
{
    std::string wrongMagic = SzddHeader(5000);
    wrongMagic[7] = 0x34;
    const SzddCase cases[] = {
        {"header and data", SzddHeader(0x89ABCDEF) + Noise(100), 0x89ABCDEF},
        {"header alone", SzddHeader(5000), 5000},
        {"wrong magic", wrongMagic, 777},
        {"SZDD only", "SZDD" + Noise(20), 777},
        {"13 bytes", SzddHeader(5000).substr(0, 13), 777},
        {"empty", "", 777},
    };
    for (const SzddCase &c : cases) {
        WriteFile(source + "packed", c.data);
        EXPECT_EQ(c.size, SzddUncompressedSize((source + "packed").c_str(), 777)) << c.what;
    }
    EXPECT_EQ(777u, SzddUncompressedSize((source + "absent").c_str(), 777));
}

TEST_F(LooseFilesTest, SzddFileCountsExpandedAndIsCopiedAsItIs)
{
    std::string packed = SzddHeader(123456) + Noise(300);
    Put("README.TXT", packed);
    EXPECT_EQ("", Pass(0));
    EXPECT_EQ(123456 + SizeOfRows(1, kRows), g_totalKB);
    EXPECT_EQ("", Pass(1));
    EXPECT_EQ(1, result);
    EXPECT_EQ(packed, ReadFile(install + "README.TXT"));
}

TEST_F(LooseFilesTest, CopiesEveryFileWithItsStampAndMovesTheMeter)
{
    Put("README.TXT", Noise(40000));
    Put("WHATSNEW.TXT", "");
    EXPECT_EQ("", Pass(1));
    EXPECT_EQ(1, result);
    // The times first: reading a file moves its last-access time.
    for (const char *name : kNames) {
        EXPECT_EQ(std::vector<uint64_t>(3, kStamp), TimesOf(install + name)) << name;
        EXPECT_TRUE(SameFile(source + name, install + name)) << name;
    }
    // 15360 bytes pass the first unit, 30720 pass 25600; the rest stays
    // below 40960.
    EXPECT_EQ(std::vector<unsigned>({1, 3}), MeterPositions());
    EXPECT_EQ(SizeOfRows(0, kRows), g_bytesCopied);
    EXPECT_EQ("Installing", ItemText(IDC_STATUS_ACTION));
    EXPECT_EQ("ORDER.TXT", ItemText(IDC_STATUS_FILE));
}

// Wine run by root writes into read-only files: the attribute is the file's
// Unix write permission, which root does not need.
bool ReadOnlyIsEnforced(const std::string &folder)
{
    std::string path = folder + "read-only probe";
    WriteFile(path, "");
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    return file == INVALID_HANDLE_VALUE;
}

struct FailureCase {
    const char *what;
    // Prepares the failure; returns the message expected, or nothing when
    // the platform cannot make it happen.
    std::function<std::string(LooseFilesTest &)> prepare;
    int row;                 // the row whose copy fails
    const char *leftAtDest;  // what the failed row leaves; null: no file
};

TEST_F(LooseFilesTest, CopyFailureStopsThePassAndNamesThePath)
{
    const FailureCase cases[] = {
        {"read-only destination",
         [](LooseFilesTest &t) {
             if (!ReadOnlyIsEnforced(t.install))
                 return std::string();
             std::string dest = t.install + "VENDOR.TXT";
             WriteFile(dest, "older");
             SetFileAttributesA(dest.c_str(), FILE_ATTRIBUTE_READONLY);
             return "Cannot open " + dest + " for writing";
         },
         3, "older"},
        {"folder in the destination's place",
         [](LooseFilesTest &t) {
             std::string dest = t.install + "VENDOR.TXT";
             CreateDirectoryA(dest.c_str(), NULL);
             return "Cannot open " + dest + " for writing";
         },
         3, nullptr},
        {"source held by another",
         [](LooseFilesTest &t) {
             std::string path = t.source + "ORDER.TXT";
             t.held = CreateFileA(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
             return "Cannot open " + path;
         },
         6, nullptr},
        // The fixture's README.TXT opens but fails every read.
        {"read error",
         [](LooseFilesTest &t) {
             std::string dir = FixturePath("readerr\\");
             snprintf(g_sourceDir, sizeof g_sourceDir, "%s", dir.c_str());
             t.source = dir;
             FindFileInfo((dir + "README.TXT").c_str());
             g_setupWriteTime = g_findData.ftLastWriteTime;
             return "Error reading " + dir + "README.TXT.  Possible cause: bad disk";
         },
         0, ""},
    };
    for (const FailureCase &c : cases) {
        Fresh();
        std::string message = c.prepare(*this);
        if (message.empty()) {
            printf("%s: not checked, this platform does not refuse it\n", c.what);
            continue;
        }
        EXPECT_EQ(ErrorBox(message), Pass(1)) << c.what;
        EXPECT_EQ(0, result) << c.what;
        for (int i = 0; i < c.row; i++)
            EXPECT_TRUE(SameFile(source + kNames[i], install + kNames[i])) << c.what;
        std::string failed = install + kNames[c.row];
        EXPECT_EQ(c.leftAtDest != nullptr, IsFile(failed)) << c.what;
        if (c.leftAtDest) {
            EXPECT_EQ(c.leftAtDest, ReadFile(failed)) << c.what;
        }
        if (c.row + 1 < kRows) {
            EXPECT_FALSE(Exists(install + kNames[c.row + 1])) << c.what;
        }
        TearDown();
    }
}

struct CancelCase {
    size_t size;
    size_t kept;
};

TEST_F(LooseFilesTest, CancelBeforeAFileKeepsItsFirstChunk)
{
    const CancelCase cases[] = {{40000, 15360}, {15360, 15360}, {100, 100}};
    for (const CancelCase &c : cases) {
        Fresh();
        std::string data = Noise(c.size);
        Put("README.TXT", data);
        // Waits for the pump before the first file, as a click would.
        PostMessageA(g_progressDlg, WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(kConfirm, Pass(1, {"yes"})) << c.size;
        EXPECT_EQ(0, result) << c.size;
        EXPECT_EQ(std::vector<uint64_t>(3, kStamp), TimesOf(install + "README.TXT")) << c.size;
        EXPECT_EQ(data.substr(0, c.kept), ReadFile(install + "README.TXT")) << c.size;
        EXPECT_FALSE(Exists(install + "PARVEK.TXT")) << c.size;
    }
}

}  // namespace
