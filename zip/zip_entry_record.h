// How an entry's central and local fields become the Windows attributes and file times of its
// record.
#pragma once

#include <cstdint>

#include "platform/file_ops.h"
#include "platform/file_time.h"
#include "platform/types.h"

// Unix mode bits as they sit in the high half of the external attributes.
constexpr DWORD ZIP_UNIX_DIRECTORY = 1u << 30;
constexpr DWORD ZIP_UNIX_OWNER_WRITE = 1u << 23;
constexpr DWORD ZIP_UNIX_OWNER_EXECUTE = 1u << 22;

// Windows attributes of an entry. The host system that made the archive is not consulted, so an
// archive from MS-DOS or Windows (high half 0) marks every entry read-only.
DWORD ZipAttributesFromExternal(DWORD externalAttributes);

// Seconds since 1970-01-01 00:00:00 UTC as a FILETIME; every 32-bit value, before 1970 too.
FILETIME UnixTimeToFileTime(int32_t seconds);

struct ZipEntryTimes {
    FILETIME atime;
    FILETIME ctime;
    FILETIME mtime;
};

// The DOS time and date (time in the low half) taken as UTC, then overridden by the times that
// an extended timestamp ("UT") block of the local extra field announces. A DOS value that is no
// valid date gives a zero time, which extraction leaves unset.
ZipEntryTimes ZipEntryTimesFrom(DWORD dosDateTime, const unsigned char* extra, DWORD extraLength);
