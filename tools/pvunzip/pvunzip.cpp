// pvunzip: checks or unpacks a distribution archive with setup's own engine.
//   pvunzip [options] ARCHIVE [NAME...]
// Exit status: 0 completed, 2 failed, 99 cancelled, 1 usage error.
#include <windows.h>

#include <ctype.h>
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

// Clears the bar's line so that what follows starts at its left edge.
void EndProgressLine()
{
    if (s_showBar)
        fprintf(stderr, "\r%60s\r", "");
}

static LRESULT CALLBACK NotifyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case SETUP_MSG_FILENAME:
        EndProgressLine();
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

// The engine matches names written with '/'; a user on Windows may well
// type them with '\\'.
static NameListNode *AddName(NameListNode *list, const char *name)
{
    size_t len = strlen(name);
    NameListNode *node = (NameListNode *)calloc(1, sizeof(NameListNode) + len);
    if (!node) {
        fprintf(stderr, "pvunzip: out of memory\n");
        exit(2);
    }
    for (size_t i = 0; i <= len; i++)
        node->name[i] = name[i] == '\\' ? '/' : name[i];
    node->next = list;
    return node;
}

// Decimal, or hexadecimal after "0x": a leading zero is no octal here.
static int ParseOffset(const char *text, int *offset)
{
    int hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char *digits = hex ? text + 2 : text;
    char *end;
    if (!(hex ? isxdigit((unsigned char)digits[0]) : isdigit((unsigned char)digits[0])))
        return 0;
    unsigned long long v = strtoull(text, &end, hex ? 16 : 10);
    if (*end || v > 0x7FFFFFFFull)
        return 0;
    *offset = (int)v;
    return 1;
}

static int IsOption(const char *arg, const char *shortName, const char *longName)
{
    return strcmp(arg, shortName) == 0 || (longName && strcmp(arg, longName) == 0);
}

// Takes the option at argv[*i] (and its value); returns -1 when it was
// taken, else the exit status to end with.
static int TakeOption(int argc, char **argv, int *i, ExtractOptions *o, int *testOnly)
{
    const char *a = argv[*i];
    const char *value = *i + 1 < argc ? argv[*i + 1] : NULL;
    if (IsOption(a, "-h", "--help"))
        return Usage(NULL);
    if (IsOption(a, "-t", "--test"))
        *testOnly = 1;
    else if (IsOption(a, "-k", "--keep-paths"))
        o->keepPaths = 1;
    else if (IsOption(a, "-e", "--skip-empty"))
        o->skipEmpty = 1;
    else if (IsOption(a, "--ignore-crc", NULL))
        o->crcErrorsFatal = 0;
    else if (!value || !(IsOption(a, "-d", "--dir") || IsOption(a, "-P", "--password") ||
                         IsOption(a, "-O", "--offset")))
        return Usage("unknown option or missing value");
    else {
        ++*i;
        if (IsOption(a, "-d", "--dir"))
            o->destDir = value;
        else if (IsOption(a, "-P", "--password")) {
            o->hasPassword = 1;
            o->password = value;
        } else if (!ParseOffset(value, &o->startOffset))
            return Usage("bad offset");
    }
    return -1;
}

// Fills the record from the command line; returns -1 when it is complete,
// else the exit status to end with.
static int ParseArguments(int argc, char **argv, ExtractOptions *o, int *testOnly)
{
    static char here[] = ".";
    o->crcErrorsFatal = 1;
    o->destDir = here;
    int optionsEnded = 0;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (!optionsEnded && strcmp(a, "--") == 0) {
            optionsEnded = 1;
        } else if (!optionsEnded && a[0] == '-' && a[1]) {
            int status = TakeOption(argc, argv, &i, o, testOnly);
            if (status >= 0)
                return status;
        } else if (!o->archivePath) {
            o->archivePath = a;
        } else {
            o->nameList = AddName(o->nameList, a);
        }
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
    EndProgressLine();
    DestroyWindow(options.notifyWindow);
    while (options.nameList) {
        NameListNode *next = options.nameList->next;
        free(options.nameList);
        options.nameList = next;
    }
    return options.status;
}
