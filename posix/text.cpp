// Strings and message boxes for the host build. The string table is the one
// of the resource script, compiled into g_posixStrings; message boxes go to
// standard error, one line each, and answer as if OK (or Yes) was pressed.
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <strings.h>

int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size)
{
    if (!buffer || size <= 0)
        return 0;
    for (size_t i = 0; i < g_posixStringCount; i++) {
        if (g_posixStrings[i].id != id)
            continue;
        size_t n = strlen(g_posixStrings[i].text);
        if (n > (size_t)size - 1)
            n = (size_t)size - 1;
        memcpy(buffer, g_posixStrings[i].text, n);
        buffer[n] = 0;
        return (int)n;
    }
    buffer[0] = 0;
    return 0;
}

int MessageBoxA(HWND, LPCSTR text, LPCSTR, UINT type)
{
    fprintf(stderr, "%s\n", text ? text : "");
    fflush(stderr);
    return (type & 0xF) == MB_YESNO ? IDYES : IDOK;
}

int lstrcmpiA(LPCSTR a, LPCSTR b)
{
    return strcasecmp(a, b);
}

// Names are taken as they come: the host has one code page for both sides.
BOOL OemToCharA(LPCSTR src, LPSTR dest)
{
    if (src != dest)
        memmove(dest, src, strlen(src) + 1);
    return TRUE;
}

BOOL CharToOemA(LPCSTR src, LPSTR dest)
{
    return OemToCharA(src, dest);
}

HMODULE GetModuleHandleA(LPCSTR)
{
    static int module;
    return (HMODULE)&module;
}
