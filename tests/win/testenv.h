// Machine state for the install-folder, default-folder and add-on tests:
// HKEY_LOCAL_MACHINE redirected to a private key for this process, and a
// file held open the way a loaded DLL holds it.
#ifndef PARVEK_TESTENV_H
#define PARVEK_TESTENV_H

#include <windows.h>

#include <string>

// While it lives, this process sees an empty private key as
// HKEY_LOCAL_MACHINE; other processes in the prefix see the real one.
struct HklmSandbox {
    HklmSandbox();
    ~HklmSandbox();
    HklmSandbox(const HklmSandbox &) = delete;
    HklmSandbox &operator=(const HklmSandbox &) = delete;
    bool active = false;
};

// The default value of a key under HKEY_LOCAL_MACHINE, or "(none)".
std::string HklmDefaultValue(const char *subkey);

// Keeps a file open so that nobody can open it exclusively, until it is let
// go: at once, or after a delay from a timer that the thread's message pump
// (the one under test) dispatches. An empty path holds nothing.
struct HeldFile {
    explicit HeldFile(const std::string &path);
    ~HeldFile();
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;
    void Release();
    void ReleaseAfter(UINT ms);
    HANDLE handle = INVALID_HANDLE_VALUE;
    UINT_PTR timer = 0;
};

#endif
