// Dialog 300 as the setup sequence opens it, for tests that drive the
// progress dialog, the copy pass or the engine inside the test process.
#ifndef PARVEK_PROGRESSDLG_H
#define PARVEK_PROGRESSDLG_H

#include <windows.h>

#include <string>
#include <vector>

#include "boxwatch.h"

// Gives g_progressDlg shown, with empty status lines, Cancel enabled and the
// meter at 0 of the range; loads the title and the status label first. The
// dialog is created once per process and never hidden: without a window
// manager, Wine waits two seconds whenever a shown window is hidden.
HWND UseDialog300(unsigned range);

// Every position sent to the dialog's meter since UseDialog300.
const std::vector<unsigned> &MeterPositions();
// Called after the meter has handled each new position; cleared by
// UseDialog300.
extern void (*g_afterMeterPos)(HWND meter, unsigned pos);

// The lines of a transcript that tell of message boxes, without dialog 300,
// which is seen again whenever it becomes active after a box.
std::string Boxes(const std::vector<SeenWindow> &seen);

// The text of a control of g_progressDlg.
std::string ItemText(int id);

#endif
