#include "zip/zip_entry_record.h"

#include <algorithm>

namespace {

constexpr DWORD kDosReadOnly = 0x01;
constexpr DWORD kDosHidden = 0x02;
constexpr DWORD kDosSystem = 0x04;
constexpr DWORD kDosDirectory = 0x10;
constexpr DWORD kDosArchive = 0x20;

constexpr uint64_t kFileTimeTicksPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

constexpr unsigned char kTimestampTag[2] = {'U', 'T'};
constexpr DWORD kTimestampModified = 0x01;
constexpr DWORD kTimestampAccessed = 0x02;
constexpr DWORD kTimestampCreated = 0x04;

uint32_t LittleEndian(const unsigned char* bytes, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    return value;
}

// Applies the first "UT" block; a time is taken only when all its bytes lie inside the block.
void ApplyTimestampBlock(const unsigned char* extra, DWORD extraLength, ZipEntryTimes* times) {
    DWORD start = 0;
    while (start + 4 < extraLength) {
        const DWORD dataSize = LittleEndian(extra + start + 2, 2);
        if (extra[start] != kTimestampTag[0] || extra[start + 1] != kTimestampTag[1]) {
            start += 4 + dataSize;
            continue;
        }
        const DWORD blockEnd = std::min<DWORD>(start + 4 + dataSize, extraLength);
        const DWORD flags = extra[start + 4];
        DWORD at = start + 5;
        const struct {
            DWORD flag;
            FILETIME* target;
        } announced[] = {{kTimestampModified, &times->mtime},
                         {kTimestampAccessed, &times->atime},
                         {kTimestampCreated, &times->ctime}};
        for (const auto& time : announced) {
            if ((flags & time.flag) == 0) continue;
            if (at + 4 > blockEnd) break;
            *time.target = UnixTimeToFileTime(static_cast<int32_t>(LittleEndian(extra + at, 4)));
            at += 4;
        }
        return;
    }
}

}  // namespace

DWORD ZipAttributesFromExternal(DWORD a) {
    DWORD attr = FILE_ATTRIBUTE_NORMAL;
    if ((a & kDosDirectory) != 0 || (a & ZIP_UNIX_DIRECTORY) != 0) {
        attr = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_NORMAL;
    }
    if ((a & kDosArchive) != 0) attr |= FILE_ATTRIBUTE_ARCHIVE;
    if ((a & kDosHidden) != 0) attr |= FILE_ATTRIBUTE_HIDDEN;
    if ((a & ZIP_UNIX_OWNER_WRITE) == 0 || (a & kDosReadOnly) != 0) attr |= FILE_ATTRIBUTE_READONLY;
    if ((a & kDosSystem) != 0) attr |= FILE_ATTRIBUTE_SYSTEM;
    return attr;
}

FILETIME UnixTimeToFileTime(int32_t seconds) {
    const int64_t since1601 = static_cast<int64_t>(seconds) + kSecondsFrom1601To1970;
    return TicksToFileTime(static_cast<uint64_t>(since1601) * kFileTimeTicksPerSecond);
}

ZipEntryTimes ZipEntryTimesFrom(DWORD dosDateTime, const unsigned char* extra, DWORD extraLength) {
    FILETIME dos = TicksToFileTime(0);
    if (!DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                               static_cast<WORD>(dosDateTime & 0xFFFF), &dos)) {
        dos = TicksToFileTime(0);
    }
    ZipEntryTimes times{dos, dos, dos};
    if (extra != nullptr && extraLength > 4) ApplyTimestampBlock(extra, extraLength, &times);
    return times;
}
