// File times for the host build. A FILETIME counts 100-nanosecond steps since
// 1601-01-01; local time is the system's zone as the C library knows it.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static const int64_t kTicksPerSecond = 10000000;
static const int64_t kSecondsTo1970 = 11644473600LL;

// Days since 1970-01-01 of a proleptic Gregorian date.
static int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (int64_t)doe - 719468;
}

static void CivilFromDays(int64_t z, int *y, unsigned *m, unsigned *d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = (unsigned)(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = (int)(yoe + era * 400 + (*m <= 2));
}

static int64_t ToTicks(const FILETIME *ft)
{
    return (int64_t)(((uint64_t)ft->dwHighDateTime << 32) | ft->dwLowDateTime);
}

static void FromTicks(int64_t ticks, FILETIME *ft)
{
    ft->dwLowDateTime = (DWORD)ticks;
    ft->dwHighDateTime = (DWORD)((uint64_t)ticks >> 32);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME *st, FILETIME *ft)
{
    if (st->wMonth < 1 || st->wMonth > 12 || st->wDay < 1 || st->wDay > 31 || st->wHour > 23 ||
        st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999 || st->wYear < 1601)
        return FALSE;
    int64_t days = DaysFromCivil(st->wYear, st->wMonth, st->wDay);
    int64_t secs = days * 86400 + st->wHour * 3600 + st->wMinute * 60 + st->wSecond;
    FromTicks((secs + kSecondsTo1970) * kTicksPerSecond + st->wMilliseconds * 10000LL, ft);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME *ft, SYSTEMTIME *st)
{
    int64_t ticks = ToTicks(ft);
    if (ticks < 0)
        return FALSE;
    int64_t secs = ticks / kTicksPerSecond - kSecondsTo1970;
    int64_t days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
    int64_t rest = secs - days * 86400;
    int y;
    unsigned m, d;
    CivilFromDays(days, &y, &m, &d);
    st->wYear = (WORD)y;
    st->wMonth = (WORD)m;
    st->wDay = (WORD)d;
    st->wDayOfWeek = (WORD)((days % 7 + 11) % 7);   // 1970-01-01 was a Thursday
    st->wHour = (WORD)(rest / 3600);
    st->wMinute = (WORD)(rest / 60 % 60);
    st->wSecond = (WORD)(rest % 60);
    st->wMilliseconds = (WORD)(ticks / 10000 % 1000);
    return TRUE;
}

BOOL DosDateTimeToFileTime(WORD date, WORD time, FILETIME *ft)
{
    SYSTEMTIME st = {};
    st.wYear = (WORD)(1980 + (date >> 9));
    st.wMonth = (WORD)((date >> 5) & 15);
    st.wDay = (WORD)(date & 31);
    st.wHour = (WORD)(time >> 11);
    st.wMinute = (WORD)((time >> 5) & 63);
    st.wSecond = (WORD)((time & 31) * 2);
    return SystemTimeToFileTime(&st, ft);
}

static int DaysInMonth(int year, unsigned month)
{
    return (int)(DaysFromCivil(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
                 DaysFromCivil(year, month, 1));
}

static long OffsetAt(time_t t, int *isDst)
{
    struct tm tm;
    localtime_r(&t, &tm);
    *isDst = tm.tm_isdst > 0;
    return tm.tm_gmtoff;
}

// The first second after lo whose daylight flag is that of hi.
static time_t FindChange(time_t lo, time_t hi)
{
    int atLo, at;
    OffsetAt(lo, &atLo);
    while (hi - lo > 1) {
        time_t mid = lo + (hi - lo) / 2;
        OffsetAt(mid, &at);
        if (at == atLo)
            lo = mid;
        else
            hi = mid;
    }
    return hi;
}

// Windows gives a change-over as the wall-clock time just before it, in the
// form "the n-th (5: the last) weekday of the month".
static void RuleFrom(time_t change, long offsetBefore, SYSTEMTIME *rule)
{
    time_t wall = change + offsetBefore;
    struct tm tm;
    gmtime_r(&wall, &tm);
    int days = DaysInMonth(tm.tm_year + 1900, (unsigned)tm.tm_mon + 1);
    rule->wMonth = (WORD)(tm.tm_mon + 1);
    rule->wDayOfWeek = (WORD)tm.tm_wday;
    rule->wDay = (WORD)(tm.tm_mday + 7 > days ? 5 : (tm.tm_mday - 1) / 7 + 1);
    rule->wHour = (WORD)tm.tm_hour;
    rule->wMinute = (WORD)tm.tm_min;
    rule->wSecond = (WORD)tm.tm_sec;
}

// The zone as Windows describes it: one rule for every year, here the one
// that the C library applies in the current year, found by scanning the
// year a day at a time and narrowing each change down to the second.
static DWORD DescribeZone(LPTIME_ZONE_INFORMATION zone)
{
    *zone = TIME_ZONE_INFORMATION{};
    time_t now = time(NULL);
    struct tm tm;
    if (!localtime_r(&now, &tm))
        return TIME_ZONE_ID_INVALID;
    time_t prev = (time_t)(DaysFromCivil(tm.tm_year + 1900, 1, 1) * 86400);
    int prevDst, dst;
    long stdOffset = OffsetAt(prev, &prevDst), dstOffset = stdOffset;
    time_t on = 0, off = 0;
    for (int day = 1; day <= 366; day++) {
        time_t t = prev + 86400;
        long offset = OffsetAt(t, &dst);
        if (dst && !prevDst) {
            on = FindChange(prev, t);
            dstOffset = offset;
        } else if (!dst && prevDst) {
            off = FindChange(prev, t);
            stdOffset = offset;
        }
        prev = t;
        prevDst = dst;
    }
    zone->Bias = (LONG)(-stdOffset / 60);
    if (!on || !off)
        return TIME_ZONE_ID_UNKNOWN;
    zone->DaylightBias = (LONG)(-(dstOffset - stdOffset) / 60);
    RuleFrom(on, stdOffset, &zone->DaylightDate);
    RuleFrom(off, dstOffset, &zone->StandardDate);
    return tm.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

// The scan costs some microseconds and the engine asks once per file, so
// the answer is kept until TZ or the year changes.
DWORD GetTimeZoneInformation(LPTIME_ZONE_INFORMATION zone)
{
    static char key[256];
    static TIME_ZONE_INFORMATION known;
    static DWORD knownId = TIME_ZONE_ID_INVALID;
    const char *tz = getenv("TZ");
    time_t t = time(NULL);
    struct tm tm;
    gmtime_r(&t, &tm);
    char now[256];
    snprintf(now, sizeof now, "%d|%s", tm.tm_year, tz ? tz : "(unset)");
    if (knownId == TIME_ZONE_ID_INVALID || strcmp(now, key) != 0) {
        knownId = DescribeZone(&known);
        memcpy(key, now, sizeof key);
    }
    *zone = known;
    return knownId;
}

static struct timespec ToTimespec(const FILETIME *ft)
{
    struct timespec ts;
    if (!ft) {
        ts.tv_sec = 0;
        ts.tv_nsec = UTIME_OMIT;
        return ts;
    }
    int64_t ticks = ToTicks(ft) - kSecondsTo1970 * kTicksPerSecond;
    int64_t secs = ticks >= 0 ? ticks / kTicksPerSecond : -((-ticks + kTicksPerSecond - 1) / kTicksPerSecond);
    ts.tv_sec = (time_t)secs;
    ts.tv_nsec = (long)((ticks - secs * kTicksPerSecond) * 100);
    return ts;
}

// The creation time has no POSIX counterpart and is left alone.
BOOL SetFileTime(HANDLE file, const FILETIME *creation, const FILETIME *access,
                 const FILETIME *write)
{
    (void)creation;
    struct timespec times[2] = {ToTimespec(access), ToTimespec(write)};
    return futimens((int)(intptr_t)file, times) == 0;
}
