#include "platform/codepage.h"

#include <cstring>
#include <cwchar>
#include <string>

#include "platform/last_error.h"
#include "platform/utf8.h"

namespace {

template <typename Out, typename In>
int CopyOut(const std::basic_string<Out>& converted, Out* buffer, int size) {
    if (size == 0) return static_cast<int>(converted.size());
    if (!buffer || size < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = std::min(converted.size(), static_cast<size_t>(size));
    std::memcpy(buffer, converted.data(), n * sizeof(Out));
    if (n < converted.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(n);
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD, LPCSTR multiByte, int multiByteLength, LPWSTR wide,
                        int wideSize) {
    if ((codePage != CP_ACP && codePage != CP_UTF8) || !multiByte || multiByteLength == 0 ||
        multiByteLength < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length =
        multiByteLength == -1 ? std::strlen(multiByte) + 1 : static_cast<size_t>(multiByteLength);
    return CopyOut<wchar_t, char>(Utf8ToWide(multiByte, length), wide, wideSize);
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideLength, LPSTR multiByte,
                        int multiByteSize, LPCSTR, BOOL* usedDefaultChar) {
    if (usedDefaultChar) *usedDefaultChar = FALSE;
    if ((codePage != CP_ACP && codePage != CP_UTF8) || !wide || wideLength == 0 ||
        wideLength < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = wideLength == -1 ? std::wcslen(wide) + 1 : static_cast<size_t>(wideLength);
    return CopyOut<char, wchar_t>(WideToUtf8(wide, length), multiByte, multiByteSize);
}
