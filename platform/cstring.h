// The framework's string classes: CString (wide, as in the wide build) and CStringA (8-bit).
// Conversions between the two use UTF-8, this platform's "ANSI" code page.
#pragma once

#include <cstdarg>
#include <exception>
#include <string>

#include "platform/types.h"

template <typename Ch>
class CStringT;

using CString = CStringT<wchar_t>;
using CStringW = CStringT<wchar_t>;
using CStringA = CStringT<char>;

namespace platform_detail {
// Appends the converted text; bytes of invalid UTF-8 keep their value (see utf8.h).
void AppendConverted(std::wstring& out, const char* text, size_t length);
void AppendConverted(std::string& out, const wchar_t* text, size_t length);
void AppendConverted(std::wstring& out, const wchar_t* text, size_t length);
void AppendConverted(std::string& out, const char* text, size_t length);
template <typename Ch>
size_t Length(const Ch* text) {
    return text ? std::char_traits<Ch>::length(text) : 0;
}
// Framework-style formatting; see FormatV.
template <typename Ch>
void FormatAppend(std::basic_string<Ch>& out, const Ch* format, va_list args);
[[noreturn]] void ThrowInvalidIndex();
[[noreturn]] void ThrowOutOfMemory();
// Loads string resource id in the user's language; FALSE (and empty text) when it is missing.
BOOL LoadStringResource(UINT id, std::wstring& text);
}  // namespace platform_detail

template <typename Ch>
class CStringT {
public:
    using XCHAR = Ch;
    using PCXSTR = const Ch*;
    using PXSTR = Ch*;
    using OtherCh = std::conditional_t<std::is_same_v<Ch, char>, wchar_t, char>;

    CStringT() = default;
    CStringT(const Ch* text) {
        if (text) m_str = text;
    }
    CStringT(const Ch* text, int length) {
        if (text && length > 0) m_str.assign(text, static_cast<size_t>(length));
    }
    CStringT(const OtherCh* text) {
        platform_detail::AppendConverted(m_str, text, platform_detail::Length(text));
    }
    CStringT(Ch ch, int repeat = 1) {
        if (repeat > 0) m_str.assign(static_cast<size_t>(repeat), ch);
    }
    CStringT(const CStringT<OtherCh>& other) {
        platform_detail::AppendConverted(m_str, other.GetString(),
                                         static_cast<size_t>(other.GetLength()));
    }
    CStringT(const std::basic_string<Ch>& text) : m_str(text) {}

    CStringT& operator=(const Ch* text) {
        if (text)
            m_str = text;
        else
            m_str.clear();
        return *this;
    }
    CStringT& operator=(const OtherCh* text) { return *this = CStringT(text); }
    CStringT& operator=(Ch ch) {
        m_str.assign(1, ch);
        return *this;
    }
    CStringT& operator=(const CStringT<OtherCh>& other) { return *this = CStringT(other); }

    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    // An index outside the string throws CInvalidArgException*.
    Ch GetAt(int index) const { return m_str[CheckedIndex(index)]; }
    Ch operator[](int index) const { return GetAt(index); }
    void SetAt(int index, Ch ch) { m_str[CheckedIndex(index)] = ch; }
    const Ch* GetString() const { return m_str.c_str(); }
    operator const Ch*() const { return m_str.c_str(); }
    const std::basic_string<Ch>& Str() const { return m_str; }

    CStringT Left(int count) const { return Span(0, count); }
    CStringT Right(int count) const {
        count = Clamp(count);
        return CStringT(m_str.substr(m_str.size() - static_cast<size_t>(count)));
    }
    CStringT Mid(int first) const { return Mid(first, GetLength()); }
    CStringT Mid(int first, int count) const {
        first = Clamp(first);
        return Span(first, count);
    }

    int Find(Ch ch, int start = 0) const { return Found(m_str.find(ch, Start(start))); }
    int Find(const Ch* sub, int start = 0) const {
        if (!sub || start > GetLength()) return -1;
        return Found(m_str.find(sub, Start(start)));
    }
    int ReverseFind(Ch ch) const { return Found(m_str.rfind(ch)); }
    int FindOneOf(const Ch* set) const { return set ? Found(m_str.find_first_of(set)) : -1; }

    CStringT& MakeUpper();
    CStringT& MakeLower();
    CStringT& MakeReverse() {
        m_str.assign(m_str.rbegin(), m_str.rend());
        return *this;
    }
    CStringT& Trim() { return TrimRight().TrimLeft(); }
    CStringT& TrimLeft();
    CStringT& TrimRight();
    int Replace(const Ch* old, const Ch* replacement);
    int Replace(Ch old, Ch replacement) {
        int count = 0;
        for (Ch& c : m_str)
            if (c == old) c = replacement, ++count;
        return count;
    }
    int Remove(Ch ch) {
        int before = GetLength();
        std::erase(m_str, ch);
        return before - GetLength();
    }
    int Insert(int index, const Ch* text) {
        m_str.insert(static_cast<size_t>(Clamp(index)), text ? text : EmptyText());
        return GetLength();
    }
    int Delete(int index, int count = 1) {
        index = Clamp(index);
        if (count > 0) m_str.erase(static_cast<size_t>(index), static_cast<size_t>(count));
        return GetLength();
    }

    int Compare(const Ch* other) const { return m_str.compare(other ? other : EmptyText()); }
    int CompareNoCase(const Ch* other) const;

