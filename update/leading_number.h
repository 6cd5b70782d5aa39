// Reading the leading decimal number of a server reply, as the C runtime's wcstol/wcstoul do on
// the 32-bit platform the protocol was made for: leading white space skipped, an optional sign,
// the digits up to the first other character. Nothing throws; a reply without digits gives 0.
#pragma once

#include <cstdint>

// Signed: values beyond the 32-bit range give INT32_MAX or INT32_MIN.
std::int32_t LeadingSignedNumber(const wchar_t* pszText);

// Unsigned: values above 4294967295 give 4294967295; a minus sign negates modulo 2^32.
std::uint32_t LeadingUnsignedNumber(const wchar_t* pszText);
