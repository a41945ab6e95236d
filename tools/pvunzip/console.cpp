// pvunzip is a console program: the engine's errors go to standard error,
// worded exactly as the engine words them, on a line of their own even when
// the progress bar is showing.
#include "engine.h"

#include <stdio.h>

void EndProgressLine();

void ShowEngineError(const char *text)
{
    EndProgressLine();
    fprintf(stderr, "%s\n", text);
    fflush(stderr);
}
