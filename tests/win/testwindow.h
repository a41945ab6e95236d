// A top-level window of a class registered for the test, as another
// program (the product, File Manager) would have one.
#ifndef PARVEK_TESTWINDOW_H
#define PARVEK_TESTWINDOW_H

#include <windows.h>

HWND CreateTestWindow(const char *className, WNDPROC proc = DefWindowProcA,
                      const char *title = "");

#endif
