// printf-style formatting with the framework's rules for string arguments and length prefixes.
#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/cstring.h"
#include "platform/utf8.h"

namespace {

enum class Size { Default, Char, Short, Long32, Long64, Pointer, LongDouble };

struct Spec {
    std::string flags;
    int width = -1;
    int precision = -1;
    Size size = Size::Default;
    bool wide = false;    // explicit l/w on %s or %c
    bool narrow = false;  // explicit h on %s or %c
};

template <typename Ch>
void AppendAscii(std::basic_string<Ch>& out, const char* text) {
    for (; *text; ++text) out += static_cast<Ch>(static_cast<unsigned char>(*text));
}

template <typename Ch>
void AppendPadded(std::basic_string<Ch>& out, const std::basic_string<Ch>& text, const Spec& spec) {
    size_t width = spec.width > 0 ? static_cast<size_t>(spec.width) : 0;
    size_t pad = text.size() < width ? width - text.size() : 0;
    bool left = spec.flags.find('-') != std::string::npos;
    if (!left) out.append(pad, Ch(' '));
    out += text;
    if (left) out.append(pad, Ch(' '));
}

template <typename Ch, typename Src>
std::basic_string<Ch> ConvertText(const Src* text, int precision) {
    size_t length = std::char_traits<Src>::length(text);
    if (precision >= 0 && static_cast<size_t>(precision) < length)
        length = static_cast<size_t>(precision);
    std::basic_string<Ch> out;
    platform_detail::AppendConverted(out, text, length);
    return out;
}

std::string NumberSpec(const Spec& spec, const char* lengthAndConversion) {
    std::string s = "%" + spec.flags;
    if (spec.width >= 0) s += std::to_string(spec.width);
    if (spec.precision >= 0) s += "." + std::to_string(spec.precision);
    return s + lengthAndConversion;
}

}  // namespace

