#include "update/file_utils.h"

#include "platform/file_ops.h"
#include "platform/module.h"
#include "update/byte_array.h"

CString GetModulePath() {
    // Unlike a fixed MAX_PATH buffer, grow until the whole path fits: a cut path would put the
    // launcher folder somewhere else.
    for (DWORD nSize = MAX_PATH; nSize <= 65536; nSize *= 2) {
        CString strPath;
        DWORD nLength = GetModuleFileNameW(NULL, strPath.GetBuffer(static_cast<int>(nSize)), nSize);
        strPath.ReleaseBuffer();
        if (nLength < nSize) return strPath;
    }
    return CString();
}

CString GetFolderOfPath(LPCTSTR pszPath) {
    CString strPath(pszPath);
    return strPath.Left(strPath.ReverseFind(L'/') + 1);
}

CString GetModuleDir() { return GetFolderOfPath(GetModulePath()); }

ULONGLONG GetModuleVersion() {
    CString strPath = GetModulePath();
    DWORD dwHandle = 0;
    DWORD dwSize = GetFileVersionInfoSizeW(strPath, &dwHandle);
    if (dwSize == 0) return 0;
    CXArray<BYTE, const BYTE&> aData;
    aData.SetSize(dwSize);
    if (!GetFileVersionInfoW(strPath, dwHandle, dwSize, aData.GetData())) return 0;
    LPVOID pInfo = nullptr;
    UINT nLength = 0;
    if (!VerQueryValueW(aData.GetData(), L"\\", &pInfo, &nLength)) return 0;
    const auto* pFixed = static_cast<const VS_FIXEDFILEINFO*>(pInfo);
    return (static_cast<ULONGLONG>(pFixed->dwFileVersionMS) << 32) + pFixed->dwFileVersionLS;
}

DWORD GetClusterSize(LPCTSTR pszPath) {
    CString strPath(pszPath);
    CString strFolder = strPath.Left(strPath.ReverseFind(L'/') < 0 ? 0 : strPath.ReverseFind(L'/'));
    DWORD dwSectorsPerCluster = 0, dwBytesPerSector = 0, dwFree = 0, dwTotal = 0;
    if (!GetDiskFreeSpaceW(strFolder, &dwSectorsPerCluster, &dwBytesPerSector, &dwFree, &dwTotal))
        return 4096;
    DWORD dwCluster = dwSectorsPerCluster * dwBytesPerSector;
    // A zero answer would make every chunked loop spin without progress.
    return dwCluster ? dwCluster : 4096;
}

CString DwordToHex(DWORD dwValue) {
    CString strHex;
    strHex.Format(L"%08X", dwValue);
    return strHex;
}

CStringA WideToMultiByte(LPCTSTR pszText) { return CStringA(pszText); }
