// The running executable: its path and its file version. The version is compiled into each
// executable by the build (varnholt_embed_version); an executable without it has no version
// information, as a Windows executable without a version resource.
#pragma once

#include "platform/types.h"

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

// module must be NULL (the executable). Copies at most size characters; a longer path is cut,
// terminated within the buffer, and gives ERROR_INSUFFICIENT_BUFFER. Returns the characters
// copied without terminator, 0 on failure.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

// Version information exists only for the running executable (given by its path) when it was
// built with its version; any other file has none (size 0).
DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle);
BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data);
// Only the root block L"\\" (the VS_FIXEDFILEINFO) is available.
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length);

// The four numbers compiled into this executable, or NULL when it has none.
const unsigned short* GetEmbeddedFileVersion();
