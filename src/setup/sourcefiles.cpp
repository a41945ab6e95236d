// The seven loose files of the distribution: checked against SETUP.EXE's
// time stamp, counted, and copied into the install folder with the meter.
#include "setup.h"
#include "meter.h"
#include "unzip.h"

#include <string.h>

#define COPY_CHUNK 15360u
#define COPY_OK 0
#define COPY_READ_FAILED IDS_READ_FAILED

struct SourceFileEntry {
    const char *name;
    char lastChar;
};

static const SourceFileEntry g_sourceFiles[] = {
    {"README.TXT", 0},   {"PARVEK.TXT", 0},  {"LICENSE.TXT", 0}, {"VENDOR.TXT", 0},
    {"WHATSNEW.TXT", 0}, {"FILE_ID.DIZ", 0}, {"ORDER.TXT", 0},   {NULL, 0},
};

int FindFileInfo(const char *path)
{
    HANDLE find = FindFirstFileA(path, &g_findData);
    if (find == INVALID_HANDLE_VALUE)
        return 1;
    FindClose(find);
    return 0;
}

uint32_t SzddUncompressedSize(const char *path, uint32_t size)
{
    static const unsigned char magic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
    HFILE file = _lopen(path, OF_READ);
    if (file == HFILE_ERROR)
        return size;
    unsigned char header[14];
    if (_lread(file, header, sizeof header) == sizeof header &&
        memcmp(header, magic, sizeof magic) == 0)
        size = (uint32_t)header[10] | (uint32_t)header[11] << 8 | (uint32_t)header[12] << 16 |
               (uint32_t)header[13] << 24;
    _lclose(file);
    return size;
}

static void CopyFileTimes(HFILE source, HFILE dest)
{
    FILETIME created, accessed, written;
    if (GetFileTime((HANDLE)(intptr_t)source, &created, &accessed, &written))
        SetFileTime((HANDLE)(intptr_t)dest, &written, &written, &written);
}

static void MoveMeter()
{
    if (g_bytesCopied < g_lastMeterBytes + 10240)
        return;
    SendDlgItemMessageA(g_progressDlg, IDC_METER, MTR_SETPOS, g_bytesCopied / 10240, 0);
    g_lastMeterBytes = g_bytesCopied;
}

static int CopyChunks(HFILE source, HFILE dest, char *buffer)
{
    for (;;) {
        UINT n = _lread(source, buffer, COPY_CHUNK);
        // A failed read is not data: the copy stops instead of writing it.
        if (n == (UINT)HFILE_ERROR)
            return COPY_READ_FAILED;
        if (_lwrite(dest, buffer, n) != n)
            return IDS_WRITE_ERROR;
        g_bytesCopied += n;
        MoveMeter();
        if (n != COPY_CHUNK || g_cancelRequested) {
            CopyFileTimes(source, dest);
            return COPY_OK;
        }
    }
}

static int CopyOneFile(const char *source, const char *dest)
{
    HFILE in = _lopen(source, OF_READ);
    if (in == HFILE_ERROR)
        return IDS_CANT_OPEN;
    int result = IDS_CANT_OPEN;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, COPY_CHUNK);
    char *buffer = memory ? (char *)GlobalLock(memory) : NULL;
    if (buffer) {
        HFILE out = _lcreat(dest, 0);
        result = IDS_CANT_OPEN_WRITE;
        if (out != HFILE_ERROR) {
            result = CopyChunks(in, out, buffer);
            _lclose(out);
        }
        GlobalUnlock(memory);
    }
    if (memory)
        GlobalFree(memory);
    _lclose(in);
    return result;
}

static int ReportCopyResult(int code, const char *source, const char *dest)
{
    if (code == COPY_OK)
        return 1;
    const char *shown = code == IDS_CANT_OPEN || code == COPY_READ_FAILED ? source : dest;
    ShowResMessage(g_progressDlg, (UINT)code, MB_ICONERROR, shown);
    return 0;
}

static int CopySourceEntry(const char *source, int row)
{
    char name[PATH_SIZE];
    char dest[PATH_SIZE];
    FormatText(name, sizeof name, "%s", g_sourceFiles[row].name);
    size_t len = strlen(name);
    if (g_sourceFiles[row].lastChar && len > 0)
        name[len - 1] = g_sourceFiles[row].lastChar;
    SetDlgItemTextA(g_progressDlg, IDC_STATUS_FILE, name);
    FormatText(dest, sizeof dest, "%s%s", g_installDirSlash, name);
    return ReportCopyResult(CopyOneFile(source, dest), source, dest);
}

static void PumpWaitingMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

static int CheckStamp(HWND owner, const char *path, const char *name)
{
    if (FindFileInfo(path) != 0) {
        ShowResMessage(owner, IDS_MISSING_FILE, MB_ICONERROR, name);
        return 0;
    }
    if (CompareFileTime(&g_findData.ftLastWriteTime, &g_setupWriteTime) != 0) {
        ShowResMessage(owner, IDS_DATE_MISMATCH, MB_ICONERROR, name);
        return 0;
    }
    return 1;
}

int CheckSourceFiles(HWND owner, int mode)
{
    for (int i = 0; g_sourceFiles[i].name; i++) {
        char path[PATH_SIZE];
        FormatText(path, sizeof path, "%s%s", g_sourceDir, g_sourceFiles[i].name);
        if (!CheckStamp(owner, path, g_sourceFiles[i].name))
            return 0;
        if (mode == 0) {
            g_totalKB += SzddUncompressedSize(path, g_findData.nFileSizeLow);
            continue;
        }
        PumpWaitingMessages();
        SetDlgItemTextA(g_progressDlg, IDC_STATUS_ACTION, g_installingLabel);
        if (!CopySourceEntry(path, i) || g_cancelRequested)
            return 0;
    }
    return 1;
}
