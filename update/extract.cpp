#include "update/extract.h"

#include "update/constants.h"
#include "update/file_utils.h"
#include "update/packs.h"
#include "update/percent.h"
#include "update/status.h"
#include "update/update_thread.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

CString GetUpdateArchivePath(CUpdateThread& thread, int nPack) {
    return thread.m_strDir + kTempDir + g_aPackNames[nPack] + L"." +
           DwordToHex(thread.m_mapPackChecksum[nPack]) + kZipExt;
}

CString GetReloadArchivePath(CUpdateThread& thread, int nPack) {
    return thread.m_strDir + kTempDir + g_aPackNames[nPack] + kZipExt;
}

// Fills entry with the record of entry nIndex; false past the last entry. Any other result of the
// reader is a damaged directory (or one the reader cannot walk, such as Zip64): the archive is
// closed and the step fails, since ending there would pass an archive extracted in part as whole.
bool GetNextEntry(HZIP hZip, int nIndex, ZipEntry& entry, int nFailure) {
    const DWORD dwResult = GetZipItem(hZip, nIndex, &entry);
    if (dwResult == ZR_OK) return true;
    if (dwResult == ZR_ARGS) return false;
    CloseZip(hZip);
    ThrowUpdateError(nFailure, IDS_ERR_DOWNLOAD);
}

}  // namespace

bool IsSafeEntryName(const wchar_t* pszName) {
    if (pszName[0] == L'\0' || IsSeparator(pszName[0])) return false;
    // A drive letter would make the name absolute where it came from.
    if (pszName[1] == L':') return false;
    const wchar_t* pPart = pszName;
    for (const wchar_t* p = pszName;; ++p) {
        if (*p == L'\0' || IsSeparator(*p)) {
            if (p - pPart == 2 && pPart[0] == L'.' && pPart[1] == L'.') return false;
            if (*p == L'\0') return true;
            pPart = p + 1;
        }
    }
}

ULONGLONG GetZipTotalSize(LPCTSTR pszArchive) {
    HZIP hZip = OpenZip(pszArchive);
    if (hZip == nullptr) ThrowUpdateError(633, IDS_ERR_DOWNLOAD);
    ULONGLONG qwTotal = 0;
    ZipEntry entry;
    for (int i = 0; GetNextEntry(hZip, i, entry, 633); ++i)
        qwTotal += static_cast<ULONGLONG>(static_cast<LONGLONG>(entry.uncSize));
    CloseZip(hZip);
    return qwTotal;
}

void UnzipToFolder(LPCTSTR pszFolder, LPCTSTR pszArchive, ZipProgressCallback pfnCallback) {
    HZIP hZip = OpenZip(pszArchive);
    if (hZip == nullptr) ThrowUpdateError(661, IDS_ERR_DOWNLOAD);
    ZipEntry entry;
    for (int i = 0; GetNextEntry(hZip, i, entry, 705); ++i) {
        if (!IsSafeEntryName(entry.name)) {
            CloseZip(hZip);
            ThrowUpdateError(705, IDS_ERR_DOWNLOAD);
        }
        // Both separators divide an entry name; the folder is a path of this system and may hold
        // a backslash of its own.
        CString strName(entry.name);
        strName.Replace(L'\\', L'/');
        const CString strPath = CString(pszFolder) + strName;
        if (entry.attr & FILE_ATTRIBUTE_DIRECTORY) {
            if (!CreateDirectoryW(strPath, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
                CloseZip(hZip);
                ThrowUpdateError(705, IDS_ERR_DOWNLOAD);
            }
            continue;
        }
        // A read-only file of that name is replaced, and every extracted file ends writable.
        SetFileAttributesW(strPath, FILE_ATTRIBUTE_NORMAL);
        const DWORD dwResult = UnzipItem(hZip, i, strPath, pfnCallback);
        SetFileAttributesW(strPath, FILE_ATTRIBUTE_NORMAL);
        if (dwResult == ZR_ABORT) break;
        if (dwResult != ZR_OK) {
            CloseZip(hZip);
            ThrowUpdateError(705, IDS_ERR_DOWNLOAD);
        }
    }
    CloseZip(hZip);
}

void OnExtractProgress(int nBytes, int* /*pnCancel*/) {
    CUpdateThread* pThread = g_pUpdateThread;
    pThread->m_qwExtractDone += static_cast<ULONGLONG>(static_cast<LONGLONG>(nBytes));
    SetStatus(STATUS_EXTRACT_PATCH, PercentOf(pThread->m_qwExtractDone, pThread->m_qwExtractTotal));
}

void OnResourcesExtractProgress(int nBytes, int* /*pnCancel*/) {
    CUpdateThread* pThread = g_pUpdateThread;
    pThread->m_qwResourcesDone += static_cast<ULONGLONG>(static_cast<LONGLONG>(nBytes));
    SetStatus(STATUS_EXTRACT_RESOURCES,
              PercentOf(pThread->m_qwResourcesDone, pThread->m_qwResourcesTotal));
}

void CUpdateThread::ExtractPatches() {
    // Every archive is totalled before the first is extracted, so a missing one fails first.
    m_qwExtractTotal = 0;
    for (int i : m_setUpdate) m_qwExtractTotal += GetZipTotalSize(GetUpdateArchivePath(*this, i));
    for (int i : m_setReload) m_qwExtractTotal += GetZipTotalSize(GetReloadArchivePath(*this, i));
    m_qwExtractDone = 0;
    const CString strTemp = m_strDir + kTempDir;
    for (int i : m_setUpdate)
        UnzipToFolder(strTemp, GetUpdateArchivePath(*this, i), OnExtractProgress);
    for (int i : m_setReload)
        UnzipToFolder(strTemp, GetReloadArchivePath(*this, i), OnExtractProgress);
    if (g_bStop) AfxThrowUserException();
}

void CUpdateThread::ExtractResources() {
    const CString strArchive = m_strDir + kPacksDir + kResourcesDir + kPackExt;
    m_qwResourcesTotal = GetZipTotalSize(strArchive);
    m_qwResourcesDone = 0;
    UnzipToFolder(m_strDir, strArchive, OnResourcesExtractProgress);
    if (g_bStop) AfxThrowUserException();
}
