// One extraction run: its options, its buffers, the single way out of it on
// any failure or cancel (AbortRun), and its reports to the caller's window.
#include "engine.h"
#include "resource.h"
#include "resstring.h"

#include <setjmp.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int g_cancelRequested;

int g_runActive;
ExtractOptions *g_options;
int g_testOnly;
char g_archivePath[ENGINE_PATH_SIZE + 4];
HFILE g_archive = HFILE_ERROR;
HFILE g_outFile = HFILE_ERROR;
char g_entryName[ENGINE_PATH_SIZE];
const char *g_password = g_defaultPassword;
unsigned char *g_window;
unsigned char *g_inBuf;
unsigned char *g_outBuf;
uint32_t g_bytesRead;
uint32_t g_lastReported;

static jmp_buf s_recovery;
static ExtractStatus s_abortStatus;
static char *s_passwordCopy;
static int s_archivePathCut;

// The status travels in a variable: setjmp's own result may only be tested,
// not stored, where the language guarantees it.
[[noreturn]] void AbortRun(ExtractStatus status)
{
    s_abortStatus = status;
    longjmp(s_recovery, 1);
}

static void ShowFormatted(const char *format, va_list args)
{
    char text[ENGINE_PATH_SIZE + 600];
    if (vsnprintf(text, sizeof text, format, args) < 0)
        text[0] = 0;
    ShowEngineError(text);
}

void ShowEngineMessage(UINT id, ...)
{
    va_list args;
    va_start(args, id);
    ShowFormatted(LoadResString(id), args);
    va_end(args);
}

[[noreturn]] void FailWith(UINT id, ...)
{
    va_list args;
    va_start(args, id);
    ShowFormatted(LoadResString(id), args);
    va_end(args);
    AbortRun(EXTRACT_FAILED);
}

[[noreturn]] void FailRead()
{
    FailWith(IDS_READ_FAILED, g_options->archivePath);
}

void CheckWrite(int result)
{
    if (result != (int)g_outCount)
        FailWith(IDS_WRITE_FAILED, g_entryName);
}

int PumpMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return g_cancelRequested;
}

void ReportProgress(int force, uint32_t count)
{
    g_bytesRead += count;
    if (!force && g_bytesRead < g_lastReported + PROGRESS_UNIT)
        return;
    WPARAM units = (WPARAM)(uint16_t)(g_bytesRead / PROGRESS_UNIT);
    if (SendMessageA(g_options->notifyWindow, SETUP_MSG_PROGRESS, units, 0) != 0)
        AbortRun(EXTRACT_CANCELLED);
    if (PumpMessages())
        AbortRun(EXTRACT_CANCELLED);
    g_lastReported = g_bytesRead;
}

void AnnounceFile()
{
    char leaf[ENGINE_PATH_SIZE];
    snprintf(leaf, sizeof leaf, "%s", LeafOf(g_entryName));
    SendMessageA(g_options->notifyWindow, SETUP_MSG_FILENAME, 0, (LPARAM)leaf);
    ReportProgress(1, 0);
}

void ExtractArchive()
{
    if (g_options->hasPassword) {
        size_t size = strlen(g_options->password) + 1;
        s_passwordCopy = (char *)EngineAlloc(size);
        if (!s_passwordCopy) {
            ShowEngineError(LoadResString(IDS_NO_MEMORY));
            AbortRun(EXTRACT_FAILED);
        }
        memcpy(s_passwordCopy, g_options->password, size);
        g_password = s_passwordCopy;
    }
    if (s_archivePathCut)
        FailWith(IDS_CANT_OPEN_INPUT, g_options->archivePath);
    OpenArchive();
    WalkArchive();
    _lclose(g_archive);
    g_archive = HFILE_ERROR;
}

// A path without any '.' gets the archive extension, as a user typing the
// name of an archive would expect.
static void CopyArchivePath(const char *path)
{
    size_t len = strlen(path);
    s_archivePathCut = len >= ENGINE_PATH_SIZE;
    snprintf(g_archivePath, sizeof g_archivePath, "%.*s", ENGINE_PATH_SIZE - 1, path);
    if (!strchr(g_archivePath, '.'))
        strcat(g_archivePath, ".ZIP");
}

static void AllocateBuffers()
{
    g_window = g_inBuf = g_outBuf = nullptr;
    g_window = (unsigned char *)EngineAlloc(WINDOW_ALLOC);
    if (g_window) {
        memset(g_window, 0, WINDOW_ALLOC);
        g_inBuf = (unsigned char *)EngineAlloc(IOBUF_ALLOC);
        g_outBuf = (unsigned char *)EngineAlloc(IOBUF_ALLOC);
    }
    if (!g_window || !g_inBuf || !g_outBuf) {
        ShowEngineError(LoadResString(IDS_NO_MEMORY));
        AbortRun(EXTRACT_FAILED);
    }
}

static void FreeBlock(unsigned char **block)
{
    EngineFree(*block);
    *block = nullptr;
}

static void CleanUp()
{
    if (g_archive != HFILE_ERROR) {
        _lclose(g_archive);
        g_archive = HFILE_ERROR;
    }
    if (g_outFile != HFILE_ERROR) {
        _lclose(g_outFile);
        g_outFile = HFILE_ERROR;
        DeleteFileA(g_createPath);
    }
    // A run ended inside a Deflate block still holds that block's tables.
    ReleaseInflateTables();
    FreeBlock(&g_window);
    FreeBlock(&g_inBuf);
    FreeBlock(&g_outBuf);
    EngineFree(s_passwordCopy);
    s_passwordCopy = nullptr;
    g_password = g_defaultPassword;
    g_runActive = 0;
}

int RunExtraction(ExtractOptions *options)
{
    if (g_runActive)
        return 0;
    g_runActive = 1;
    g_options = options;
    g_testOnly = options->destDir == nullptr;
    CopyArchivePath(options->archivePath);
    g_bytesRead = 0;
    g_lastReported = 0;
    g_window = g_inBuf = g_outBuf = nullptr;
    if (setjmp(s_recovery) == 0) {
        AllocateBuffers();
        ExtractArchive();
    } else {
        options->status = s_abortStatus;
    }
    CleanUp();
    return 1;
}
