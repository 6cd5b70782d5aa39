// Code page conversions. CP_ACP, the "ANSI" code page, is UTF-8 here whatever the locale.
#pragma once

#include "platform/types.h"

#define CP_ACP 0u
#define CP_UTF8 65001u

// Win32 semantics: length -1 converts up to and including the terminator; with wideSize 0 the
// needed size is returned; a too-small buffer fails with ERROR_INSUFFICIENT_BUFFER after
// filling it. Invalid bytes keep their value as U+DC00 + byte and convert back to it (see
// utf8.h). Other code pages than CP_ACP and CP_UTF8 fail.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength,
                        LPWSTR wide, int wideSize);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR multiByte,
                        int multiByteSize, LPCSTR defaultChar, BOOL* usedDefaultChar);
