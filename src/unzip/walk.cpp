// The archive walker: reads the archive front to back by record signature,
// decides for each local entry whether it is extracted, and builds its path.
#include "engine.h"
#include "resource.h"

#include <string.h>

#define SIG_LOCAL   0x04034b50u
#define SIG_CENTRAL 0x02014b50u
#define SIG_END     0x06054b50u
#define SIG_DESCRIPTOR 0x08074b50u
#define DESCRIPTOR_CHECK 12u   // signature, CRC-32, compressed size

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

static int IsSeparator(char c)
{
    return c == '/' || c == '\\';
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
    // No local header has been read in this run: junk before the first
    // record must not be taken for a descriptor of the last run's entry.
    memset(&g_localHeader, 0, sizeof g_localHeader);
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
        if (IsSeparator(path[i]))
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

// Windows opens a device for these names whatever extension follows, and
// it ignores spaces before that extension ("NUL .txt" is NUL).
static int IsDeviceName(const char *leaf)
{
    static const char *const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t base = strcspn(leaf, ".");
    while (base > 0 && leaf[base - 1] == ' ')
        base--;
    char name[8] = {0};
    if (base < 3 || base >= sizeof name)
        return 0;
    for (size_t i = 0; i < base; i++)
        name[i] = (char)(leaf[i] >= 'a' && leaf[i] <= 'z' ? leaf[i] - 32 : leaf[i]);
    for (const char *d : devices) {
        if (strcmp(name, d) == 0)
            return 1;
    }
    return base == 4 && (strncmp(name, "COM", 3) == 0 || strncmp(name, "LPT", 3) == 0) &&
           name[3] >= '1' && name[3] <= '9';
}

// Windows trims trailing dots and spaces from names, so a component of
// nothing but those (".. ", "...") may end up meaning "..".
static int IsDotsOnly(const char *part, size_t n)
{
    return n > 0 && strspn(part, ". ") >= n && memchr(part, '.', n) != nullptr;
}

static int HasParentStep(const char *name)
{
    const char *p = name;
    while (*p) {
        size_t n = strcspn(p, "/\\");
        if (IsDotsOnly(p, n) && !(n == 1 && p[0] == '.'))
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
        return IsDotsOnly(leaf, strlen(leaf));
    return IsSeparator(kept[0]) || strchr(kept, ':') || HasParentStep(kept);
}

static void BuildOutputPath()
{
    char path[ENGINE_PATH_SIZE];
    const char *dest = g_options->destDir;
    size_t len = strlen(dest);
    int slash = len > 0 && !IsSeparator(dest[len - 1]);
    const char *kept = g_entryName;
    if (g_options->keepPaths && IsSeparator(kept[0]))
        kept++;
    // A leaf keeps a leading separator ("/a" is its own leaf); appended to
    // an empty destDir it would name the root of the drive.
    const char *leaf = LeafOf(g_entryName);
    if (IsSeparator(leaf[0]))
        leaf++;
    const char *part = g_options->keepPaths ? kept : leaf;
    size_t need = len + (size_t)slash + strlen(part);
    if (need >= sizeof path || IsUnsafeName(kept, leaf))
        FailWith(IDS_CANT_CREATE_OUTPUT, g_entryName);
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
    if (len > 0 && IsSeparator(g_entryName[len - 1]))
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

// A signed descriptor whose compressed size is its own distance from the
// data start, at that distance; the archive is read from where it stands.
static int IsDescriptorAt(const unsigned char *p, uint32_t distance)
{
    return ReadLE32(p) == SIG_DESCRIPTOR && ReadLE32(p + 8) == distance;
}

// Searches the data for its descriptor, chunk by chunk through the input
// buffer, which is free between entries. Returns the data's size, or 0 when
// there is none (or no data, which comes to the same).
static uint32_t ScanForDescriptor(uint32_t *crc)
{
    uint32_t base = 0;   // distance from the data start of g_inBuf[0]
    unsigned have = 0;
    for (;;) {
        UINT n = _lread(g_archive, g_inBuf + have, CHUNK_SIZE - have);
        if (n == 0 || n == (UINT)HFILE_ERROR)
            return 0;
        have += n;
        for (unsigned i = 0; i + DESCRIPTOR_CHECK <= have; i++) {
            if (g_inBuf[i] == 'P' && IsDescriptorAt(g_inBuf + i, base + i)) {
                *crc = ReadLE32(g_inBuf + i + 4);
                return base + i;
            }
        }
        unsigned keep = have < DESCRIPTOR_CHECK - 1 ? have : DESCRIPTOR_CHECK - 1;
        memmove(g_inBuf, g_inBuf + have - keep, keep);
        base += have - keep;
        have = keep;
    }
}

// Streaming archivers (bsdtar among them) leave the CRC, and for deflated
// data the compressed size, at 0 in the local header and give them only in
// the descriptor after the data; such an entry takes them from there.
static void TakeSizesFromDescriptor()
{
    LONG start = _llseek(g_archive, 0, FILE_CURRENT);
    uint32_t size = g_localHeader.compressedSize, crc = 0;
    if (start == HFILE_ERROR)
        return;
    if (size == 0) {
        size = ScanForDescriptor(&crc);
    } else {
        unsigned char d[DESCRIPTOR_CHECK];
        SkipForward(size);
        if (_lread(g_archive, d, sizeof d) == sizeof d && IsDescriptorAt(d, size))
            crc = ReadLE32(d + 4);
        else
            size = 0;
    }
    _llseek(g_archive, start, FILE_BEGIN);
    if (size == 0)
        return;
    g_localHeader.compressedSize = size;
    g_localHeader.crc32 = crc;
    g_csizeLeft = size;
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
    if (g_hasDescriptor && (g_localHeader.crc32 == 0 || g_localHeader.compressedSize == 0))
        TakeSizesFromDescriptor();
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
