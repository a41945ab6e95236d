// The extraction engine's public face: one run over one archive, described by
// an ExtractOptions record, reported to a window through two messages.
#ifndef PARVEK_UNZIP_H
#define PARVEK_UNZIP_H

#include <windows.h>

#define SETUP_MSG_FILENAME (WM_USER + 278)   // lParam: leaf name of the entry
#define SETUP_MSG_PROGRESS (WM_USER + 280)   // wParam: archive bytes / 10240; reply != 0 cancels

enum ExtractStatus {
    EXTRACT_OK = 0,
    EXTRACT_FAILED = 2,
    EXTRACT_CANCELLED = 99
};

struct NameListNode {
    NameListNode *next;
    char name[1];          // NUL-terminated, allocated with the node
};

struct ExtractOptions {
    short crcErrorsFatal;      // 1: a CRC mismatch ends the run
    const char *archivePath;
    const char *destDir;       // null: test-only run
    NameListNode *nameList;    // null: every entry
    int keepPaths;
    int startOffset;
    HWND notifyWindow;
    int status;                // written only when the run ends early
    int skipEmpty;
    int hasPassword;
    const char *password;
};

// Set by the caller's window once the user has confirmed a cancel; the engine
// reads it after pumping messages. Never cleared during a process.
extern int g_cancelRequested;

// Returns 0 when a run is already in progress, 1 when this run took place.
int RunExtraction(ExtractOptions *options);

#endif
