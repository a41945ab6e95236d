#include "testenv.h"

#include <string.h>

static const char kSandboxParent[] = "Software\\ParvekTests";

static std::string SandboxPath()
{
    return std::string(kSandboxParent) + "\\HKLM-" + std::to_string(GetCurrentProcessId());
}

HklmSandbox::HklmSandbox()
{
    HKEY key;
    if (RegCreateKeyA(HKEY_CURRENT_USER, SandboxPath().c_str(), &key) != ERROR_SUCCESS)
        return;
    active = RegOverridePredefKey(HKEY_LOCAL_MACHINE, key) == ERROR_SUCCESS;
    RegCloseKey(key);
}

HklmSandbox::~HklmSandbox()
{
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, NULL);
    RegDeleteTreeA(HKEY_CURRENT_USER, SandboxPath().c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, kSandboxParent);  // only when no other test's is left
}

std::string HklmDefaultValue(const char *subkey)
{
    char value[64];
    LONG size = sizeof value;
    if (RegQueryValueA(HKEY_LOCAL_MACHINE, subkey, value, &size) != ERROR_SUCCESS)
        return "(none)";
    return std::string(value, strnlen(value, sizeof value));
}

HeldFile::HeldFile(const std::string &path)
{
    if (!path.empty())
        handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
}

HeldFile::~HeldFile()
{
    Release();
}

static HeldFile *s_releasing;

static void CALLBACK ReleaseNow(HWND, UINT, UINT_PTR, DWORD)
{
    if (s_releasing)
        s_releasing->Release();
}

void HeldFile::Release()
{
    if (timer)
        KillTimer(NULL, timer);
    timer = 0;
    if (s_releasing == this)
        s_releasing = nullptr;
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

void HeldFile::ReleaseAfter(UINT ms)
{
    s_releasing = this;
    timer = SetTimer(NULL, 0, ms, ReleaseNow);
}
