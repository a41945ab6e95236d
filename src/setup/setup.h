// The setup driver's shared state and operations.
#ifndef PARVEK_SETUP_H
#define PARVEK_SETUP_H

#include <windows.h>
#include <stdint.h>

#include "resource.h"
#include "resstring.h"

#define PATH_SIZE 260
#define TITLE_SIZE 29

// The letter that follows "/install" in the hand-off command: it tells the
// main program which kind of distribution installed it.
#define DISTRIBUTION_CODE 'R'

extern char g_title[TITLE_SIZE];
extern char g_installingLabel[TITLE_SIZE];
extern char g_sourceDir[PATH_SIZE];
extern FILETIME g_setupWriteTime;
extern WIN32_FIND_DATAA g_findData;
extern char g_defaultDir[264];
extern char g_installDir[PATH_SIZE];
extern char g_installDirSlash[PATH_SIZE];
extern uint32_t g_totalKB;
extern HWND g_progressDlg;
extern uint32_t g_bytesCopied;
extern uint32_t g_lastMeterBytes;
extern int g_waitCursor;
extern HCURSOR g_hourglassCursor;

// Sequence (sequence.cpp)
int RunSetup(HINSTANCE instance);
int ExtractSetupArchive(HWND notifyWindow);
int PlaceMainProgram(const char *folder, const char *name);

// Messages and placement (message.cpp)
int ShowResMessage(HWND owner, UINT id, UINT flags, ...);
void CenterWindow(HWND window);

// Loose source files (sourcefiles.cpp)
int CheckSourceFiles(HWND owner, int mode);
int FindFileInfo(const char *path);
uint32_t SzddUncompressedSize(const char *path, uint32_t size);

// Dialogs
INT_PTR CALLBACK InstallDirDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK RestartDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void AppendBackslash(char *path);

// Default folder and the File Manager add-on
void ChooseDefaultDir();
char *ExpandLongPath(char *path);
int ReleaseFileManagerAddOn();
int WaitForFileRelease(const char *path, DWORD timeout);
int WithinTimeout(DWORD start, DWORD now, DWORD timeout);

#endif
