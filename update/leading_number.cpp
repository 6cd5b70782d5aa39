#include "update/leading_number.h"

#include <cwctype>
#include <limits>

namespace {

struct LeadingDigits {
    bool negative = false;
    bool overflow = false;  // the magnitude exceeds 32 bits
    std::uint64_t magnitude = 0;
};

LeadingDigits ReadLeadingDigits(const wchar_t* p) {
    LeadingDigits r;
    if (p == nullptr) return r;
    while (*p != L'\0' && std::iswspace(static_cast<wint_t>(*p))) ++p;
    if (*p == L'+' || *p == L'-') r.negative = (*p++ == L'-');
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        if (!r.overflow) {
            r.magnitude = r.magnitude * 10 + static_cast<std::uint64_t>(*p - L'0');
            if (r.magnitude > std::numeric_limits<std::uint32_t>::max()) r.overflow = true;
        }
    }
    return r;
}

}  // namespace

std::int32_t LeadingSignedNumber(const wchar_t* pszText) {
    const LeadingDigits d = ReadLeadingDigits(pszText);
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    if (d.negative) {
        if (d.overflow || -static_cast<std::int64_t>(d.magnitude) < kMin) return kMin;
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(d.magnitude));
    }
    if (d.overflow || static_cast<std::int64_t>(d.magnitude) > kMax) return kMax;
    return static_cast<std::int32_t>(d.magnitude);
}

std::uint32_t LeadingUnsignedNumber(const wchar_t* pszText) {
    const LeadingDigits d = ReadLeadingDigits(pszText);
    if (d.overflow) return std::numeric_limits<std::uint32_t>::max();
    const auto value = static_cast<std::uint32_t>(d.magnitude);
    return d.negative ? static_cast<std::uint32_t>(0u - value) : value;
}
