// The text of an integer in lower-case hexadecimal without leading zeros; a negative number
// shows as its 32-bit unsigned value (-1 is "ffffffff").
#pragma once

#include <cwchar>

class CNumberText {
public:
    explicit CNumberText(int nValue) {
        std::swprintf(m_szText, kSize, L"%x", static_cast<unsigned int>(nValue));
    }
    operator const wchar_t*() const { return m_szText; }

private:
    static constexpr int kSize = 50;
    wchar_t m_szText[kSize];
};
