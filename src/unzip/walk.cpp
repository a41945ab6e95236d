// The archive walker: reads the archive front to back by record signature,
// decides for each local entry whether it is extracted, and builds its path.
#include "engine.h"
#include "resource.h"

#include <string.h>

#define SIG_LOCAL   0x04034b50u
#define SIG_CENTRAL 0x02014b50u
#define SIG_END     0x06054b50u

LocalHeader g_localHeader;
int g_encrypted;
int g_hasDescriptor;
uint32_t g_csizeLeft;

uint16_t ReadLE16(const unsigned char *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

uint32_t ReadLE32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static void ReadExactly(void *buf, UINT n)
{
    if (_lread(g_archive, buf, n) != n)
        FailRead();
}

// Sizes in the archive are unsigned 32-bit; a single seek takes a signed
// offset, so large skips go in steps and never turn into a step backwards.
static void SkipForward(uint32_t n)
{
    while (n > 0) {
        uint32_t step = n > 0x40000000u ? 0x40000000u : n;
        _llseek(g_archive, (LONG)step, FILE_CURRENT);
        n -= step;
    }
}

void OpenArchive()
{
    g_archive = _lopen(g_archivePath, OF_READ | OF_SHARE_DENY_WRITE);
    if (g_archive == HFILE_ERROR) {
        CharToOemA(g_archivePath, g_archivePath);
        FailWith(IDS_CANT_OPEN_INPUT, g_archivePath);
    }
    _llseek(g_archive, g_options->startOffset, FILE_BEGIN);
}

// A name that does not fit our buffer cannot be a name we would write.
static void ReadEntryName(unsigned length)
{
    if (length >= ENGINE_PATH_SIZE)
        FailWith(IDS_BAD_HEADER);
    ReadExactly(g_entryName, length);
    g_entryName[length] = 0;
}

const char *LeafOf(const char *path)
{
    size_t len = strlen(path);
    for (size_t i = len; i-- > 1;) {
        if (path[i] == '\\' || path[i] == '/')
            return path + i + 1;
    }
    return path;
}

void OemLeafToAnsi(const char *src, char *dest, size_t destSize)
{
    char path[ENGINE_PATH_SIZE];
    size_t len = strlen(src);
    if (len >= sizeof path || len >= destSize)
        len = (sizeof path < destSize ? sizeof path : destSize) - 1;
    memcpy(path, src, len);
    path[len] = 0;
    char *leaf = strrchr(path, '\\');
    leaf = leaf ? leaf + 1 : path;
    OemToCharA(leaf, leaf);
    memcpy(dest, path, strlen(path) + 1);
}

static int NameInList()
{
    if (!g_options->nameList)
        return 1;
    for (char *p = g_entryName; *p; p++) {
        if (*p == '\\')
            *p = '/';
    }
    for (NameListNode *node = g_options->nameList; node; node = node->next) {
        if (lstrcmpiA(node->name, g_entryName) == 0)
            return 1;
    }
    return 0;
}

static int IsDeviceName(const char *leaf)
{
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL"};
    size_t base = strcspn(leaf, ".");
    char name[5] = {0};
    if (base < 3 || base > 4)
        return 0;
    for (size_t i = 0; i < base; i++)
        name[i] = (char)(leaf[i] >= 'a' && leaf[i] <= 'z' ? leaf[i] - 32 : leaf[i]);
    if (base == 3) {
        for (const char *d : devices) {
            if (strcmp(name, d) == 0)
                return 1;
        }
        return 0;
    }
    return (strncmp(name, "COM", 3) == 0 || strncmp(name, "LPT", 3) == 0) && name[3] >= '1' &&
           name[3] <= '9';
}

static int HasParentStep(const char *name)
{
    const char *p = name;
    while (*p) {
        size_t n = strcspn(p, "/\\");
        if (n == 2 && p[0] == '.' && p[1] == '.')
            return 1;
        p += n;
        if (*p)
            p++;
    }
    return 0;
}

// Refuses what would land outside the destination folder, or in a device or
// an alternate stream on Windows, where the file would silently go missing.
static int IsUnsafeName(const char *kept, const char *leaf)
{
    if (strchr(leaf, ':') || IsDeviceName(leaf))
        return 1;
    if (!g_options->keepPaths)
        return strcmp(leaf, ".") == 0 || strcmp(leaf, "..") == 0;
    return kept[0] == '/' || kept[0] == '\\' || strchr(kept, ':') || HasParentStep(kept);
}

static void BuildOutputPath()
{
    char path[ENGINE_PATH_SIZE];
    const char *dest = g_options->destDir;
    size_t len = strlen(dest);
    int slash = len > 0 && dest[len - 1] != '\\' && dest[len - 1] != '/';
    const char *kept = g_entryName;
    if (g_options->keepPaths && (kept[0] == '/' || kept[0] == '\\'))
        kept++;
    const char *part = g_options->keepPaths ? kept : LeafOf(g_entryName);
    size_t need = len + (size_t)slash + strlen(part);
    if (need >= sizeof path || IsUnsafeName(kept, LeafOf(g_entryName))) {
        char shown[ENGINE_PATH_SIZE + 8];
        memcpy(shown, g_entryName, strlen(g_entryName) + 1);
        FailWith(IDS_CANT_CREATE_OUTPUT, shown);
    }
    memcpy(path, dest, len);
    if (slash)
        path[len++] = '\\';
    memcpy(path + len, part, strlen(part) + 1);
    for (char *p = path; *p; p++) {
        if (*p == '/')
            *p = '\\';
    }
    memcpy(g_entryName, path, strlen(path) + 1);
}

static void DecodeLocalHeader(const unsigned char *b)
{
    g_localHeader.versionNeeded = ReadLE16(b);
    g_localHeader.flags = ReadLE16(b + 2);
    g_localHeader.method = ReadLE16(b + 4);
    g_localHeader.modTime = ReadLE16(b + 6);
    g_localHeader.modDate = ReadLE16(b + 8);
    g_localHeader.crc32 = ReadLE32(b + 10);
    g_localHeader.compressedSize = ReadLE32(b + 14);
    g_localHeader.uncompressedSize = ReadLE32(b + 18);
    g_localHeader.nameLength = ReadLE16(b + 22);
    g_localHeader.extraLength = ReadLE16(b + 24);
}

static int EntryIsWanted()
{
    size_t len = strlen(g_entryName);
    if (len > 0 && (g_entryName[len - 1] == '/' || g_entryName[len - 1] == '\\'))
        return 0;
    if (g_localHeader.uncompressedSize == 0 && g_options->skipEmpty)
        return 0;
    if (g_testOnly)
        return 1;
    if (!NameInList())
        return 0;
    BuildOutputPath();
    return 1;
}

static void ProcessEntry()
{
    if (g_encrypted) {
        if (g_localHeader.compressedSize < ENCRYPT_HEADER)
            FailWith(IDS_BAD_HEADER);
        if (!ReadEncryptionHeader()) {
            ShowEngineError("INCORRECT PASSWORD");
            AbortRun(EXTRACT_FAILED);
        }
    }
    ExtractEntry();
    // A stream that ended before its stored size leaves the rest unread.
    SkipForward(g_csizeLeft);
}

static void ProcessLocalHeader()
{
    unsigned char fixed[26];
    ReadExactly(fixed, sizeof fixed);
    DecodeLocalHeader(fixed);
    g_encrypted = g_localHeader.flags & 1;
    g_hasDescriptor = (g_localHeader.flags >> 3) & 1;
    g_csizeLeft = g_localHeader.compressedSize;
    ReadEntryName(g_localHeader.nameLength);
    SkipForward(g_localHeader.extraLength);
    if (EntryIsWanted())
        ProcessEntry();
    else
        SkipForward(g_localHeader.compressedSize);
    if (g_hasDescriptor)
        SkipForward(16);
}

// Central names are only read past; one too long for our buffer is skipped
// rather than refused, since nothing is written under it.
static void SkipCentralHeader()
{
    unsigned char fixed[42];
    ReadExactly(fixed, sizeof fixed);
    unsigned nameLength = ReadLE16(fixed + 24);
    unsigned kept = nameLength < ENGINE_PATH_SIZE ? nameLength : ENGINE_PATH_SIZE - 1;
    ReadExactly(g_entryName, kept);
    g_entryName[kept] = 0;
    SkipForward(nameLength - kept);
    SkipForward(ReadLE16(fixed + 26));
    SkipForward(ReadLE16(fixed + 28));
}

static void SkipEndRecord()
{
    unsigned char fixed[18];
    ReadExactly(fixed, sizeof fixed);
    SkipForward(ReadLE16(fixed + 16));
}

static int IsSignature(uint32_t sig)
{
    return sig == SIG_LOCAL || sig == SIG_CENTRAL || sig == SIG_END;
}

static int ResyncToSignature()
{
    if ((g_localHeader.flags & 8) && _llseek(g_archive, -17, FILE_CURRENT) == HFILE_ERROR)
        return 0;
    for (;;) {
        unsigned char b[4];
        if (_llseek(g_archive, -3, FILE_CURRENT) == HFILE_ERROR)
            return 0;
        if (_lread(g_archive, b, 4) != 4)
            return 0;
        if (IsSignature(ReadLE32(b)))
            return _llseek(g_archive, -4, FILE_CURRENT) != HFILE_ERROR;
    }
}

void WalkArchive()
{
    for (;;) {
        unsigned char b[4];
        ReadExactly(b, 4);
        uint32_t sig = ReadLE32(b);
        if (sig == SIG_LOCAL) {
            ProcessLocalHeader();
        } else if (sig == SIG_CENTRAL) {
            SkipCentralHeader();
        } else if (sig == SIG_END) {
            SkipEndRecord();
            return;
        } else if (!ResyncToSignature()) {
            FailWith(IDS_BAD_HEADER);
        }
    }
}
