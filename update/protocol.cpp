// The update server protocol: plain HTTP GET requests under kServerUrl, text replies in UTF-16LE.
#include "update/byte_array.h"
#include "update/constants.h"
#include "update/file_utils.h"
#include "update/leading_number.h"
#include "update/packs.h"
#include "update/status.h"
#include "update/update_thread.h"

namespace {

// Always from the server, never into a cache, binary transfer.
constexpr DWORD kRequestFlags =
    INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_BINARY;
constexpr DWORD kRequestContext = 1;
// A text reply is at most this many bytes; the rest of a longer body is never read.
constexpr UINT kMaxReplyBytes = 1024;

CHttpFile* OpenRequest(CInternetSession& session, LPCTSTR pszUrl) {
    return static_cast<CHttpFile*>(session.OpenURL(pszUrl, kRequestContext, kRequestFlags));
}

void CloseRequest(CHttpFile*& pFile) {
    if (pFile == nullptr) return;
    CHttpFile* p = pFile;
    pFile = nullptr;
    p->Close();
    delete p;
}

// In a failure handler a second failure while closing must not replace the first.
void CloseAfterFailure(CHttpFile*& pFile) {
    try {
        CloseRequest(pFile);
    } catch (CException* e) {
        e->Delete();
    }
}

// The bytes as UTF-16 little-endian text as they stand: a byte-order mark stays part of the
// text, nothing is trimmed, an odd last byte is dropped.
CString DecodeUtf16Le(const BYTE* pBytes, UINT nBytes) {
    CString str;
    const UINT nUnits = nBytes / 2;
    for (UINT i = 0; i < nUnits; ++i) {
        const wchar_t unit = static_cast<wchar_t>(pBytes[2 * i] | (pBytes[2 * i + 1] << 8));
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < nUnits) {
            const wchar_t low = static_cast<wchar_t>(pBytes[2 * i + 2] | (pBytes[2 * i + 3] << 8));
            if (low >= 0xDC00 && low <= 0xDFFF) {
                str += static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        str += unit;
    }
    return str;
}

}  // namespace

CString CUpdateThread::RequestString(LPCTSTR pszUrl) {
    CHttpFile* pFile = nullptr;
    try {
        pFile = OpenRequest(m_session, pszUrl);
        // One logical read of up to 1024 bytes, however the transfer splits the body.
        BYTE reply[kMaxReplyBytes];
        UINT nRead = 0;
        while (nRead < kMaxReplyBytes) {
            const UINT n = pFile->Read(reply + nRead, kMaxReplyBytes - nRead);
            if (n == 0) break;
            nRead += n;
        }
        DWORD dwStatus = 0;
        pFile->QueryInfoStatusCode(dwStatus);
        CloseRequest(pFile);
        if (dwStatus != 200) AfxThrowUserException();
        return DecodeUtf16Le(reply, nRead);
    } catch (CException* e) {
        e->Delete();
        CloseAfterFailure(pFile);
        ThrowUpdateError(871, IDS_ERR_CONNECTION);
    }
}

void DownloadFile(LPCTSTR pszLocalPath, LPCTSTR pszUrl, PROGRESS_CALLBACK pfnProgress) {
    const DWORD dwChunk = GetClusterSize(pszLocalPath);
    CHttpFile* pFile = nullptr;
    try {
        pFile = OpenRequest(g_pUpdateThread->m_session, pszUrl);
        // Created only once the address answered, so a failed connection leaves no file.
        CFile file(pszLocalPath, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive);
        CXArray<BYTE, const BYTE&> buffer;
        buffer.SetSize(dwChunk);
        for (;;) {
            const UINT n = pFile->Read(buffer.GetData(), dwChunk);
            if (n == 0) break;
            file.Write(buffer.GetData(), n);
            if (pfnProgress != nullptr) {
                BOOL bStop = FALSE;
                pfnProgress(n, &bStop);
                if (bStop) break;
            }
        }
        DWORD dwStatus = 0;
        pFile->QueryInfoStatusCode(dwStatus);
        CloseRequest(pFile);
        // The body of an error reply stays in the file.
        if (dwStatus != 200) AfxThrowUserException();
    } catch (CException* e) {
        e->Delete();
        CloseAfterFailure(pFile);
        ThrowUpdateError(922, IDS_ERR_CONNECTION);
    }
}

int CUpdateThread::CheckLauncherVersion() {
    SetStatus(STATUS_CHECK_LAUNCHER, -1);
    const ULONGLONG qwVersion = GetModuleVersion();
    CString strVersion;
    strVersion.Format(L"%u.%u.%u.%u", HIWORD(HIDWORD(qwVersion)), LOWORD(HIDWORD(qwVersion)),
                      HIWORD(LODWORD(qwVersion)), LOWORD(LODWORD(qwVersion)));
    CString strUrl;
    strUrl.Format(L"%s%s%s;Launcher", static_cast<LPCTSTR>(kServerUrl),
                  static_cast<LPCTSTR>(kInfoScript), static_cast<LPCTSTR>(strVersion));
    return LeadingSignedNumber(RequestString(strUrl));
}

int CUpdateThread::QueryPackStatus(int nPack) {
    const CString strUrl = kServerUrl + kInfoScript + L"Pack;" + g_aPackNames[nPack] + L";" +
                           DwordToHex(m_mapPackChecksum[nPack]);
    const CString strReply = RequestString(strUrl);
    if (strReply == kReplyActual) return 0;
    if (strReply == kReplyUpdate) return 1;
    if (strReply == kReplyCorrupted) return 2;
    if (strReply == kReplyUnsupported) ThrowUpdateError(404, IDS_ERR_NOT_SUPPORTED);
    ThrowUpdateError(408, IDS_ERR_CONNECTION);
}