    CStringT& operator+=(const CStringT& other) {
        m_str += other.m_str;
        return *this;
    }
    CStringT& operator+=(const Ch* text) {
        if (text) m_str += text;
        return *this;
    }
    CStringT& operator+=(Ch ch) {
        m_str += ch;
        return *this;
    }
    CStringT& Append(const Ch* text) { return *this += text; }
    CStringT& AppendChar(Ch ch) { return *this += ch; }

    // A writable buffer of at least minLength characters (plus terminator); ReleaseBuffer
    // sets the length, -1 meaning up to the first terminator.
    // Sizes come from callers: running out of memory throws CMemoryException*.
    Ch* GetBuffer(int minLength = 0) {
        if (minLength > GetLength()) Resize(minLength);
        return m_str.data();
    }
    Ch* GetBufferSetLength(int length) {
        Resize(length < 0 ? 0 : length);
        return m_str.data();
    }
    void ReleaseBuffer(int newLength = -1) {
        if (newLength < 0)
            newLength = static_cast<int>(std::char_traits<Ch>::length(m_str.c_str()));
        m_str.resize(static_cast<size_t>(Clamp(newLength)));
    }
    void Preallocate(int length) {
        try {
            m_str.reserve(static_cast<size_t>(length < 0 ? 0 : length));
        } catch (const std::exception&) {
            platform_detail::ThrowOutOfMemory();
        }
    }

    // Loads a string resource; a missing id leaves the string empty and returns FALSE.
    BOOL LoadString(UINT id) {
        std::wstring text;
        BOOL found = platform_detail::LoadStringResource(id, text);
        m_str.clear();
        platform_detail::AppendConverted(m_str, text.c_str(), text.size());
        return found;
    }

    // Formatting as the framework does it: %s is a string of this class's character type and
    // %S of the other one (%ls/%ws always wide, %hs always 8-bit), %d %i %u %x %X %o %c %p %e
    // %f %g with flags, width and precision, "l" is 32 bits as on Windows, "ll" and "I64"
    // 64 bits, "I" and "z" pointer-sized, %% a percent sign.
    void Format(const Ch* format, ...) {
        va_list args;
        va_start(args, format);
        FormatV(format, args);
        va_end(args);
    }
    void Format(UINT formatId, ...) {
        CStringT format;
        format.LoadString(formatId);
        va_list args;
        va_start(args, formatId);
        FormatV(format, args);
        va_end(args);
    }
    void AppendFormat(const Ch* format, ...) {
        va_list args;
        va_start(args, format);
        AppendFormatV(format, args);
        va_end(args);
    }
    void FormatV(const Ch* format, va_list args) {
        std::basic_string<Ch> text;
        platform_detail::FormatAppend(text, format, args);
        m_str.swap(text);
    }
    void AppendFormatV(const Ch* format, va_list args) {
        platform_detail::FormatAppend(m_str, format, args);
    }

    friend CStringT operator+(const CStringT& a, const CStringT& b) {
        CStringT r(a);
        r.m_str += b.m_str;
        return r;
    }
    friend CStringT operator+(const CStringT& a, const Ch* b) {
        CStringT r(a);
        return r += b;
    }
    friend CStringT operator+(const Ch* a, const CStringT& b) {
        CStringT r(a);
        return r += b;
    }
    friend CStringT operator+(const CStringT& a, Ch b) {
        CStringT r(a);
        return r += b;
    }
    friend CStringT operator+(Ch a, const CStringT& b) {
        CStringT r(a);
        return r += b;
    }
    friend bool operator==(const CStringT& a, const CStringT& b) { return a.m_str == b.m_str; }
    friend bool operator==(const CStringT& a, const Ch* b) { return a.Compare(b) == 0; }
    friend bool operator==(const Ch* a, const CStringT& b) { return b.Compare(a) == 0; }
    friend bool operator!=(const CStringT& a, const CStringT& b) { return !(a == b); }
    friend bool operator!=(const CStringT& a, const Ch* b) { return !(a == b); }
    friend bool operator!=(const Ch* a, const CStringT& b) { return !(a == b); }
    friend bool operator<(const CStringT& a, const CStringT& b) { return a.m_str < b.m_str; }

private:
    static const Ch* EmptyText() {
        static const Ch empty[1] = {0};
        return empty;
    }
    void Resize(int length) {
        try {
            m_str.resize(static_cast<size_t>(length));
        } catch (const std::exception&) {
            platform_detail::ThrowOutOfMemory();
        }
    }
    size_t CheckedIndex(int index) const {
        if (index < 0 || index >= GetLength()) platform_detail::ThrowInvalidIndex();
        return static_cast<size_t>(index);
    }
    int Clamp(int n) const { return n < 0 ? 0 : (n > GetLength() ? GetLength() : n); }
    size_t Start(int start) const { return static_cast<size_t>(start < 0 ? 0 : start); }
    static int Found(size_t pos) {
        return pos == std::basic_string<Ch>::npos ? -1 : static_cast<int>(pos);
    }
    CStringT Span(int first, int count) const {
        count = count < 0 ? 0 : count;
        if (count > GetLength() - first) count = GetLength() - first;
        return CStringT(m_str.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
    }

    std::basic_string<Ch> m_str;
};

extern template class CStringT<wchar_t>;
extern template class CStringT<char>;
