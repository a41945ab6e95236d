// SETUP.EXE's entry point. It takes no options; the sequence does the rest.
#include "setup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunSetup(instance);
}
