// SETUP.EXE's code with a watcher in front: runs the whole setup sequence
// with the given answers and writes down every box and dialog it showed.
//   setup_harness TRANSCRIPT [ANSWER...]
#include "boxwatch.h"
#include "setup.h"

#include <stdio.h>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 1;
    std::vector<std::string> answers(argv + 2, argv + argc);
    WatchStart(answers);
    RunSetup(GetModuleHandleA(NULL));
    std::string transcript = Transcript(WatchStop());
    FILE *f = fopen(argv[1], "wb");
    if (!f)
        return 1;
    fputs(transcript.c_str(), f);
    fclose(f);
    return 0;
}
