// UTF-8 <-> wide conversion: the encoding of file names and of this platform's "ANSI" code page.
#pragma once

#include <string>

#include "platform/types.h"

// Invalid or truncated sequences decode to U+FFFD, one per bad byte.
std::wstring Utf8ToWide(const char* text, size_t length);
std::wstring Utf8ToWide(const std::string& text);
// Code points that cannot be encoded (lone surrogates, values above U+10FFFF) become U+FFFD.
std::string WideToUtf8(const wchar_t* text, size_t length);
std::string WideToUtf8(const wchar_t* text);
