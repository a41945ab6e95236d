// The proposed folder from "ProgramFilesDir" (in a private HKEY_LOCAL_MACHINE)
// and the win.ini "zip" association (in this test's own Wine prefix), and
// the long-name rewriting of a path, over folders made for the test.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "setup.h"
#include "testenv.h"

namespace {

const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kUnset[] = "(unset)";

std::string ZipAssociation()
{
    char value[400];
    GetProfileStringA("extensions", "zip", kUnset, value, sizeof value);
    return value;
}

void SetZipAssociation(const char *value)
{
    WriteProfileStringA("extensions", "zip", value);
}

void SetProgramFilesDir(const std::string &value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_LOCAL_MACHINE, kVersionKey, &key));
    RegSetValueExA(key, "ProgramFilesDir", 0, REG_SZ, (const BYTE *)value.c_str(),
                   (DWORD)value.size() + 1);
    RegCloseKey(key);
}

std::string ShortPath(const std::string &path)
{
    char shortPath[MAX_PATH] = "";
    GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    return shortPath;
}

std::string Slashed(std::string path)
{
    for (char &ch : path)
        if (ch == '\\')
            ch = '/';
    return path;
}

// A folder tree of the test's own: ROOT\Long Folder Name\Parvek Home\notes.txt
struct DefaultDirTest : ::testing::Test {
    void SetUp() override
    {
        savedZip = ZipAssociation();
        GetCurrentDirectoryA(sizeof startDir, startDir);
        root = "C:\\pvtest\\dd-" + std::to_string(GetCurrentProcessId());
        home = root + "\\Long Folder Name\\Parvek Home";
        CreateDirectoryA("C:\\pvtest", NULL);
        CreateDirectoryA(root.c_str(), NULL);
        CreateDirectoryA((root + "\\Long Folder Name").c_str(), NULL);
        CreateDirectoryA(home.c_str(), NULL);
        CloseHandle(CreateFileA((home + "\\notes.txt").c_str(), GENERIC_WRITE, 0, NULL,
                                CREATE_ALWAYS, 0, NULL));
        shortHome = ShortPath(home);
        ASSERT_NE(home, shortHome);
        ASSERT_EQ(std::string::npos, shortHome.find(' '));
    }
    void TearDown() override
    {
        SetZipAssociation(savedZip == kUnset ? NULL : savedZip.c_str());
        SetCurrentDirectoryA(startDir);
    }
    std::string savedZip, root, home, shortHome;
    char startDir[MAX_PATH] = "";
};

struct ProposalCase {
    const char *name;
    std::string programFiles;  // "ProgramFilesDir", or kUnset
    std::string zip;           // the association, or kUnset
    std::string proposal;
};

TEST_F(DefaultDirTest, ProposalFromTheSystemSettings)
{
    const std::string pf = "D:\\Apps";
    const std::string pfProposal = "D:\\Apps\\Parvek";
    const std::string tooLongFolder = "C:\\" + std::string(261, 'a');  // 264 characters
    const std::string fittingFolder = "C:\\" + std::string(260, 'a');
    const ProposalCase cases[] = {
        {"nothing set", kUnset, kUnset, "C:\\Parvek"},
        {"program files", "C:\\Program Files", kUnset, "C:\\Program Files\\Parvek"},
        {"value fills the buffer", std::string(199, 'p'), kUnset, std::string(199, 'p') + "\\Parvek"},
        {"value longer than the buffer", std::string(200, 'p'), kUnset, "C:\\Parvek"},
        {"short form", pf, shortHome + "\\PARVEK32.EXE ^.zip", home},
        {"root as written", pf, "c" + shortHome.substr(1) + "\\parvek.exe", "c" + home.substr(1)},
        {"no longer exists", pf, "c:\\OLD\\gone\\Parvek32.exe ^.zip", "c:\\OLD\\gone"},
        {"forward slashes", pf, Slashed(shortHome) + "/parvek32.exe ^.zip", Slashed(shortHome)},
        {"separator first", pf, "\\PARVEK32.EXE ^.zip", ""},
        {"folder fills g_defaultDir", pf, fittingFolder + "\\PARVEK32.EXE", fittingFolder},
        {"folder too long", pf, tooLongFolder + "\\PARVEK32.EXE", pfProposal},
        {"shorter name", pf, "C:\\TOOLS\\PARV.EXE ^.zip", pfProposal},
        {"another program", pf, "C:\\TOOLS\\WINZIP32.EXE ^.zip", pfProposal},
        {"no folder part", pf, "PARVEK32.EXE ^.zip", pfProposal},
        {"blank in the path", pf, "C:\\Program Files\\Parvek\\PARVEK32.EXE ^.zip", pfProposal},
        {"empty association", pf, "", pfProposal},
    };
    for (const ProposalCase &c : cases) {
        HklmSandbox hklm;
        ASSERT_TRUE(hklm.active);
        if (c.programFiles != kUnset)
            SetProgramFilesDir(c.programFiles);
        SetZipAssociation(c.zip == kUnset ? NULL : c.zip.c_str());
        FormatText(g_defaultDir, sizeof g_defaultDir, "left over");
        ChooseDefaultDir();
        EXPECT_EQ(c.proposal, g_defaultDir) << c.name;
    }
}

// A folder under the root whose long path has exactly `length` characters,
// made through the wide calls that take paths beyond MAX_PATH; returns its
// short form.
std::string DeepFolder(const std::string &root, size_t length)
{
    std::wstring path = L"\\\\?\\" + std::wstring(root.begin(), root.end());
    std::wstring level(60, L'L');
    for (int i = 0; i < 3; i++) {
        path += L"\\" + level;
        CreateDirectoryW(path.c_str(), NULL);
    }
    size_t last = length - (path.size() - 4) - 1;
    path += L"\\" + std::wstring(last, L'M');
    CreateDirectoryW(path.c_str(), NULL);
    wchar_t shortPath[MAX_PATH] = L"";
    GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    std::wstring s = shortPath + 4;
    return std::string(s.begin(), s.end());
}

std::string LongDeepFolder(const std::string &root, size_t length)
{
    std::string level(60, 'L');
    std::string path = root + "\\" + level + "\\" + level + "\\" + level;
    return path + "\\" + std::string(length - path.size() - 1, 'M');
}

TEST_F(DefaultDirTest, LongNamesOfAPath)
{
    const std::string longest = LongDeepFolder(root, 261);
    const std::string tooLong = DeepFolder(root, 262);
    const std::string homeBelowRoot = home.substr(3);
    const std::string shortBelowRoot = shortHome.substr(3);
    struct {
        const char *name;
        std::string path;
        std::string expanded;
    } cases[] = {
        {"short form", shortHome, home},
        {"wildcard last", shortHome + "\\*.TXT", home + "\\*.TXT"},
        {"drive-relative", "C:" + shortBelowRoot, "C:" + homeBelowRoot},
        {"relative", shortBelowRoot, homeBelowRoot},
        {"missing", root + "\\absent\\folder", root + "\\absent\\folder"},
        {"long form of 261", DeepFolder(root, 261), longest},
        {"long form of 262", tooLong, tooLong},
    };
    SetCurrentDirectoryA("C:\\");
    for (const auto &c : cases) {
        char path[264];
        FormatText(path, sizeof path, "%s", c.path.c_str());
        EXPECT_EQ(path, ExpandLongPath(path)) << c.name;
        EXPECT_EQ(c.expanded, path) << c.name;
    }
}

}  // namespace
