#include "update/target_file.h"

#include <cstdio>

#include "update/status.h"

CTargetFile::CTargetFile(LPCTSTR pszPath) {
    if (!m_file.Open(pszPath, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive)) {
        ThrowUpdateError(746, IDS_ERR_DOWNLOAD);
    }
    m_bOpen = true;
}

CTargetFile::~CTargetFile() {
    if (!m_bOpen) return;
    try {
        Truncate();
    } catch (CException* e) {
        // The pass is failing already and the file stays in the scratch folder, never installed;
        // a resumed pass creates it anew.
        std::fprintf(stderr, "ERROR: %ls\n", static_cast<LPCTSTR>(e->GetErrorMessage()));
        std::fflush(stderr);
        e->Delete();
    }
}

void CTargetFile::Close() {
    Truncate();
    m_bOpen = false;
    m_file.Close();
}

void CTargetFile::Truncate() { m_file.SetLength(m_file.GetPosition()); }

void CTargetFile::append(const char* s, size_t n) { m_file.Write(s, static_cast<UINT>(n)); }

void CTargetFile::clear() {
    m_file.SetLength(0);
    m_file.SeekToBegin();
}

void CTargetFile::push_back(char c) { m_file.Write(&c, 1); }

void CTargetFile::reserve(size_t n) {
    const ULONGLONG qwPosition = m_file.GetPosition();
    m_file.SetLength(n);
    m_file.Seek(static_cast<LONGLONG>(qwPosition), CFile::begin);
}

size_t CTargetFile::size() const { return static_cast<size_t>(m_file.GetPosition()); }
