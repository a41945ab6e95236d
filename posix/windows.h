// The part of the Win32 interface that the extraction engine and pvunzip use,
// for the host build on POSIX systems. Only what our own code calls is here;
// behaviour follows what that code expects (see the .cpp files beside this one).
#ifndef PARVEK_POSIX_WINDOWS_H
#define PARVEK_POSIX_WINDOWS_H

#include <stddef.h>
#include <stdint.h>

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef char CHAR;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef void *HANDLE;
typedef int HFILE;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

struct PosixWindow;
typedef PosixWindow *HWND;
typedef struct PosixInstance *HINSTANCE;
typedef HINSTANCE HMODULE;

typedef LRESULT (CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct FILETIME { DWORD dwLowDateTime; DWORD dwHighDateTime; };
struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
struct POINT { LONG x, y; };
struct MSG {
    HWND hwnd; UINT message; WPARAM wParam; LPARAM lParam; DWORD time; POINT pt;
};
struct WNDCLASSA {
    UINT style; WNDPROC lpfnWndProc; int cbClsExtra; int cbWndExtra;
    HINSTANCE hInstance; void *hIcon; void *hCursor; void *hbrBackground;
    LPCSTR lpszMenuName; LPCSTR lpszClassName;
};
typedef uint16_t WCHAR;
struct TIME_ZONE_INFORMATION {
    LONG Bias; WCHAR StandardName[32]; SYSTEMTIME StandardDate; LONG StandardBias;
    WCHAR DaylightName[32]; SYSTEMTIME DaylightDate; LONG DaylightBias;
};
typedef TIME_ZONE_INFORMATION *LPTIME_ZONE_INFORMATION;
#define TIME_ZONE_ID_UNKNOWN 0
#define TIME_ZONE_ID_STANDARD 1
#define TIME_ZONE_ID_DAYLIGHT 2
#define TIME_ZONE_ID_INVALID ((DWORD)0xFFFFFFFF)

#define HFILE_ERROR ((HFILE)-1)
#define OF_READ 0x0000
#define OF_WRITE 0x0001
#define OF_READWRITE 0x0002
#define OF_SHARE_EXCLUSIVE 0x0010
#define OF_SHARE_DENY_WRITE 0x0020
#define OF_SHARE_DENY_NONE 0x0040
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_USER 0x0400
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001
#define HWND_MESSAGE ((HWND)(intptr_t)-3)

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_YESNO 0x00000004L
#define MB_ICONERROR 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONINFORMATION 0x00000040L
#define MB_TASKMODAL 0x00002000L
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

// Files (posix/files.cpp)
HFILE _lopen(LPCSTR path, int mode);
HFILE _lcreat(LPCSTR path, int attributes);
UINT _lread(HFILE file, LPVOID buffer, UINT count);
UINT _lwrite(HFILE file, LPCSTR buffer, UINT count);
LONG _llseek(HFILE file, LONG offset, int origin);
HFILE _lclose(HFILE file);
BOOL DeleteFileA(LPCSTR path);
BOOL MoveFileA(LPCSTR from, LPCSTR to);
DWORD GetLastError();

// File times (posix/times.cpp)
BOOL DosDateTimeToFileTime(WORD date, WORD time, FILETIME *fileTime);
BOOL FileTimeToSystemTime(const FILETIME *fileTime, SYSTEMTIME *systemTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME *systemTime, FILETIME *fileTime);
DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION zone);
BOOL SetFileTime(HANDLE file, const FILETIME *creation, const FILETIME *access,
                 const FILETIME *write);

// Strings and text (posix/text.cpp)
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
int lstrcmpiA(LPCSTR a, LPCSTR b);
BOOL OemToCharA(LPCSTR src, LPSTR dest);
BOOL CharToOemA(LPCSTR src, LPSTR dest);
HMODULE GetModuleHandleA(LPCSTR name);

// In-process windows and messages (posix/window.cpp)
BOOL RegisterClassA(const WNDCLASSA *windowClass);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, void *menu, HINSTANCE instance,
                     LPVOID param);
BOOL DestroyWindow(HWND window);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PeekMessageA(MSG *msg, HWND window, UINT first, UINT last, UINT remove);
BOOL TranslateMessage(const MSG *msg);
LRESULT DispatchMessageA(const MSG *msg);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#define LoadString LoadStringA
#define MessageBox MessageBoxA
#define lstrcmpi lstrcmpiA
#define OemToChar OemToCharA
#define CharToOem CharToOemA
#define DeleteFile DeleteFileA
#define MoveFile MoveFileA
#define SendMessage SendMessageA
#define PostMessage PostMessageA
#define PeekMessage PeekMessageA
#define DispatchMessage DispatchMessageA
#define DefWindowProc DefWindowProcA
#define RegisterClass RegisterClassA
#define CreateWindowEx CreateWindowExA
#define GetModuleHandle GetModuleHandleA
#define WNDCLASS WNDCLASSA

// The string table compiled from the resource script (generated source).
struct PosixString { UINT id; const char *text; };
extern const PosixString g_posixStrings[];
extern const size_t g_posixStringCount;

#endif
