// UTF-8 <-> wide conversion: the encoding of file names and of this platform's "ANSI" code page.
#pragma once

#include <string>

#include "platform/types.h"

// Each byte of an invalid or truncated sequence decodes to U+DC00 + byte (U+DC80 to U+DCFF),
// and encodes back to that byte, so text in another code page (a zip entry name, a file name on
// disk) keeps its bytes distinct and names the same file after a round trip.
std::wstring Utf8ToWide(const char* text, size_t length);
std::wstring Utf8ToWide(const std::string& text);
// U+DC80 to U+DCFF become their byte; other code points that cannot be encoded (other lone
// surrogates, values above U+10FFFF) become U+FFFD.
std::string WideToUtf8(const wchar_t* text, size_t length);
std::string WideToUtf8(const wchar_t* text);
