// The pack table, the scan with its sampled checksum, and the query of each present pack.
#include "update/packs.h"

#include <zlib.h>

#include <algorithm>

#include "update/byte_array.h"
#include "update/constants.h"
#include "update/file_utils.h"
#include "update/percent.h"
#include "update/status.h"

const wchar_t* const g_aPackNames[kPackCount] = {
    L"local",          L"scripts",       L"vhGUI",
    L"res_pack",       L"resources",     L"spaces",
    L"spaces1",        L"speedtree",     L"characters",
    L"models",         L"models1",       L"tex_buildings",
    L"tex_buildings2", L"tex_landscape", L"tex_materials",
    L"tex_materials2", L"tex_misc",      L"tex_pack",
    L"tex_characters", L"tex_unwraps",   L"sys"};

CString GetPackPath(const CString& strDir, int nPack) {
    return strDir + kPacksDir + g_aPackNames[nPack] + kPackExt;
}

namespace {

constexpr ULONGLONG kSampleBytes = 0x100000;  // hashed at the start of every 16 MiB
constexpr ULONGLONG kSkipBytes = 0xF00000;    // skipped after each sample

}  // namespace

void CalcFileChecksum(LPCTSTR pszPath, DWORD* pdwChecksum, PROGRESS_CALLBACK pfnProgress,
                      DWORD nChunkSize) {
    const DWORD dwChunk = nChunkSize != 0 ? nChunkSize : GetClusterSize(pszPath);
    CFile file(pszPath, CFile::modeRead | CFile::shareExclusive | CFile::osSequentialScan);
    CXArray<BYTE, const BYTE&> buffer;
    buffer.SetSize(dwChunk);
    ULONGLONG qwInSample = 0;
    UINT n = file.Read(buffer.GetData(), dwChunk);
    while (n > 0) {
        // A chunk that runs past the sample is cut, so the value does not depend on the chunk.
        if (qwInSample + n > kSampleBytes) {
            const ULONGLONG qwExcess = qwInSample + n - kSampleBytes;
            n -= static_cast<UINT>(qwExcess);
            file.Seek(-static_cast<LONGLONG>(qwExcess), CFile::current);
        }
        *pdwChecksum = static_cast<DWORD>(adler32(*pdwChecksum, buffer.GetData(), n));
        qwInSample += n;
        ULONGLONG qwStep = n;
        if (qwInSample == kSampleBytes) {
            const ULONGLONG qwPos = file.GetPosition();
            const ULONGLONG qwTarget = std::min(file.GetLength(), qwPos + kSkipBytes);
            file.Seek(static_cast<LONGLONG>(qwTarget), CFile::begin);
            qwStep = (qwTarget - qwPos) + n;
            qwInSample = 0;
        }
        if (pfnProgress != nullptr) {
            BOOL bStop = FALSE;
            pfnProgress(static_cast<DWORD>(qwStep), &bStop);
            if (bStop) break;
        }
        n = file.Read(buffer.GetData(), dwChunk);
    }
    file.Close();
}

void OnScanProgress(DWORD dwBytes, BOOL* pbStop) {
    CUpdateThread* pThread = g_pUpdateThread;
    pThread->m_qwScanDone += dwBytes;
    // A pack that grew since it was measured must not push the percent past 100.
    g_nProgress = std::min(PercentOf(pThread->m_qwScanDone, pThread->m_qwScanTotal), 100);
    *pbStop = g_bStop ? TRUE : FALSE;
}

void CUpdateThread::ScanPacks() {
    SetStatus(STATUS_CHECK_CLIENT, 0);
    m_qwScanDone = 0;
    m_qwScanTotal = 0;
    try {
        for (int i = 0; i < kPackCount; ++i) {
            const CString strPath = GetPackPath(m_strDir, i);
            CFileFind finder;
            const BOOL bFound = finder.FindFile(strPath);
            finder.Close();
            if (bFound) {
                // Compatibility mode shares nothing: a pack that another program holds open
                // fails here.
                CFile file(strPath, CFile::modeRead);
                m_qwScanTotal += file.GetLength();
                file.Close();
            } else {
                m_setReload.insert(i);
            }
        }
    } catch (CException* e) {
        e->Delete();
        ThrowUpdateError(329, IDS_ERR_CLIENT_FILES);
    }
    for (int i = 0; i < kPackCount; ++i) {
        if (!m_setReload.contains(i)) {
            try {
                ChecksumPack(i);
            } catch (CException* e) {
                e->Delete();
                ThrowUpdateError(344, IDS_ERR_CLIENT_FILES);
            }
        }
        if (g_bStop) AfxThrowUserException();
    }
}

void CUpdateThread::ChecksumPack(int nPack) {
    DWORD dwChecksum = 0;
    CalcFileChecksum(GetPackPath(m_strDir, nPack), &dwChecksum, OnScanProgress);
    // Stored even when a stop cut the checksum short; the scan then throws before the next pack.
    m_mapPackChecksum[nPack] = dwChecksum;
}

BOOL CUpdateThread::QueryPacks() {
    for (int i = 0; i < kPackCount; ++i) {
        if (!m_setReload.contains(i)) {
            try {
                switch (QueryPackStatus(i)) {
                    case 1:
                        m_setUpdate.insert(i);
                        break;
                    case 2:
                        m_setReload.insert(i);
                        break;
                    default:
                        break;
                }
            } catch (CException* e) {
                e->Delete();
                ThrowUpdateError(373, IDS_ERR_CLIENT_FILES);
            }
        }
        if (g_bStop) AfxThrowUserException();
    }
    return m_setUpdate.empty() && m_setReload.empty();
}
