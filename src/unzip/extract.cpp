// Extraction of one entry, and the two streams its bytes pass through: the
// input stage (chunked reads, progress, decryption) and the output stage
// (block writes with the CRC-32 taken over each block as it goes out).
#include "engine.h"
#include "resource.h"

#include <string.h>

unsigned char *g_inPtr;
unsigned g_inAvail;
unsigned char *g_outPtr;
unsigned g_outCount;
uint32_t g_crc;
char g_createPath[ENGINE_PATH_SIZE];

struct CrcTables {
    uint32_t t[8][256];
};

// t[0] is the table of the ZIP format's CRC-32 (reflected polynomial
// 0xEDB88320); t[1..7] extend it to eight bytes a step.
static constexpr CrcTables MakeCrcTables()
{
    CrcTables c{};
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t v = i;
        for (int k = 0; k < 8; k++)
            v = (v & 1) ? 0xEDB88320u ^ (v >> 1) : v >> 1;
        c.t[0][i] = v;
    }
    for (int k = 1; k < 8; k++) {
        for (uint32_t i = 0; i < 256; i++)
            c.t[k][i] = c.t[0][c.t[k - 1][i] & 0xFF] ^ (c.t[k - 1][i] >> 8);
    }
    return c;
}

static constexpr CrcTables s_crc = MakeCrcTables();
const uint32_t (&g_crcTable)[256] = s_crc.t[0];

// Eight bytes a step through the extended tables; the result is the same as
// the byte-at-a-time update over the same bytes.
void UpdateCrc32(const unsigned char *p, unsigned n)
{
    uint32_t c = g_crc;
    while (n >= 8) {
        uint32_t lo = c ^ ((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                           (uint32_t)p[3] << 24);
        c = s_crc.t[7][lo & 0xFF] ^ s_crc.t[6][(lo >> 8) & 0xFF] ^
            s_crc.t[5][(lo >> 16) & 0xFF] ^ s_crc.t[4][lo >> 24] ^ s_crc.t[3][p[4]] ^
            s_crc.t[2][p[5]] ^ s_crc.t[1][p[6]] ^ s_crc.t[0][p[7]];
        p += 8;
        n -= 8;
    }
    while (n--)
        c = g_crcTable[(c ^ *p++) & 0xFF] ^ (c >> 8);
    g_crc = c;
}

unsigned FillInput()
{
    if (g_csizeLeft == 0)
        return 0;
    unsigned n = g_csizeLeft < CHUNK_SIZE ? (unsigned)g_csizeLeft : CHUNK_SIZE;
    if (_lread(g_archive, g_inBuf, n) != n)
        FailRead();
    ReportProgress(0, n);
    g_csizeLeft -= n;
    if (g_encrypted)
        DecryptBuffer(g_inBuf, n);
    g_inPtr = g_inBuf;
    g_inAvail = n;
    return n;
}

static void WriteOutput()
{
    UpdateCrc32(g_outBuf, g_outCount);
    if (!g_testOnly)
        CheckWrite((int)_lwrite(g_outFile, (const char *)g_outBuf, g_outCount));
}

void FlushOutput()
{
    WriteOutput();
    g_outPtr = g_outBuf;
    g_outCount = 0;
}

void PutWindowBytes(unsigned n)
{
    const unsigned char *from = g_window;
    while (n > 0) {
        unsigned room = CHUNK_SIZE - g_outCount;
        unsigned piece = n < room ? n : room;
        memcpy(g_outPtr, from, piece);
        g_outPtr += piece;
        from += piece;
        g_outCount += piece;
        n -= piece;
        if (g_outCount == CHUNK_SIZE)
            FlushOutput();
    }
}

static void CreateOutputFile()
{
    OemLeafToAnsi(g_entryName, g_createPath, sizeof g_createPath);
    g_outFile = _lcreat(g_createPath, 0);
    if (g_outFile == HFILE_ERROR)
        FailWith(IDS_CANT_CREATE_OUTPUT, g_entryName);
}

// The stored time is local time; which offset applies is that of the entry's
// own date, daylight saving included, not the one in force today.
static void SetOutputFileTime()
{
    FILETIME local, utc;
    SYSTEMTIME localSt, utcSt;
    if (!DosDateTimeToFileTime(g_localHeader.modDate, g_localHeader.modTime, &local) ||
        !FileTimeToSystemTime(&local, &localSt) ||
        !TzSpecificLocalTimeToSystemTime(NULL, &localSt, &utcSt) ||
        !SystemTimeToFileTime(&utcSt, &utc))
        return;
    SetFileTime((HANDLE)(intptr_t)g_outFile, NULL, NULL, &utc);
}

static void CopyStored()
{
    uint16_t byte;
    while (NextInputByte(&byte))
        PutOutputByte((unsigned char)byte);
}

void ExtractEntry()
{
    g_inAvail = 0;
    g_inPtr = g_inBuf;
    g_outCount = 0;
    g_outPtr = g_outBuf;
    g_crc = 0xFFFFFFFFu;
    if (!g_testOnly)
        CreateOutputFile();
    if (g_localHeader.method == 0) {
        AnnounceFile();
        CopyStored();
    } else if (g_localHeader.method == 8) {
        AnnounceFile();
        if (InflateEntry() != 0)
            FailWith(IDS_BAD_DATA, g_entryName);
    } else {
        ShowEngineError(LoadResString(IDS_UNKNOWN_METHOD));
        AbortRun(EXTRACT_FAILED);
    }
    if (g_outCount > 0)
        WriteOutput();
    if (!g_testOnly) {
        SetOutputFileTime();
        _lclose(g_outFile);
    }
    g_outFile = HFILE_ERROR;
    uint32_t crc = ~g_crc;
    if (crc != g_localHeader.crc32 && g_options->crcErrorsFatal == 1)
        FailWith(IDS_BAD_CRC, g_entryName, (unsigned long)crc,
                 (unsigned long)g_localHeader.crc32);
}
