// The folder proposed in dialog 100: an existing installation found through
// the .zip association, else a folder under Program Files, else C:\Parvek.
#include "setup.h"

#include <string.h>

#define LONG_PATH_LIMIT 261

static int FindLongName(const char *path, char *name, size_t size)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(path, &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(find);
    FormatText(name, size, "%s", data.cFileName);
    return 1;
}

static size_t RootPrefixLength(const char *src)
{
    if (src[0] && src[1] == ':')
        return src[2] == '\\' ? 3 : 2;
    if (src[0] == '\\' && src[1] == '\\') {
        const char *server = strchr(src + 2, '\\');
        const char *share = server ? strchr(server + 1, '\\') : NULL;
        return share ? (size_t)(share - src) + 1 : strlen(src);
    }
    return 0;
}

static int Append(char *result, size_t *len, const char *text)
{
    size_t n = strlen(text);
    if (*len + n > LONG_PATH_LIMIT)
        return 0;
    memcpy(result + *len, text, n + 1);
    *len += n;
    return 1;
}

// Rewrites the path with the long name of each of its components; on any
// failure the path stays as it was.
char *ExpandLongPath(char *path)
{
    char lastLong[MAX_PATH];
    if (!FindLongName(path, lastLong, sizeof lastLong))
        return path;
    char result[LONG_PATH_LIMIT + 2];
    size_t len = RootPrefixLength(path);
    memcpy(result, path, len);
    result[len] = 0;
    const char *start = path + len;
    for (const char *sep = strchr(start, '\\'); sep; sep = strchr(sep + 1, '\\')) {
        char head[MAX_PATH + 8];
        char name[MAX_PATH];
        FormatText(head, sizeof head, "%.*s", (int)(sep - path), path);
        if (!FindLongName(head, name, sizeof name) || !Append(result, &len, name) ||
            !Append(result, &len, "\\"))
            return path;
        start = sep + 1;
    }
    int wild = strpbrk(start, "*?") != NULL;
    if (!Append(result, &len, wild ? start : lastLong))
        return path;
    memcpy(path, result, len + 1);
    return path;
}

static void ProposeProgramFiles()
{
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", &key) !=
        ERROR_SUCCESS)
        return;
    char value[200];
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, "ProgramFilesDir", NULL, NULL, (BYTE *)value, &size) ==
            ERROR_SUCCESS) {
        value[size < sizeof value ? size : sizeof value - 1] = 0;
        FormatText(g_defaultDir, sizeof g_defaultDir, "%s\\Parvek", value);
    }
    RegCloseKey(key);
}

void ChooseDefaultDir()
{
    FormatText(g_defaultDir, sizeof g_defaultDir, "C:\\Parvek");
    ProposeProgramFiles();
    char assoc[300];
    GetProfileStringA("extensions", "zip", "", assoc, sizeof assoc);
    char *sep = NULL;
    for (char *p = assoc; *p && *p != ' '; p++) {
        if (*p == '\\' || *p == '/')
            sep = p;
    }
    if (!sep || _strnicmp(sep + 1, "parvek", 6) != 0)
        return;
    *sep = 0;
    // A folder that would not fit is passed over; one written with forward
    // slashes is proposed as written.
    if (strlen(assoc) >= sizeof g_defaultDir)
        return;
    memcpy(g_defaultDir, assoc, strlen(assoc) + 1);
    if (!strchr(g_defaultDir, '/'))
        ExpandLongPath(g_defaultDir);
}
