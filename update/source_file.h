// The old pack while it is patched: read on demand, range by range, never whole.
#pragma once

#include <string>

#include "platform/platform.h"

class CSourceFile : private CFile {
public:
    // Opens pszPath for reading without sharing; throws CFileException when it cannot.
    // nChunkSize is the size of every read of the file.
    CSourceFile(LPCTSTR pszPath, UINT nChunkSize);

    // Appends exactly dwLength bytes of the file, from byte dwPosition on, to *pOut. A file that
    // ends before the range does fails with 799.
    void ReadRange(std::string* pOut, DWORD dwPosition, DWORD dwLength);

    using CFile::GetLength;

private:
    UINT m_nChunkSize;
};
