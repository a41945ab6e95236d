#include "distfolder.h"

#include <windows.h>

#include <fstream>
#include <sstream>

static const char *const kLooseFiles[] = {"README.TXT",   "PARVEK.TXT",  "LICENSE.TXT", "VENDOR.TXT",
                                          "WHATSNEW.TXT", "FILE_ID.DIZ", "ORDER.TXT"};

static std::string ModuleDir()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    std::string s = path;
    return s.substr(0, s.find_last_of('\\'));
}

std::string FixturePath(const std::string &name)
{
    return ModuleDir() + "\\fixtures\\" + name;
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string &path, const std::string &data)
{
    std::ofstream(path, std::ios::binary) << data;
}

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SameFile(const std::string &a, const std::string &b)
{
    return Exists(a) && Exists(b) && ReadFile(a) == ReadFile(b);
}

static void StampLike(const std::string &path, const std::string &model)
{
    HANDLE from = CreateFileA(model.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE to = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    FILETIME t;
    if (GetFileTime(from, NULL, NULL, &t))
        SetFileTime(to, NULL, NULL, &t);
    CloseHandle(from);
    CloseHandle(to);
}

DistFolder::DistFolder(const char *archive)
{
    static int serial;
    CreateDirectoryA("C:\\pvtest", NULL);
    // A new folder every time: Wine gives out process ids again once its
    // server has restarted, so an earlier run's folder may carry this name.
    do
        root = "C:\\pvtest\\" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    while (!CreateDirectoryA(root.c_str(), NULL) && GetLastError() == ERROR_ALREADY_EXISTS);
    sourceDir = root + "\\dist";
    installDir = root + "\\Parvek Files";
    CreateDirectoryA(sourceDir.c_str(), NULL);
    std::string setup = sourceDir + "\\SETUP.EXE";
    CopyFileA((ModuleDir() + "\\setup_harness.exe").c_str(), setup.c_str(), FALSE);
    for (const char *name : kLooseFiles) {
        std::string path = sourceDir + "\\" + name;
        WriteFile(path, std::string(name) + " of the test distribution\r\n");
        StampLike(path, setup);
    }
    CopyFileA(FixturePath(archive).c_str(), (sourceDir + "\\setup.pv").c_str(), FALSE);
}

std::string DistFolder::Run(const std::vector<std::string> &answers)
{
    std::string transcript = root + "\\transcript.txt";
    DeleteFileA(transcript.c_str());
    std::string command = "\"" + sourceDir + "\\SETUP.EXE\" \"" + transcript + "\"";
    for (const std::string &a : answers)
        command += " \"" + a + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back(0);
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, root.c_str(), &si, &pi))
        return "cannot start " + command;
    DWORD waited = WaitForSingleObject(pi.hProcess, 120000);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return waited == WAIT_OBJECT_0 ? ReadFile(transcript) : "timed out";
}

std::vector<std::string> WaitForHandoff(const std::string &installDir)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 200 && lines.size() < 2; i++) {
        lines.clear();
        std::istringstream in(ReadFile(installDir + "\\handoff.txt"));
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        if (lines.size() < 2)
            Sleep(100);
    }
    return lines;
}
