// Win32-named file and folder functions. They return FALSE (or INVALID_*) and set the last
// error on failure; none throws.
#pragma once

#include "platform/types.h"

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_TEMPORARY 0x00000100u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u
// Not a Windows attribute: the file is executable (the owner-execute bit).
#define FILE_ATTRIBUTE_EXECUTABLE 0x01000000u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu

#define MOVEFILE_REPLACE_EXISTING 0x1u
#define MOVEFILE_COPY_ALLOWED 0x2u
#define MOVEFILE_WRITE_THROUGH 0x8u

// Refuses folders and read-only files (ERROR_ACCESS_DENIED) and files that another open holds
// without sharing (ERROR_SHARING_VIOLATION).
BOOL DeleteFileW(LPCWSTR fileName);
// Copies data and permission bits into a temporary file beside the target, then renames it over
// the target, so the target (even a running executable) is never written in place.
BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists);
// rename(); with MOVEFILE_REPLACE_EXISTING an existing (not read-only) file is replaced,
// without it the move fails with ERROR_ALREADY_EXISTS. MOVEFILE_WRITE_THROUGH syncs the file
// and the target folder. Across file systems (only with MOVEFILE_COPY_ALLOWED or
// MOVEFILE_WRITE_THROUGH) the file is copied to a temporary name in the target folder, synced,
// renamed over the target, and only then is the source deleted.
BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags);
BOOL MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName);
// ERROR_ALREADY_EXISTS when the path exists (folder or file).
BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES attributes);
// Refuses a read-only folder (ERROR_ACCESS_DENIED) and a non-empty one (ERROR_DIR_NOT_EMPTY).
// A symbolic link to a folder is removed as the link, its target untouched, with or without a
// trailing '/'.
BOOL RemoveDirectoryW(LPCWSTR pathName);
// DIRECTORY for folders, READONLY when the owner-write bit is clear, NORMAL for a plain file;
// the rest of what the path leads to, plus REPARSE_POINT when the path itself is a symbolic
// link (with or without a trailing '/'), as Windows reports a junction.
DWORD GetFileAttributesW(LPCWSTR fileName);
// READONLY clears every write bit; without it the owner's write bit is restored. HIDDEN,
// SYSTEM, ARCHIVE and the others have no effect.
BOOL SetFileAttributesW(LPCWSTR fileName, DWORD attributes);
BOOL PathIsDirectoryW(LPCWSTR path);
BOOL PathFileExistsW(LPCWSTR path);
// The file system's block size as bytesPerSector * sectorsPerCluster, of the file system that
// holds the folder rootPathName (any folder, not only a root; NULL: the current folder).
BOOL GetDiskFreeSpaceW(LPCWSTR rootPathName, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD numberOfFreeClusters, LPDWORD totalNumberOfClusters);
// Characters copied without terminator, or the size needed (with terminator) when the
// buffer is too small, 0 on failure.
DWORD GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer);
BOOL SetCurrentDirectoryW(LPCWSTR pathName);
