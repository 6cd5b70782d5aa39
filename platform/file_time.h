// Windows file times (100 ns ticks since 1601-01-01 UTC) and calendar times.
#pragma once

#include <ctime>

#include "platform/types.h"

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* LPFILETIME;

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
typedef SYSTEMTIME* LPSYSTEMTIME;

typedef int32_t __time32_t;

// FALSE for a date or time out of range (month 0 or 13, day past the month's end, hour 24...).
BOOL DosDateTimeToFileTime(WORD fatDate, WORD fatTime, LPFILETIME fileTime);
// FALSE for fields out of range or a year outside 1601..30827; wDayOfWeek is ignored.
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);
void GetSystemTimeAsFileTime(LPFILETIME fileTime);
LONG CompareFileTime(const FILETIME* a, const FILETIME* b);

// Breaks seconds since 1970 down in UTC; NULL for negative times, as the Windows runtime does.
// The result lives in storage of the calling thread.
struct tm* _gmtime32(const __time32_t* time);

// Conversions to and from the system's time (seconds and nanoseconds since 1970).
ULONGLONG FileTimeToTicks(const FILETIME& fileTime);
FILETIME TicksToFileTime(ULONGLONG ticks);
struct timespec FileTimeToTimespec(const FILETIME& fileTime);
FILETIME TimespecToFileTime(const struct timespec& time);
