// Extraction of one entry to a file, and the folders that relative paths need.
#include <algorithm>
#include <string>
#include <string_view>

#include "zip/czip_reader.h"
#include "zip/zip_entry_data.h"
#include "zip/zip_entry_record.h"

namespace {

constexpr DWORD kOutputChunk = 0x4000;

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// True for a relative path none of whose parts is "..": one that stays below its root.
bool StaysBelowRoot(std::wstring_view path) {
    if (path.empty() || IsSeparator(path[0]) || (path.size() > 1 && path[1] == L':')) {
        return false;
    }
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (path.substr(start, end - start) == L"..") return false;
        start = end + 1;
    }
    return true;
}

// The part of path before its last separator; empty when it has none.
std::wstring_view FolderPart(std::wstring_view path) {
    const size_t last = path.find_last_of(L"/\\");
    return last == std::wstring_view::npos ? std::wstring_view{} : path.substr(0, last);
}

const FILETIME* UnlessZero(const FILETIME& time) {
    return time.dwLowDateTime == 0 && time.dwHighDateTime == 0 ? nullptr : &time;
}

bool WriteWhole(HANDLE file, const unsigned char* bytes, DWORD length) {
    DWORD written = 0;
    return WriteFile(file, bytes, length, &written, nullptr) && written == length;
}

}  // namespace

void EnsureDirectory(const wchar_t* root, const wchar_t* relative) {
    if (relative == nullptr || relative[0] == L'\0') return;
    const std::wstring_view path(relative);
    const size_t last = path.find_last_of(L"/\\");
    if (last != std::wstring_view::npos && last > 0) {
        EnsureDirectory(root, std::wstring(path.substr(0, last)).c_str());
    }
    // Archives made on Windows separate with "\", which is an ordinary character here.
    std::wstring full = std::wstring(root) + relative;
    std::replace(full.end() - static_cast<std::ptrdiff_t>(path.size()), full.end(), L'\\', L'/');
    CreateDirectoryW(full.c_str(), nullptr);
}

DWORD CZipReader::UnzipItem(int index, const wchar_t* path) {
    if (m_pArchive == nullptr || index < 0 || static_cast<DWORD>(index) >= m_pArchive->entryCount) {
        return ZR_ARGS;
    }
    if (!MoveTo(index)) return ZR_CORRUPT;
    ZipEntryA entry;
    const DWORD got = Get(index, &entry);
    if (got != ZR_OK) return got;
    // A name cut to fit the record would extract under another name.
    if (m_pArchive->currentInfo.nameLength >= ZIP_NAME_CHARS) return ZR_CORRUPT;

    if ((entry.attr & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        wchar_t name[ZIP_NAME_CHARS];
        ZipNameToWide(entry.name, name);
        // The name comes from the archive: an absolute one or one with ".." could reach anywhere.
        if (StaysBelowRoot(name)) EnsureDirectory(m_szRootFolder, name);
        return ZR_OK;
    }
    // A path that is not absolute takes both separators, as entry names do; an absolute one is
    // a path of this system, whose folders may hold a backslash in their names.
    std::wstring target(path);
    if (target.empty() || target[0] != L'/')
        std::replace(target.begin(), target.end(), L'\\', L'/');
    const std::wstring folder(FolderPart(target));
    if (StaysBelowRoot(folder)) EnsureDirectory(m_szRootFolder, folder.c_str());
    return ExtractFile(entry, target.c_str());
}

DWORD CZipReader::ExtractFile(const ZipEntryA& entry, const wchar_t* path) {
    DWORD attributes = entry.attr;
    // Linux decides executability by mode, not by name: keep the owner-execute bit of Unix modes.
    if ((m_pArchive->currentInfo.externalAttributes & ZIP_UNIX_OWNER_EXECUTE) != 0) {
        attributes |= FILE_ATTRIBUTE_EXECUTABLE;
    }
    HANDLE target = CreateFileW(path, GENERIC_ALL, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                attributes, nullptr);
    if (target == INVALID_HANDLE_VALUE) return ZR_NOFILE;

    OpenCurrentEntry(m_pArchive);  // a failure shows at the first read
    DWORD result = ZR_OK;
    unsigned char buffer[kOutputChunk];
    for (;;) {
        const int n = ReadCurrentEntry(m_pArchive, buffer, kOutputChunk);
        if (n < 0) {
            result = n == ZIP_STATUS_BAD_DATA ? ZR_CORRUPT : ZR_WRITE;
            break;
        }
        if (n == 0) break;
        if (m_pfnProgress != nullptr) {
            int cancel = 0;
            m_pfnProgress(n, &cancel);
            if (cancel != 0) {
                result = ZR_ABORT;
                break;
            }
        }
        if (!WriteWhole(target, buffer, static_cast<DWORD>(n))) {
            result = ZR_WRITE;
            break;
        }
    }
    // Data that ended early, was rejected or fails its CRC-32 is a failure, never success.
    const int closed = CloseCurrentEntry(m_pArchive);
    if (result == ZR_OK && closed != ZIP_STATUS_OK) {
        result = closed == ZIP_STATUS_NO_STATE ? ZR_WRITE : ZR_CORRUPT;
    }
    if (result == ZR_OK && GetFileType(target) == FILE_TYPE_DISK) {
        SetFileTime(target, UnlessZero(entry.ctime), UnlessZero(entry.atime),
                    UnlessZero(entry.mtime));
    }
    CloseHandle(target);
    return result;
}
