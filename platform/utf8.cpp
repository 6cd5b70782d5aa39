#include "platform/utf8.h"

#include <cwchar>

namespace {

constexpr char32_t kReplacement = 0xFFFD;
// A byte that is no part of valid UTF-8 (always 0x80 or above) stands for itself as this low
// surrogate plus the byte, so names from other code pages survive a round trip exactly.
constexpr char32_t kEscapeBase = 0xDC00;
constexpr char32_t kFirstEscape = kEscapeBase + 0x80;
constexpr char32_t kLastEscape = kEscapeBase + 0xFF;

// Length of the valid sequence at text[0..length), or 0 when it is not valid.
size_t DecodeOne(const unsigned char* s, size_t length, char32_t& cp) {
    unsigned char b = s[0];
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    size_t need;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
        need = 2, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        need = 3, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        need = 4, cp = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (length < need) return 0;
    for (size_t i = 1; i < need; ++i) {
        if ((s[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return need;
}

}  // namespace

std::wstring Utf8ToWide(const char* text, size_t length) {
    std::wstring out;
    out.reserve(length);
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    size_t i = 0;
    while (i < length) {
        char32_t cp;
        size_t used = DecodeOne(s + i, length - i, cp);
        if (used == 0) {
            out += static_cast<wchar_t>(kEscapeBase + s[i]);
            ++i;
        } else {
            out += static_cast<wchar_t>(cp);
            i += used;
        }
    }
    return out;
}

std::wstring Utf8ToWide(const std::string& text) { return Utf8ToWide(text.data(), text.size()); }

std::string WideToUtf8(const wchar_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        auto cp = static_cast<char32_t>(text[i]);
        if (cp >= kFirstEscape && cp <= kLastEscape) {
            out += static_cast<char>(cp - kEscapeBase);
            continue;
        }
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string WideToUtf8(const wchar_t* text) {
    return text ? WideToUtf8(text, std::wcslen(text)) : std::string();
}
