// Path, version and folder helpers shared by the engine and the window.
#pragma once

#include "platform/cstring.h"
#include "platform/types.h"

// Full path of the running executable; empty when the system cannot tell.
CString GetModulePath();
// The path up to and including its last '/'; empty when it has none.
CString GetFolderOfPath(LPCTSTR pszPath);
// The launcher folder: GetFolderOfPath(GetModulePath()), ending in '/'.
CString GetModuleDir();
// The executable's file version, major part in the high 16 bits; 0 when it has none.
ULONGLONG GetModuleVersion();
// Bytes per cluster of the file system that holds the file's folder; 4096 when unknown.
DWORD GetClusterSize(LPCTSTR pszPath);
// Deletes the folder and everything below it, clearing read-only attributes on the way; throws
// CUserException* at the first entry that cannot be deleted (what went before stays deleted),
// or when the folder cannot be listed.
void DeleteFolder(LPCTSTR pszPath);
// Eight upper-case hexadecimal digits.
CString DwordToHex(DWORD dwValue);
// The text in the 8-bit encoding that the platform uses for file names (UTF-8), so that a path
// handed on in 8-bit form names the same file.
CStringA WideToMultiByte(LPCTSTR pszText);
