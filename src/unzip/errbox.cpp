// The engine's error box, owned by the run's notification window. A console
// front end links its own version of this unit in place of this one.
#include "engine.h"

void ShowEngineError(const char *text)
{
    MessageBoxA(g_options->notifyWindow, text, NULL, MB_ICONERROR | MB_OK);
}
