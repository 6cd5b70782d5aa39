// Public interface of the zip archive reader: a handle-based reader of single-disk zip archives
// (stored and deflated entries) that lists entries and extracts them one at a time to files.
// Nothing here throws: every operation returns a bit-coded result, 0 for success.
#pragma once

#include "platform/file_ops.h"
#include "platform/file_time.h"
#include "platform/types.h"

class CZipReader;

// Result codes. The second byte is the outcome of work on the archive and on disk (a stop asked
// for by the callback included), the third byte wrong arguments, the fourth a wrong reader state.
constexpr DWORD ZR_OK = 0x00000000;
constexpr DWORD ZR_NOFILE = 0x00000200;   // archive not openable, or target not creatable
constexpr DWORD ZR_WRITE = 0x00000400;    // reading the entry's data or writing the target failed
constexpr DWORD ZR_CORRUPT = 0x00000700;  // a header is bad, or the entry's data is damaged
constexpr DWORD ZR_READ = 0x00000800;     // the entry's local extra field cannot be read
constexpr DWORD ZR_ABORT = 0x00001000;    // the progress callback asked to stop
constexpr DWORD ZR_ARGS = 0x00010000;     // null handle, or index out of range
constexpr DWORD ZR_BADHANDLE = 0x00080000;
constexpr DWORD ZR_ALREADYOPEN = 0x01000000;

// Length of the name field of an entry record, terminator included.
constexpr int ZIP_NAME_CHARS = 260;

// Kind of a handle made by OpenZip; any other kind makes an operation fail with ZR_BADHANDLE.
constexpr DWORD ZIP_HANDLE_KIND_READER = 1;

struct ZipHandle {
    DWORD kind;
    CZipReader* reader;  // owned by the handle
};
using HZIP = ZipHandle*;

// Entry record handed to callers. For the request with index -1, index is the entry count.
struct ZipEntry {
    int index;
    wchar_t name[ZIP_NAME_CHARS];  // as stored in the archive, zero-terminated
    DWORD attr;                    // Windows file attributes (FILE_ATTRIBUTE_*)
    FILETIME atime;
    FILETIME ctime;
    FILETIME mtime;
    int compSize;
    int uncSize;
};

// The reader's own form of the record: the name as 8-bit text in the ANSI code page (UTF-8 here).
struct ZipEntryA {
    int index;
    char name[ZIP_NAME_CHARS];
    DWORD attr;
    FILETIME atime;
    FILETIME ctime;
    FILETIME mtime;
    int compSize;
    int uncSize;
};

// Called once per extracted chunk, before the chunk is written, with the number of decompressed
// bytes in it; *cancel is 0 at the call and a non-zero value left there stops the extraction.
using ZipProgressCallback = void (*)(int bytesJustRead, int* cancel);

// Result of the last OpenZip, GetZipItem, UnzipItem or CloseZip; after a failed OpenZip it is the
// only record of the cause (ZR_NOFILE, 0xFFFFFFFF or 0xFFFFFF99).
extern DWORD g_zipLastError;
// Status of the last archive open: 0, -1 (end record not found, read failed) or -103 (bad data).
extern int g_zipOpenStatus;

// Opens the archive at path; null on failure, the cause in g_zipLastError.
HZIP OpenZip(const wchar_t* path);
// Fills entry with the record of entry index (0-based), or with the entry count for index -1.
// On failure the record is left as it was.
DWORD GetZipItem(HZIP handle, int index, ZipEntry* entry);
// Extracts entry index to the file at path (replaced if it exists), calling progress per chunk.
// A relative path takes "\" as a separator too; an absolute path is used as it stands.
// A folder entry makes its folders below the current folder of the open instead. Returns ZR_OK,
// ZR_ABORT when the callback cancelled, or another code on failure; the target then stays with
// the chunks written so far and without the entry's times.
DWORD UnzipItem(HZIP handle, int index, const wchar_t* path, ZipProgressCallback progress);
// Closes the archive and frees the handle.
DWORD CloseZip(HZIP handle);
