#include "update/status.h"

#include "platform/exceptions.h"
#include "update/resume.h"

int g_nStatus = 0;
std::atomic<int> g_nProgress{0};
CCriticalSection g_csStatus;
std::atomic<DWORD> g_nSpeed{0};
std::atomic<BOOL> g_bStop{FALSE};
std::atomic<int> g_nErrorCode{-1};
CString g_strError;
CEvent g_evExit(FALSE, FALSE);
CSharedHandle g_hUpdateThread;
CUpdateThread* g_pUpdateThread = nullptr;

void SetStatus(int nNewStatus, int nPercent) {
    bool bEnding = nNewStatus == STATUS_STOPPED || nNewStatus == STATUS_ERROR;
    bool bInStage = g_nStatus >= STATUS_DOWNLOAD_PATCH && g_nStatus <= STATUS_EXTRACT_RESOURCES;
    if (bEnding && bInStage) SaveResumeData();

    CSingleLock lock(&g_csStatus, TRUE);
    g_nStatus = nNewStatus;
    g_nProgress = nPercent;
}

void ThrowUpdateError(int nCode, UINT nMessageId) {
    if (g_nErrorCode == -1) {
        // The text goes first: whoever sees the number sees its text.
        CString strMessage;
        strMessage.LoadString(nMessageId);
        g_strError = strMessage;
        g_nErrorCode = nCode;
    }
    AfxThrowUserException();
}

void GetStatus(int* pStatus, int* pPercent, int* pBar) {
    int nStatus, nPercent;
    {
        CSingleLock lock(&g_csStatus, TRUE);
        nStatus = g_nStatus;
        nPercent = g_nProgress;
    }
    *pStatus = nStatus;
    *pPercent = nPercent;

    // Statuses 3, 5, 6, 7 and 8 each own a band of 43 positions (4 is a fixed step between
    // them); the launcher update fills the whole bar.
    const int nBand = 43;
    switch (nStatus) {
        case STATUS_UPDATE_LAUNCHER:
            *pBar = nPercent * 255 / 100;
            break;
        case STATUS_CHECK_CLIENT:
            *pBar = nPercent * nBand / 100;
            break;
        case STATUS_DOWNLOAD_TORRENTS:
            *pBar = nBand;
            break;
        case STATUS_DOWNLOAD_PATCH:
            *pBar = nBand + nPercent * nBand / 100;
            break;
        case STATUS_EXTRACT_PATCH:
            *pBar = 2 * nBand + nPercent * nBand / 100;
            break;
        case STATUS_INSTALL_PATCH:
            *pBar = 3 * nBand + nPercent * nBand / 100;
            break;
        case STATUS_EXTRACT_RESOURCES:
            *pBar = 4 * nBand + nPercent * nBand / 100;
            break;
        case STATUS_READY:
            *pBar = 255;
            break;
        default:
            *pBar = 0;
            break;
    }
}

CString GetErrorMessage() { return g_strError; }
