// Arbitrary bytes as an archive file, run through the whole engine twice: a
// test-only run and a run that extracts into a scratch folder. The first
// byte picks the options. A run must end with a status of its own, give back
// every block it took, and write nothing outside its folder.
//
// Build (clang): cmake -S . -B build/fuzz -DCMAKE_C_COMPILER=clang
//   -DCMAKE_CXX_COMPILER=clang++ -DPV_FUZZ=ON && cmake --build build/fuzz
//   --target fuzz_archive; run: build/fuzz/fuzz_archive -max_len=65536 CORPUS
#include "engine.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static long s_liveBlocks;
static char s_root[64];
static char s_archive[96];
static char s_dest[96];
static HWND s_window;

void *EngineAlloc(size_t size)
{
    void *block = malloc(size);
    if (block)
        s_liveBlocks++;
    return block;
}

void EngineFree(void *block)
{
    if (block)
        s_liveBlocks--;
    free(block);
}

// Message boxes are the engine's normal way out; they are not findings.
void ShowEngineError(const char *)
{
}

static LRESULT CALLBACK NotifyProc(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}

static void SetUp()
{
    snprintf(s_root, sizeof s_root, "/tmp/pvfuzz-XXXXXX");
    if (!mkdtemp(s_root))
        abort();
    snprintf(s_archive, sizeof s_archive, "%s/arch.zip", s_root);
    snprintf(s_dest, sizeof s_dest, "%s/out", s_root);
    if (mkdir(s_dest, 0700) != 0)
        abort();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = NotifyProc;
    wc.lpszClassName = "FuzzNotify";
    RegisterClassA(&wc);
    s_window = CreateWindowExA(0, "FuzzNotify", "", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL);
}

// Removes the files of a folder other than those named in keep (a list
// ended by a null); returns how many it removed.
static int Clear(const char *dir, const char *const *keep)
{
    int count = 0;
    DIR *d = opendir(dir);
    if (!d)
        abort();
    while (struct dirent *e = readdir(d)) {
        int kept = strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0;
        for (const char *const *k = keep; *k && !kept; k++)
            kept = strcmp(e->d_name, *k) == 0;
        if (kept)
            continue;
        char path[512];
        snprintf(path, sizeof path, "%s/%s", dir, e->d_name);
        unlink(path);
        count++;
    }
    closedir(d);
    return count;
}

static void RunOnce(unsigned char flags, const char *destDir)
{
    ExtractOptions o = {};
    o.crcErrorsFatal = flags & 1;
    o.archivePath = s_archive;
    o.destDir = destDir;
    o.keepPaths = (flags >> 1) & 1;
    o.skipEmpty = (flags >> 2) & 1;
    o.hasPassword = (flags >> 3) & 1;
    o.password = "s3cret";
    o.notifyWindow = s_window;
    if (RunExtraction(&o) != 1)
        abort();
    if (o.status != EXTRACT_OK && o.status != EXTRACT_FAILED)
        abort();
    if (s_liveBlocks != 0 || g_runActive)
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!s_window)
        SetUp();
    if (size == 0)
        return 0;
    FILE *f = fopen(s_archive, "wb");
    if (!f || fwrite(data + 1, 1, size - 1, f) != size - 1 || fclose(f) != 0)
        abort();
    static const char *const none[] = {NULL};
    static const char *const ours[] = {"arch.zip", "out", NULL};
    RunOnce(data[0], NULL);
    if (Clear(s_dest, none) != 0)
        abort();
    RunOnce(data[0], s_dest);
    Clear(s_dest, none);
    // The scratch folder holds the archive and the output folder, nothing else.
    if (Clear(s_root, ours) != 0)
        abort();
    return 0;
}
