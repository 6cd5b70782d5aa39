#include "update/resume.h"

#include <exception>

#include "platform/exceptions.h"
#include "platform/file.h"
#include "update/constants.h"
#include "update/file_utils.h"
#include "update/status.h"

ResumeRecord g_resume = {0, 0, 0, 0};

namespace {

constexpr UINT kRecordSize = 16;

void PutDword(BYTE* pOut, DWORD dwValue) {
    for (int i = 0; i < 4; ++i) pOut[i] = static_cast<BYTE>(dwValue >> (8 * i));
}

DWORD GetDword(const BYTE* pIn) {
    return static_cast<DWORD>(pIn[0]) | (static_cast<DWORD>(pIn[1]) << 8) |
           (static_cast<DWORD>(pIn[2]) << 16) | (static_cast<DWORD>(pIn[3]) << 24);
}

void Encode(const ResumeRecord& record, BYTE* pOut) {
    PutDword(pOut, record.dwFileVersionLS);
    PutDword(pOut + 4, record.dwFileVersionMS);
    PutDword(pOut + 8, record.nStatus);
    PutDword(pOut + 12, record.dwReserved);
}

void Decode(const BYTE* pIn, ResumeRecord& record) {
    record.dwFileVersionLS = GetDword(pIn);
    record.dwFileVersionMS = GetDword(pIn + 4);
    record.nStatus = GetDword(pIn + 8);
    record.dwReserved = GetDword(pIn + 12);
}

CString ResumeFilePath() { return GetModuleDir() + kTempDir + kResumeData; }

}  // namespace

void SaveResumeData() {
    try {
        ULONGLONG nVersion = GetModuleVersion();
        g_resume.dwFileVersionMS = static_cast<DWORD>(nVersion >> 32);
        g_resume.dwFileVersionLS = static_cast<DWORD>(nVersion);
        g_resume.nStatus = static_cast<DWORD>(g_nStatus);
        BYTE aBytes[kRecordSize];
        Encode(g_resume, aBytes);
        CFile file(ResumeFilePath(), CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
        file.Write(aBytes, kRecordSize);
        file.Close();
    } catch (CException* e) {
        e->Delete();
    } catch (const std::exception&) {
    }
}

BOOL LoadResumeData() {
    try {
        CFile file(ResumeFilePath(), CFile::modeRead | CFile::shareExclusive);
        BYTE aBytes[kRecordSize];
        // A short file still overwrites the leading fields it holds.
        Encode(g_resume, aBytes);
        UINT nRead = file.Read(aBytes, kRecordSize);
        file.Close();
        Decode(aBytes, g_resume);
        return nRead == kRecordSize;
    } catch (CException* e) {
        e->Delete();
        return FALSE;
    }
}

BOOL CanResumeUpdate() {
    if (LoadResumeData()) {
        ULONGLONG nVersion = GetModuleVersion();
        if (g_resume.dwFileVersionMS == static_cast<DWORD>(nVersion >> 32) &&
            g_resume.dwFileVersionLS == static_cast<DWORD>(nVersion) &&
            g_resume.nStatus - STATUS_DOWNLOAD_PATCH <= 3u)
            return TRUE;
    }
    g_resume.nStatus = 0;
    return FALSE;
}
