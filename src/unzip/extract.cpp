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

// The product of two polynomials modulo the CRC polynomial, both in the
// CRC register's reflected bit order (bit 31 is x^0).
static constexpr uint32_t MulModPoly(uint32_t a, uint32_t b)
{
    uint32_t product = 0;
    for (uint32_t m = 1u << 31; m; m >>= 1) {
        if (a & m)
            product ^= b;
        b = (b & 1) ? 0xEDB88320u ^ (b >> 1) : b >> 1;
    }
    return product;
}

struct ZeroPowers {
    uint32_t p[32];   // p[k] = x^(8 * 2^k): 2^k zero bytes
};

static constexpr ZeroPowers MakeZeroPowers()
{
    ZeroPowers z{};
    z.p[0] = 1u << (31 - 8);
    for (int k = 1; k < 32; k++)
        z.p[k] = MulModPoly(z.p[k - 1], z.p[k - 1]);
    return z;
}

static constexpr ZeroPowers s_zeros = MakeZeroPowers();

// What multiplies a register to shift it past len zero bytes. Blocks come
// in one size nearly always, so the last one made is kept.
static uint32_t s_shiftLength, s_shiftFactor;

static uint32_t ZeroBytesFactor(uint32_t len)
{
    if (len != s_shiftLength) {
        uint32_t x = 1u << 31;
        for (int k = 0; (len >> k) != 0; k++) {
            if ((len >> k) & 1)
                x = MulModPoly(s_zeros.p[k], x);
        }
        s_shiftLength = len;
        s_shiftFactor = x;
    }
    return s_shiftFactor;
}

