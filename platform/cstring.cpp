#include "platform/cstring.h"

#include <cwctype>

#include "platform/exceptions.h"
#include "platform/utf8.h"

namespace platform_detail {

void ThrowInvalidIndex() { AfxThrowInvalidArgException(); }

void ThrowOutOfMemory() { AfxThrowMemoryException(); }

void AppendConverted(std::wstring& out, const char* text, size_t length) {
    if (length) out += Utf8ToWide(text, length);
}
void AppendConverted(std::string& out, const wchar_t* text, size_t length) {
    if (length) out += WideToUtf8(text, length);
}
void AppendConverted(std::wstring& out, const wchar_t* text, size_t length) {
    out.append(text, length);
}
void AppendConverted(std::string& out, const char* text, size_t length) {
    out.append(text, length);
}

}  // namespace platform_detail

namespace {

wchar_t Upper(wchar_t c) { return static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c))); }
wchar_t Lower(wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); }
// 8-bit strings hold UTF-8: only ASCII letters change case.
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsSpace(wchar_t c) { return std::iswspace(static_cast<wint_t>(c)); }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

template <typename Ch>
CStringT<Ch>& CStringT<Ch>::MakeUpper() {
    for (Ch& c : m_str) c = Upper(c);
    return *this;
}

template <typename Ch>
CStringT<Ch>& CStringT<Ch>::MakeLower() {
    for (Ch& c : m_str) c = Lower(c);
    return *this;
}

template <typename Ch>
CStringT<Ch>& CStringT<Ch>::TrimLeft() {
    size_t n = 0;
    while (n < m_str.size() && IsSpace(m_str[n])) ++n;
    m_str.erase(0, n);
    return *this;
}

template <typename Ch>
CStringT<Ch>& CStringT<Ch>::TrimRight() {
    while (!m_str.empty() && IsSpace(m_str.back())) m_str.pop_back();
    return *this;
}

template <typename Ch>
int CStringT<Ch>::Replace(const Ch* old, const Ch* replacement) {
    size_t oldLength = platform_detail::Length(old);
    if (oldLength == 0) return 0;
    std::basic_string<Ch> with = replacement ? replacement : EmptyText();
    int count = 0;
    for (size_t pos = m_str.find(old); pos != std::basic_string<Ch>::npos;
         pos = m_str.find(old, pos + with.size())) {
        m_str.replace(pos, oldLength, with);
        ++count;
    }
    return count;
}

template <typename Ch>
int CStringT<Ch>::CompareNoCase(const Ch* other) const {
    if (!other) other = EmptyText();
    size_t i = 0;
    for (;; ++i) {
        Ch a = i < m_str.size() ? Lower(m_str[i]) : Ch(0);
        Ch b = Lower(other[i]);
        if (a != b) return a < b ? -1 : 1;
        if (a == 0) return 0;
    }
}

template class CStringT<wchar_t>;
template class CStringT<char>;