namespace platform_detail {

template <typename Ch>
void FormatAppend(std::basic_string<Ch>& out, const Ch* format, va_list args) {
    if (!format) return;
    va_list ap;
    va_copy(ap, args);
    const bool wideClass = std::is_same_v<Ch, wchar_t>;
    for (const Ch* p = format; *p; ++p) {
        if (*p != Ch('%')) {
            out += *p;
            continue;
        }
        ++p;
        if (*p == Ch('%')) {
            out += Ch('%');
            continue;
        }
        Spec spec;
        while (*p == Ch('-') || *p == Ch('+') || *p == Ch(' ') || *p == Ch('#') || *p == Ch('0'))
            spec.flags += static_cast<char>(*p++);
        if (*p == Ch('*')) {
            spec.width = va_arg(ap, int);
            if (spec.width < 0) spec.flags += '-', spec.width = -spec.width;
            ++p;
        } else {
            for (spec.width = *p >= Ch('0') && *p <= Ch('9') ? 0 : -1;
                 *p >= Ch('0') && *p <= Ch('9'); ++p)
                spec.width = spec.width * 10 + (*p - Ch('0'));
        }
        if (*p == Ch('.')) {
            ++p;
            spec.precision = 0;
            if (*p == Ch('*')) {
                spec.precision = va_arg(ap, int);
                ++p;
            } else {
                for (; *p >= Ch('0') && *p <= Ch('9'); ++p)
                    spec.precision = spec.precision * 10 + (*p - Ch('0'));
            }
        }
        for (bool more = true; more;) {
            switch (*p) {
                case Ch('h'):
                    spec.size = spec.size == Size::Short ? Size::Char : Size::Short;
                    spec.narrow = true;
                    ++p;
                    break;
                case Ch('l'):
                    spec.size = spec.size == Size::Long32 ? Size::Long64 : Size::Long32;
                    spec.wide = true;
                    ++p;
                    break;
                case Ch('w'):
                    spec.wide = true;
                    ++p;
                    break;
                case Ch('L'):
                    spec.size = Size::LongDouble;
                    ++p;
                    break;
                case Ch('z'):
                case Ch('j'):
                case Ch('t'):
                    spec.size = Size::Pointer;
                    ++p;
                    break;
                case Ch('I'):
                    if (p[1] == Ch('6') && p[2] == Ch('4')) {
                        spec.size = Size::Long64, p += 3;
                    } else if (p[1] == Ch('3') && p[2] == Ch('2')) {
                        spec.size = Size::Long32, p += 3;
                    } else {
                        spec.size = Size::Pointer, ++p;
                    }
                    break;
                default:
                    more = false;
            }
        }
        if (*p == 0) break;
        char buffer[512];
        Ch conversion = *p;
        switch (conversion) {
            case Ch('d'):
            case Ch('i'): {
                long long v;
                if (spec.size == Size::Long64 || spec.size == Size::Pointer)
                    v = va_arg(ap, long long);
                else
                    v = va_arg(ap, int);
                if (spec.size == Size::Short) v = static_cast<short>(v);
                if (spec.size == Size::Char) v = static_cast<signed char>(v);
                std::snprintf(buffer, sizeof buffer, NumberSpec(spec, "lld").c_str(), v);
                AppendAscii(out, buffer);
                break;
            }
            case Ch('u'):
            case Ch('x'):
            case Ch('X'):
            case Ch('o'): {
                unsigned long long v;
                if (spec.size == Size::Long64 || spec.size == Size::Pointer)
                    v = va_arg(ap, unsigned long long);
                else
                    v = va_arg(ap, unsigned int);
                if (spec.size == Size::Short) v = static_cast<unsigned short>(v);
                if (spec.size == Size::Char) v = static_cast<unsigned char>(v);
                const char* conv = conversion == Ch('u')   ? "llu"
                                   : conversion == Ch('x') ? "llx"
                                   : conversion == Ch('X') ? "llX"
                                                           : "llo";
                std::snprintf(buffer, sizeof buffer, NumberSpec(spec, conv).c_str(), v);
                AppendAscii(out, buffer);
                break;
            }
            case Ch('e'):
            case Ch('E'):
            case Ch('f'):
            case Ch('F'):
            case Ch('g'):
            case Ch('G'):
            case Ch('a'):
            case Ch('A'): {
                char conv[3] = {spec.size == Size::LongDouble ? 'L' : '\0',
                                static_cast<char>(conversion), '\0'};
                if (!conv[0]) conv[0] = conv[1], conv[1] = '\0';
                std::string f = NumberSpec(spec, conv);
                if (spec.size == Size::LongDouble)
                    std::snprintf(buffer, sizeof buffer, f.c_str(), va_arg(ap, long double));
                else
                    std::snprintf(buffer, sizeof buffer, f.c_str(), va_arg(ap, double));
                AppendAscii(out, buffer);
                break;
            }
            case Ch('p'): {
                std::snprintf(buffer, sizeof buffer, "%p", va_arg(ap, void*));
                AppendAscii(out, buffer);
                break;
            }
            case Ch('c'):
            case Ch('C'): {
                int v = va_arg(ap, int);
                std::basic_string<Ch> text;
                bool wideArg =
                    spec.wide || (!spec.narrow && ((conversion == Ch('c')) == wideClass));
                if (wideArg) {
                    wchar_t w = static_cast<wchar_t>(v);
                    AppendConverted(text, &w, 1);
                } else {
                    char c = static_cast<char>(v);
                    AppendConverted(text, &c, 1);
                }
                AppendPadded(out, text, spec);
                break;
            }
            case Ch('s'):
            case Ch('S'): {
                bool wideArg =
                    spec.wide || (!spec.narrow && ((conversion == Ch('s')) == wideClass));
                std::basic_string<Ch> text;
                if (wideArg) {
                    const wchar_t* s = va_arg(ap, const wchar_t*);
                    text = ConvertText<Ch>(s ? s : L"(null)", spec.precision);
                } else {
                    const char* s = va_arg(ap, const char*);
                    text = ConvertText<Ch>(s ? s : "(null)", spec.precision);
                }
                AppendPadded(out, text, spec);
                break;
            }
            case Ch('n'):
                // Writing through a format argument is refused, as the secure runtime does.
                (void)va_arg(ap, void*);
                break;
            default:
                out += Ch('%');
                out += conversion;
        }
    }
    va_end(ap);
}

template void FormatAppend<wchar_t>(std::wstring&, const wchar_t*, va_list);
template void FormatAppend<char>(std::string&, const char*, va_list);

}  // namespace platform_detail
