// What the engine tests share: scratch folders, a run of RunExtraction with
// its messages captured and its notifications recorded, file helpers, and
// the engine's heap with allocations that can be made to fail.
#ifndef PARVEK_ENGINE_HARNESS_H
#define PARVEK_ENGINE_HARNESS_H

#include "unzip.h"
#include "zipwriter.h"

#include <functional>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with its
// contents at the end of the scope.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

// Contents taken from real files of this machine (a licence text, a shared
// library), repeated when n runs past their end.
Bytes RealText(size_t n, size_t skip = 0);
Bytes RealBinary(size_t n, size_t skip = 0);
std::string FirstExisting(const std::vector<std::string> &paths);
std::string Hex8(uint32_t value);

Bytes ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const Bytes &data);
bool FileExists(const std::string &path);
long long ModTime(const std::string &path);            // seconds since 1970, UTC
std::vector<std::string> ListFiles(const std::string &dir);   // regular files, relative, sorted

// One extraction job; RunJob turns it into an ExtractOptions record.
struct Job {
    std::string archive;
    const char *destDir = nullptr;       // null: test-only run
    std::vector<std::string> names;
    int keepPaths = 0;
    int startOffset = 0;
    int skipEmpty = 0;
    short crcErrorsFatal = 1;
    const char *password = nullptr;      // sets hasPassword
};

struct RunResult {
    int returned = -1;
    int status = -1;
    std::string messages;                // what the message boxes said, one line each
    std::vector<std::string> names;      // SETUP_MSG_FILENAME, in order
    std::vector<unsigned> progress;      // SETUP_MSG_PROGRESS wParam values, in order
};

// How the notification window answers, reset by every RunJob.
struct WindowScript {
    unsigned cancelAtProgress = 0;             // 1-based report whose reply is non-zero
    std::function<void(const char *)> onName;  // runs inside SETUP_MSG_FILENAME
    std::function<void()> onProgress;          // runs inside SETUP_MSG_PROGRESS
    std::function<void(UINT)> onOther;         // any other message, posted ones included
};
extern WindowScript g_script;

RunResult RunJob(const Job &job);
HWND TestWindow();

// The test version of EngineAlloc/EngineFree.
struct AllocControl {
    unsigned failAt = 0;      // 1-based number of the allocation to fail; 0: none
    unsigned calls = 0;
    long live = 0;            // blocks not yet freed
};
extern AllocControl g_alloc;

// Sets TZ for its scope.
struct ZoneScope {
    std::string saved;
    bool had;
    explicit ZoneScope(const char *zone);
    ~ZoneScope();
};

#endif
