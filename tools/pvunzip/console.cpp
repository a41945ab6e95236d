// PVUNZIP.EXE is a console program: the engine's errors go to standard error,
// worded exactly as the engine words them.
#include "engine.h"

#include <stdio.h>

void ShowEngineError(const char *text)
{
    fprintf(stderr, "%s\n", text);
    fflush(stderr);
}
