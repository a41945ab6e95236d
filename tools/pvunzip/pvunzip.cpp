// pvunzip: checks or unpacks a distribution archive with setup's own engine.
//   pvunzip [options] ARCHIVE [NAME...]
// Exit status: 0 completed, 2 failed, 99 cancelled, 1 usage error.
#include <windows.h>

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "resstring.h"
#include "unzip.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define STDERR_NO 2
#else
#include <unistd.h>
#define STDERR_NO STDERR_FILENO
#endif

static const char kUsage[] =
    "usage: pvunzip [options] ARCHIVE [NAME...]\n"
    "  -t, --test           decode every entry and check its CRC, write nothing\n"
    "  -d, --dir DIR        extract into DIR (default: the current folder)\n"
    "  -k, --keep-paths     keep stored folders (they must exist)\n"
    "  -P, --password TEXT  use TEXT in place of the built-in password\n"
    "  -O, --offset N       the archive's records start at byte N\n"
    "  -e, --skip-empty     skip empty entries\n"
    "      --ignore-crc     a CRC mismatch is not fatal\n"
    "  -h, --help           show this text\n"
    "NAMEs select entries by their stored names (case does not matter).\n";

static volatile sig_atomic_t s_interrupted;
static int s_showBar;
static unsigned long s_totalUnits;
static unsigned s_lastUnits;
static unsigned long s_wraps;

#ifdef _WIN32
static BOOL WINAPI OnConsoleCtrl(DWORD)
{
    s_interrupted = 1;
    return TRUE;
}
#else
static void OnInterrupt(int)
{
    s_interrupted = 1;
}
#endif

static void DrawBar(unsigned units)
{
    if (units < s_lastUnits)
        s_wraps++;
    s_lastUnits = units;
    unsigned long done = s_wraps * 65536ul + units;
    unsigned percent = s_totalUnits ? (unsigned)(done * 100 / s_totalUnits) : 100;
    if (percent > 100)
        percent = 100;
    char bar[41];
    memset(bar, ' ', 40);
    memset(bar, '#', percent * 40 / 100);
    bar[40] = 0;
    fprintf(stderr, "\r[%s] %3u%%", bar, percent);
    fflush(stderr);
}

static LRESULT CALLBACK NotifyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case SETUP_MSG_FILENAME:
        if (s_showBar)
            fprintf(stderr, "\r%60s\r", "");
        printf("  %s\n", (const char *)lParam);
        fflush(stdout);
        return 0;
    case SETUP_MSG_PROGRESS:
        if (s_showBar)
            DrawBar((unsigned)wParam);
        return s_interrupted;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static HWND CreateNotifyWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = NotifyProc;
    wc.hInstance = g_hInstance;
    wc.lpszClassName = "PvunzipNotify";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "PvunzipNotify", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                           g_hInstance, NULL);
}

static int Usage(const char *problem)
{
    if (problem)
        fprintf(stderr, "pvunzip: %s\n", problem);
    fputs(kUsage, problem ? stderr : stdout);
    return problem ? 1 : 0;
}

static NameListNode *AddName(NameListNode *list, const char *name)
{
    size_t len = strlen(name);
    NameListNode *node = (NameListNode *)calloc(1, sizeof(NameListNode) + len);
    if (!node) {
        fprintf(stderr, "pvunzip: out of memory\n");
        exit(2);
    }
    memcpy(node->name, name, len + 1);
    node->next = list;
    return node;
}

static int IsOption(const char *arg, const char *shortName, const char *longName)
{
    return strcmp(arg, shortName) == 0 || (longName && strcmp(arg, longName) == 0);
}

// Fills the record from the command line; returns -1 when it is complete,
// else the exit status to end with.
static int ParseArguments(int argc, char **argv, ExtractOptions *o, int *testOnly)
{
    static char here[] = ".";
    o->crcErrorsFatal = 1;
    o->destDir = here;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        int hasValue = i + 1 < argc;
        if (IsOption(a, "-h", "--help"))
            return Usage(NULL);
        else if (IsOption(a, "-t", "--test"))
            *testOnly = 1;
        else if (IsOption(a, "-k", "--keep-paths"))
            o->keepPaths = 1;
        else if (IsOption(a, "-e", "--skip-empty"))
            o->skipEmpty = 1;
        else if (IsOption(a, "--ignore-crc", NULL))
            o->crcErrorsFatal = 0;
        else if (IsOption(a, "-d", "--dir") && hasValue)
            o->destDir = argv[++i];
        else if (IsOption(a, "-P", "--password") && hasValue) {
            o->hasPassword = 1;
            o->password = argv[++i];
        } else if (IsOption(a, "-O", "--offset") && hasValue) {
            char *end;
            long v = strtol(argv[++i], &end, 0);
            if (*end || v < 0 || v > 0x7FFFFFFFL)
                return Usage("bad offset");
            o->startOffset = (int)v;
        } else if (a[0] == '-' && a[1])
            return Usage("unknown option or missing value");
        else if (!o->archivePath)
            o->archivePath = a;
        else
            o->nameList = AddName(o->nameList, a);
    }
    if (!o->archivePath)
        return Usage("no archive given");
    return -1;
}

static unsigned long ArchiveUnits(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 ? (unsigned long)(st.st_size / 10240) : 0;
}

int main(int argc, char **argv)
{
    g_hInstance = GetModuleHandleA(NULL);
    ExtractOptions options = {};
    int testOnly = 0;
    int status = ParseArguments(argc, argv, &options, &testOnly);
    if (status >= 0)
        return status;
    if (testOnly)
        options.destDir = NULL;
#ifdef _WIN32
    SetConsoleCtrlHandler(OnConsoleCtrl, TRUE);
#else
    signal(SIGINT, OnInterrupt);
#endif
    s_showBar = isatty(STDERR_NO);
    s_totalUnits = ArchiveUnits(options.archivePath);
    options.notifyWindow = CreateNotifyWindow();
    RunExtraction(&options);
    if (s_showBar)
        fprintf(stderr, "\r%60s\r", "");
    DestroyWindow(options.notifyWindow);
    while (options.nameList) {
        NameListNode *next = options.nameList->next;
        free(options.nameList);
        options.nameList = next;
    }
    return options.status;
}
