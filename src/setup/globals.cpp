// The global installer state: one instance of each item for the whole process.
#include "setup.h"

char g_title[TITLE_SIZE];
char g_installingLabel[TITLE_SIZE];
char g_sourceDir[PATH_SIZE];
FILETIME g_setupWriteTime;
WIN32_FIND_DATAA g_findData;
char g_defaultDir[264] = "C:\\Parvek";
char g_installDir[PATH_SIZE];
char g_installDirSlash[PATH_SIZE];
uint32_t g_totalKB;
HWND g_progressDlg;
uint32_t g_bytesCopied;
uint32_t g_lastMeterBytes;
int g_waitCursor;
HCURSOR g_hourglassCursor;