static inline uint32_t Crc8Bytes(uint32_t c, const unsigned char *p)
{
    uint32_t lo = c ^ ((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
                       (uint32_t)p[3] << 24);
    return s_crc.t[7][lo & 0xFF] ^ s_crc.t[6][(lo >> 8) & 0xFF] ^ s_crc.t[5][(lo >> 16) & 0xFF] ^
           s_crc.t[4][lo >> 24] ^ s_crc.t[3][p[4]] ^ s_crc.t[2][p[5]] ^ s_crc.t[1][p[6]] ^
           s_crc.t[0][p[7]];
}

// One run's table lookups wait on each other; four runs over the quarters
// of a block keep four going at once. The register over the whole block
// follows from the four: the CRC is linear, and a run started at 0 needs
// only to be shifted past the bytes that come after it.
static uint32_t CrcFourLanes(uint32_t c, const unsigned char *p, unsigned lane)
{
    const unsigned char *q = p + lane, *r = q + lane, *s = r + lane;
    uint32_t b = 0, d = 0, e = 0;
    for (unsigned i = 0; i < lane; i += 8) {
        c = Crc8Bytes(c, p + i);
        b = Crc8Bytes(b, q + i);
        d = Crc8Bytes(d, r + i);
        e = Crc8Bytes(e, s + i);
    }
    uint32_t shift = ZeroBytesFactor(lane);
    c = MulModPoly(shift, c) ^ b;
    c = MulModPoly(shift, c) ^ d;
    return MulModPoly(shift, c) ^ e;
}

// The same result as the byte-at-a-time update over the same bytes.
void UpdateCrc32(const unsigned char *p, unsigned n)
{
    uint32_t c = g_crc;
    unsigned lane = (n / 4) & ~7u;
    if (lane >= 512) {
        c = CrcFourLanes(c, p, lane);
        p += 4 * lane;
        n -= 4 * lane;
    }
    for (; n >= 8; n -= 8, p += 8)
        c = Crc8Bytes(c, p);
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

// Appends n bytes to the output, a block write each time it fills.
static void PutOutputBytes(const unsigned char *from, unsigned n)
{
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

void PutWindowBytes(unsigned n)
{
    PutOutputBytes(g_window, n);
}

static void CreateOutputFile()
{
    OemLeafToAnsi(g_entryName, g_createPath, sizeof g_createPath);
    g_outFile = _lcreat(g_createPath, 0);
    if (g_outFile == HFILE_ERROR)
        FailWith(IDS_CANT_CREATE_OUTPUT, g_entryName);
}

static uint64_t TicksOf(const FILETIME *ft)
{
    return (uint64_t)ft->dwHighDateTime << 32 | ft->dwLowDateTime;
}

// 0 for Sunday, as in SYSTEMTIME.
static int WeekDayOf(int year, int month, int day)
{
    static const int shift[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        year--;
    return (year + year / 4 - year / 100 + year / 400 + shift[month - 1] + day) % 7;
}

static int DaysInMonth(int year, int month)
{
    static const unsigned char days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return days[month - 1] + (month == 2 && leap);
}

// Orders moments of one year; not a count of anything.
static long YearKey(int month, int day, int hour, int minute, int second)
{
    return (((month * 32L + day) * 24 + hour) * 60 + minute) * 60 + second;
}

// A zone's change-over date: in a given year, the wDay-th (5: the last)
// wDayOfWeek of wMonth; a rule with a year of its own names a fixed date.
static long ChangeKey(const SYSTEMTIME *rule, int year)
{
    int day = rule->wDay;
    if (rule->wYear == 0) {
        int first = WeekDayOf(year, rule->wMonth, 1);
        day = 1 + (rule->wDayOfWeek - first + 7) % 7 + (rule->wDay - 1) * 7;
        while (day > DaysInMonth(year, rule->wMonth))
            day -= 7;
    }
    return YearKey(rule->wMonth, day, rule->wHour, rule->wMinute, rule->wSecond);
}

static int InDaylightTime(const TIME_ZONE_INFORMATION *tz, const SYSTEMTIME *t)
{
    const SYSTEMTIME *on = &tz->DaylightDate, *off = &tz->StandardDate;
    if (on->wMonth < 1 || on->wMonth > 12 || off->wMonth < 1 || off->wMonth > 12)
        return 0;
    long now = YearKey(t->wMonth, t->wDay, t->wHour, t->wMinute, t->wSecond);
    long start = ChangeKey(on, t->wYear), end = ChangeKey(off, t->wYear);
    return start < end ? now >= start && now < end : now >= start || now < end;
}

// The stored time is local time, under the offset in force at the entry's
// own date, daylight saving included, not today's. Windows 95 and NT 4 have
// no call for that (TzSpecificLocalTimeToSystemTime came with XP), so the
// zone's rule is applied here as those later systems apply it.
static void SetOutputFileTime()
{
    FILETIME local, utc;
    SYSTEMTIME st;
    TIME_ZONE_INFORMATION tz;
    if (!DosDateTimeToFileTime(g_localHeader.modDate, g_localHeader.modTime, &local) ||
        !FileTimeToSystemTime(&local, &st) ||
        GetTimeZoneInformation(&tz) == TIME_ZONE_ID_INVALID)
        return;
    LONG bias = tz.Bias + (InDaylightTime(&tz, &st) ? tz.DaylightBias : tz.StandardBias);
    uint64_t ticks = TicksOf(&local) + (uint64_t)((int64_t)bias * 600000000);
    utc.dwLowDateTime = (DWORD)ticks;
    utc.dwHighDateTime = (DWORD)(ticks >> 32);
    SetFileTime((HANDLE)(intptr_t)g_outFile, NULL, NULL, &utc);
}

// Whole runs of the chunk at once: a stored entry is a plain copy.
static void CopyStored()
{
    while (g_inAvail > 0 || FillInput() > 0) {
        PutOutputBytes(g_inPtr, g_inAvail);
        g_inPtr += g_inAvail;
        g_inAvail = 0;
    }
}

// The decoder's result 3 is a failed allocation, not a damaged stream.
static void Inflate()
{
    int result = InflateEntry();
    if (result == 3) {
        ShowEngineError(LoadResString(IDS_NO_MEMORY));
        AbortRun(EXTRACT_FAILED);
    }
    if (result != 0)
        FailWith(IDS_BAD_DATA, g_entryName);
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
        Inflate();
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
