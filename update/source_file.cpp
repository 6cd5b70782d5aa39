#include "update/source_file.h"

#include "update/byte_array.h"
#include "update/status.h"

CSourceFile::CSourceFile(LPCTSTR pszPath, UINT nChunkSize)
    : CFile(pszPath, CFile::modeRead | CFile::shareExclusive), m_nChunkSize(nChunkSize) {}

void CSourceFile::ReadRange(std::string* pOut, DWORD dwPosition, DWORD dwLength) {
    CXArray<BYTE, const BYTE&> buffer;
    buffer.SetSize(m_nChunkSize);
    Seek(static_cast<LONGLONG>(dwPosition), CFile::begin);
    DWORD dwGot = 0;
    while (dwGot < dwLength) {
        // Always a whole chunk: the reads stay aligned for the file system.
        const UINT nRead = Read(buffer.GetData(), m_nChunkSize);
        if (nRead == 0) ThrowUpdateError(799, IDS_ERR_DOWNLOAD);
        const DWORD dwTake = std::min<DWORD>(nRead, dwLength - dwGot);
        pOut->append(reinterpret_cast<const char*>(buffer.GetData()), dwTake);
        dwGot += dwTake;
    }
}
