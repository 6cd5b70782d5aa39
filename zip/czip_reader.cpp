#include "zip/czip_reader.h"

#include <cstring>
#include <memory>
#include <new>

#include "zip/zip_entry_data.h"
#include "zip/zip_entry_record.h"

CZipReader::CZipReader()
    : m_pArchive(nullptr), m_cachedEntry{}, m_nCachedIndex(-1), m_pfnProgress(nullptr) {
    m_szRootFolder[0] = L'\0';
}

CZipReader::~CZipReader() { Close(); }

DWORD CZipReader::Open(const wchar_t* path) {
    if (m_pArchive != nullptr) return ZR_ALREADYOPEN;
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, m_szRootFolder);
    if (length == 0 || length + 2 > MAX_PATH) {
        m_szRootFolder[0] = L'\0';
    } else if (m_szRootFolder[length - 1] != L'/') {
        m_szRootFolder[length] = L'/';
        m_szRootFolder[length + 1] = L'\0';
    }
    DWORD result = 0;
    ZipFile* file = ZipFileOpen(path, &result);
    if (file == nullptr) return result;
    m_pArchive = OpenArchive(file);
    return static_cast<DWORD>(g_zipOpenStatus);
}

DWORD CZipReader::Close() {
    if (m_pArchive != nullptr) {
        if (m_pArchive->readState != nullptr) CloseCurrentEntry(m_pArchive);
        ZipFileClose(m_pArchive->file);
        delete m_pArchive;
        m_pArchive = nullptr;
    }
    return 0;
}

bool CZipReader::MoveTo(int index) {
    const auto target = static_cast<DWORD>(index);
    if (target < m_pArchive->currentNumber) GoToFirstEntry(m_pArchive);
    while (m_pArchive->currentNumber < target) {
        if (GoToNextEntry(m_pArchive) != ZIP_STATUS_OK) return false;
    }
    return true;
}

DWORD CZipReader::Get(int index, ZipEntryA* entry) {
    if (m_pArchive == nullptr || index < -1 ||
        (index >= 0 && static_cast<DWORD>(index) >= m_pArchive->entryCount)) {
        return ZR_ARGS;
    }
    if (index != -1 && index == m_nCachedIndex) {
        *entry = m_cachedEntry;
        return ZR_OK;
    }
    if (index == -1) {
        *entry = ZipEntryA{};
        entry->index = static_cast<int>(m_pArchive->entryCount);
        return ZR_OK;
    }
    if (!MoveTo(index)) return ZR_CORRUPT;

    ZipEntryInfo info{};
    char name[ZIP_NAME_CHARS];
    if (ReadCentralHeader(m_pArchive, &info, &m_pArchive->localHeaderOffset, name, sizeof name) !=
        ZIP_STATUS_OK) {
        return ZR_CORRUPT;
    }
    m_pArchive->currentInfo = info;
    DWORD nameAndExtra = 0, extraLength = 0;
    uint64_t extraOffset = 0;
    if (CheckLocalHeader(m_pArchive, &nameAndExtra, &extraOffset, &extraLength) != 0) {
        return ZR_CORRUPT;
    }
    if (!ZipFileSeek(m_pArchive->file, extraOffset)) return ZR_READ;
    std::unique_ptr<unsigned char[]> extra(new (std::nothrow) unsigned char[extraLength + 1]);
    if (!extra) return ZR_READ;
    if (extraLength > 0 && ZipReadBytes(m_pArchive->file, extra.get(), extraLength, 1) != 1) {
        return ZR_READ;
    }

    ZipEntryA record{};
    record.index = static_cast<int>(m_pArchive->currentNumber);
    std::memcpy(record.name, name, sizeof name);
    record.attr = ZipAttributesFromExternal(info.externalAttributes);
    record.compSize = static_cast<int>(info.compressedSize);
    record.uncSize = static_cast<int>(info.uncompressedSize);
    const ZipEntryTimes times = ZipEntryTimesFrom(info.dosDateTime, extra.get(), extraLength);
    record.atime = times.atime;
    record.ctime = times.ctime;
    record.mtime = times.mtime;

    m_cachedEntry = record;
    m_nCachedIndex = index;
    *entry = record;
    return ZR_OK;
}

void ZipNameToWide(const char* name, wchar_t* wide) {
    std::memset(wide, 0, ZIP_NAME_CHARS * sizeof(wchar_t));
    MultiByteToWideChar(CP_ACP, 0, name, -1, wide, ZIP_NAME_CHARS);
    wide[ZIP_NAME_CHARS - 1] = L'\0';
}
