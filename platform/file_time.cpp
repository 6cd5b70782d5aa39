#include "platform/file_time.h"

#include <chrono>

namespace {

constexpr ULONGLONG kTicksPerSecond = 10000000ull;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr LONGLONG kEpochDifference = 11644473600ll;

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
LONGLONG DaysFromCivil(LONGLONG y, unsigned m, unsigned d) {
    y -= m <= 2;
    const LONGLONG era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<LONGLONG>(doe) - 719468;
}

void CivilFromDays(LONGLONG z, int& year, unsigned& month, unsigned& day) {
    z += 719468;
    const LONGLONG era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(static_cast<LONGLONG>(yoe) + era * 400 + (month <= 2));
}

}  // namespace

ULONGLONG FileTimeToTicks(const FILETIME& fileTime) {
    return (static_cast<ULONGLONG>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
}

FILETIME TicksToFileTime(ULONGLONG ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, LPFILETIME fileTime) {
    if (!st || !fileTime) return FALSE;
    if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 ||
        st->wDay < 1 || st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 ||
        st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999)
        return FALSE;
    LONGLONG days = DaysFromCivil(st->wYear, st->wMonth, st->wDay);
    LONGLONG seconds = days * 86400 + st->wHour * 3600 + st->wMinute * 60 + st->wSecond;
    ULONGLONG ticks = static_cast<ULONGLONG>(seconds + kEpochDifference) * kTicksPerSecond +
                      st->wMilliseconds * 10000ull;
    *fileTime = TicksToFileTime(ticks);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME st) {
    if (!fileTime || !st) return FALSE;
    ULONGLONG ticks = FileTimeToTicks(*fileTime);
    if (ticks >= 0x8000000000000000ull) return FALSE;
    LONGLONG seconds = static_cast<LONGLONG>(ticks / kTicksPerSecond) - kEpochDifference;
    LONGLONG days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    LONGLONG rest = seconds - days * 86400;
    int year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    st->wYear = static_cast<WORD>(year);
    st->wMonth = static_cast<WORD>(month);
    st->wDay = static_cast<WORD>(day);
    st->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    st->wHour = static_cast<WORD>(rest / 3600);
    st->wMinute = static_cast<WORD>(rest % 3600 / 60);
    st->wSecond = static_cast<WORD>(rest % 60);
    st->wMilliseconds = static_cast<WORD>(ticks % kTicksPerSecond / 10000);
    return TRUE;
}

BOOL DosDateTimeToFileTime(WORD fatDate, WORD fatTime, LPFILETIME fileTime) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(1980 + (fatDate >> 9));
    st.wMonth = static_cast<WORD>((fatDate >> 5) & 0x0F);
    st.wDay = static_cast<WORD>(fatDate & 0x1F);
    st.wHour = static_cast<WORD>(fatTime >> 11);
    st.wMinute = static_cast<WORD>((fatTime >> 5) & 0x3F);
    st.wSecond = static_cast<WORD>((fatTime & 0x1F) * 2);
    return SystemTimeToFileTime(&st, fileTime);
}

void GetSystemTimeAsFileTime(LPFILETIME fileTime) {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    *fileTime = TimespecToFileTime(ts);
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
    ULONGLONG x = FileTimeToTicks(*a), y = FileTimeToTicks(*b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

struct tm* _gmtime32(const __time32_t* time) {
    thread_local struct tm result;
    if (!time || *time < 0) return nullptr;
    time_t t = *time;
    return gmtime_r(&t, &result);
}

struct timespec FileTimeToTimespec(const FILETIME& fileTime) {
    auto ticks = static_cast<LONGLONG>(FileTimeToTicks(fileTime));
    LONGLONG seconds = ticks / static_cast<LONGLONG>(kTicksPerSecond) - kEpochDifference;
    LONGLONG rest = ticks % static_cast<LONGLONG>(kTicksPerSecond);
    return timespec{static_cast<time_t>(seconds), static_cast<long>(rest * 100)};
}

FILETIME TimespecToFileTime(const struct timespec& time) {
    LONGLONG ticks = (static_cast<LONGLONG>(time.tv_sec) + kEpochDifference) *
                         static_cast<LONGLONG>(kTicksPerSecond) +
                     time.tv_nsec / 100;
    return TicksToFileTime(static_cast<ULONGLONG>(ticks < 0 ? 0 : ticks));
}
