#include "platform/module.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/last_error.h"
#include "platform/utf8.h"

// Defined by the file that varnholt_embed_version generates for each executable. This weak
// default of zeros lets an executable built without it link; it then reports no version.
extern const unsigned short g_fileVersion[4];
__attribute__((weak)) extern const unsigned short g_fileVersion[4] = {0, 0, 0, 0};

namespace {

constexpr DWORD kFixedInfoSignature = 0xFEEF04BD;

bool ExecutablePath(std::wstring& path) {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    std::string name(buffer, static_cast<size_t>(n));
    // A running executable that was replaced on disk reports its old path with this suffix; the
    // path is still where the launcher lives.
    const std::string deleted = " (deleted)";
    if (name.size() > deleted.size() &&
        name.compare(name.size() - deleted.size(), deleted.size(), deleted) == 0)
        name.resize(name.size() - deleted.size());
    path = Utf8ToWide(name);
    return true;
}

bool IsOwnExecutable(LPCWSTR fileName) {
    std::wstring own;
    if (!fileName || !ExecutablePath(own)) return false;
    char resolved[PATH_MAX];
    std::string given = WideToUtf8(fileName);
    if (!realpath(given.c_str(), resolved)) return false;
    return Utf8ToWide(std::string(resolved)) == own;
}

}  // namespace

const unsigned short* GetEmbeddedFileVersion() {
    bool none = g_fileVersion[0] == 0 && g_fileVersion[1] == 0 && g_fileVersion[2] == 0 &&
                g_fileVersion[3] == 0;
    return none ? nullptr : g_fileVersion;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
    std::wstring path;
    if (module != NULL) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!fileName || size == 0 || !ExecutablePath(path)) return 0;
    if (path.size() >= size) {
        std::wmemcpy(fileName, path.c_str(), size - 1);
        fileName[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::wmemcpy(fileName, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle) {
    if (handle) *handle = 0;
    if (!GetEmbeddedFileVersion() || !IsOwnExecutable(fileName)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    return sizeof(VS_FIXEDFILEINFO);
}

BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD, DWORD length, LPVOID data) {
    const unsigned short* version = GetEmbeddedFileVersion();
    if (!version || !IsOwnExecutable(fileName) || !data) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (length < sizeof(VS_FIXEDFILEINFO)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    VS_FIXEDFILEINFO info{};
    info.dwSignature = kFixedInfoSignature;
    info.dwStrucVersion = 0x00010000;
    info.dwFileVersionMS = (static_cast<DWORD>(version[0]) << 16) | version[1];
    info.dwFileVersionLS = (static_cast<DWORD>(version[2]) << 16) | version[3];
    info.dwProductVersionMS = info.dwFileVersionMS;
    info.dwProductVersionLS = info.dwFileVersionLS;
    std::memcpy(data, &info, sizeof info);
    return TRUE;
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length) {
    if (!block || !subBlock || !buffer || std::wcscmp(subBlock, L"\\") != 0) return FALSE;
    *buffer = const_cast<LPVOID>(block);
    if (length) *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
