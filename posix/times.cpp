// File times for the host build. A FILETIME counts 100-nanosecond steps since
// 1601-01-01; local time is the system's zone as the C library knows it.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
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

// Only the system's own zone is supported, which is all our code asks for.
BOOL TzSpecificLocalTimeToSystemTime(LPTIME_ZONE_INFORMATION zone, const SYSTEMTIME *local,
                                     SYSTEMTIME *universal)
{
    if (zone)
        return FALSE;
    struct tm tm = {};
    tm.tm_year = local->wYear - 1900;
    tm.tm_mon = local->wMonth - 1;
    tm.tm_mday = local->wDay;
    tm.tm_hour = local->wHour;
    tm.tm_min = local->wMinute;
    tm.tm_sec = local->wSecond;
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    struct tm utc;
    if (t == (time_t)-1 || !gmtime_r(&t, &utc))
        return FALSE;
    universal->wYear = (WORD)(utc.tm_year + 1900);
    universal->wMonth = (WORD)(utc.tm_mon + 1);
    universal->wDay = (WORD)utc.tm_mday;
    universal->wDayOfWeek = (WORD)utc.tm_wday;
    universal->wHour = (WORD)utc.tm_hour;
    universal->wMinute = (WORD)utc.tm_min;
    universal->wSecond = (WORD)utc.tm_sec;
    universal->wMilliseconds = local->wMilliseconds;
    return TRUE;
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
