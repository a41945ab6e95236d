// Support of the engine tests; see engine_harness.h.
#include "engine_harness.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

WindowScript g_script;
AllocControl g_alloc;

// ---- the engine's heap ---------------------------------------------------

void *EngineAlloc(size_t size)
{
    if (++g_alloc.calls == g_alloc.failAt)
        return nullptr;
    void *block = malloc(size);
    if (block)
        g_alloc.live++;
    return block;
}

void EngineFree(void *block)
{
    if (block)
        g_alloc.live--;
    free(block);
}

// ---- files ---------------------------------------------------------------

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "pvtest-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp");
    path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
    for (auto &e : fs::recursive_directory_iterator(path, ec))
        fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path, ec);
}

Bytes ReadFileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string &path, const Bytes &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write((const char *)data.data(), (std::streamsize)data.size());
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

long long ModTime(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (long long)st.st_mtime : -1;
}

std::vector<std::string> ListFiles(const std::string &dir)
{
    std::vector<std::string> files;
    for (auto &e : fs::recursive_directory_iterator(dir)) {
        if (e.is_regular_file())
            files.push_back(fs::relative(e.path(), dir).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string FirstExisting(const std::vector<std::string> &paths)
{
    for (const std::string &p : paths) {
        if (FileExists(p))
            return p;
    }
    throw std::runtime_error("none of the sample files exists, first: " + paths.at(0));
}

static Bytes Cycle(const Bytes &source, size_t n, size_t skip)
{
    Bytes out(n);
    for (size_t i = 0; i < n; i++)
        out[i] = source[(skip + i) % source.size()];
    return out;
}

Bytes RealText(size_t n, size_t skip)
{
    static const Bytes text = ReadFileBytes(FirstExisting(
        {"/usr/share/common-licenses/GPL-3", "/usr/share/common-licenses/Apache-2.0",
         "/etc/services"}));
    return Cycle(text, n, skip);
}

Bytes RealBinary(size_t n, size_t skip)
{
    static const Bytes binary = ReadFileBytes(FirstExisting(
        {"/usr/lib/x86_64-linux-gnu/libc.so.6", "/lib/x86_64-linux-gnu/libc.so.6", "/bin/sh"}));
    return Cycle(binary, n, skip);
}

std::string Hex8(uint32_t value)
{
    char text[9];
    snprintf(text, sizeof text, "%08x", (unsigned)value);
    return text;
}

ZoneScope::ZoneScope(const char *zone)
{
    const char *old = getenv("TZ");
    had = old != nullptr;
    if (had)
        saved = old;
    setenv("TZ", zone, 1);
    tzset();
}

ZoneScope::~ZoneScope()
{
    if (had)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

// ---- the notification window and the run -----------------------------------

static RunResult *s_current;

static LRESULT CALLBACK TestWindowProc(HWND, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!s_current)
        return 0;
    if (message == SETUP_MSG_FILENAME) {
        s_current->names.push_back((const char *)lParam);
        if (g_script.onName)
            g_script.onName((const char *)lParam);
    } else if (message == SETUP_MSG_PROGRESS) {
        s_current->progress.push_back((unsigned)wParam);
        if (g_script.onProgress)
            g_script.onProgress();
        return s_current->progress.size() == g_script.cancelAtProgress;
    } else if (g_script.onOther) {
        g_script.onOther(message);
    }
    return 0;
}

HWND TestWindow()
{
    static HWND window;
    if (!window) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = TestWindowProc;
        wc.lpszClassName = "EngineTestWindow";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, "EngineTestWindow", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                 nullptr, nullptr);
    }
    return window;
}

static NameListNode *MakeList(const std::vector<std::string> &names)
{
    NameListNode *list = nullptr;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        auto *node = (NameListNode *)calloc(1, sizeof(NameListNode) + it->size());
        memcpy(node->name, it->c_str(), it->size() + 1);
        node->next = list;
        list = node;
    }
    return list;
}

RunResult RunJob(const Job &job)
{
    RunResult result;
    ExtractOptions options = {};
    options.crcErrorsFatal = job.crcErrorsFatal;
    options.archivePath = job.archive.c_str();
    options.destDir = job.destDir;
    options.nameList = MakeList(job.names);
    options.keepPaths = job.keepPaths;
    options.startOffset = job.startOffset;
    options.notifyWindow = TestWindow();
    options.skipEmpty = job.skipEmpty;
    options.hasPassword = job.password != nullptr;
    options.password = job.password;
    s_current = &result;
    testing::internal::CaptureStderr();
    result.returned = RunExtraction(&options);
    result.messages = testing::internal::GetCapturedStderr();
    s_current = nullptr;
    result.status = options.status;
    while (options.nameList) {
        NameListNode *next = options.nameList->next;
        free(options.nameList);
        options.nameList = next;
    }
    g_script = WindowScript();
    return result;
}
