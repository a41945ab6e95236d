// Plays the installed main program in tests and the demo: it writes down
// the command line and the current folder it was started with, in
// "handoff.txt" in that folder, and ends.
#include <windows.h>

#include <stdio.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    FILE *f = fopen("handoff.txt", "wb");
    if (!f)
        return 1;
    fprintf(f, "%s\n%s\n", GetCommandLineA(), folder);
    fclose(f);
    return 0;
}
