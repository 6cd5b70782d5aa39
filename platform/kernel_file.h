// Handle-based file functions with Win32 names and semantics, for code that works on HANDLEs.
// The handles are closed with CloseHandle.
#pragma once

#include "platform/file_time.h"
#include "platform/handle.h"
#include "platform/types.h"

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u

#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define FILE_SHARE_DELETE 0x4u

#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_FLAG_WRITE_THROUGH 0x80000000u
#define FILE_FLAG_RANDOM_ACCESS 0x10000000u
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000u

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu

#define FILE_TYPE_UNKNOWN 0x0u
#define FILE_TYPE_DISK 0x1u
#define FILE_TYPE_CHAR 0x2u
#define FILE_TYPE_PIPE 0x3u

struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

// INVALID_HANDLE_VALUE on failure. Sharing as CFile: no FILE_SHARE_READ locks the file against
// every other open. flagsAndAttributes of a created file: FILE_ATTRIBUTE_READONLY creates it
// without write permission, FILE_ATTRIBUTE_EXECUTABLE with execute permission; the other bits
// are ignored. CREATE_ALWAYS gives a file it replaces these permissions too. CREATE_ALWAYS and
// OPEN_ALWAYS on an existing file set ERROR_ALREADY_EXISTS.
HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
// Synchronous only (overlapped must be NULL). A read at the end succeeds with 0 bytes.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
// The low 32 bits of the new position, INVALID_SET_FILE_POINTER on failure (then the last
// error is set; otherwise it is ERROR_SUCCESS). distanceToMoveHigh, when given, holds the high
// 32 bits in and out.
DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod);
DWORD GetFileType(HANDLE file);
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
BOOL SetEndOfFile(HANDLE file);
BOOL FlushFileBuffers(HANDLE file);
// Last-access and last-write times are set; the creation time cannot be set here and is
// ignored. NULL leaves a time unchanged.
BOOL SetFileTime(HANDLE file, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                 const FILETIME* lastWriteTime);
// The creation time is the status-change time, the closest this system keeps.
BOOL GetFileTime(HANDLE file, LPFILETIME creationTime, LPFILETIME lastAccessTime,
                 LPFILETIME lastWriteTime);
