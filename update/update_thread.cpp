#include "update/update_thread.h"

#include "update/constants.h"
#include "update/file_utils.h"
#include "update/resume.h"
#include "update/status.h"
#include "update/torrent_session.h"

IMPLEMENT_DYNCREATE(CUpdateThread, CWinThread)

CUpdateThread::CUpdateThread()
    : m_session(LoadResourceString(AFX_IDS_APP_TITLE), 1, INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                nullptr, 0) {
    g_pUpdateThread = this;
}

CUpdateThread::~CUpdateThread() {
    // The session goes first: its destruction waits until the library has stopped seeding from
    // the scratch folder.
    delete m_pSession;
    m_pSession = nullptr;
    if (g_pUpdateThread == this) g_pUpdateThread = nullptr;
}

BOOL CUpdateThread::InitInstance() {
    g_hUpdateThread = m_hThread;
    return TRUE;
}

int CUpdateThread::ExitInstance() { return CWinThread::ExitInstance(); }

namespace {

bool IsResumableStatus(int nStatus) {
    return nStatus >= STATUS_DOWNLOAD_PATCH && nStatus <= STATUS_EXTRACT_RESOURCES;
}

// Ends the update without going through the handlers again: for an exception raised while the
// update was being ended, and for one from outside the framework's family. A stop the player
// asked for stays a stop, whatever failed after it, as in the inner handler.
void EndUpdate() {
    int nStatus = 0;
    int nPercent = 0;
    int nBar = 0;
    GetStatus(&nStatus, &nPercent, &nBar);
    if (IsResumableStatus(nStatus)) SaveResumeData();
    CSingleLock lock(&g_csStatus, TRUE);
    g_nStatus = g_bStop ? STATUS_STOPPED : STATUS_ERROR;
    g_nProgress = -1;
}

}  // namespace

int CUpdateThread::Run() {
    try {
        // Even running out of memory here must end as a status, never end the process.
        m_strDir = GetModuleDir();
        try {
            if (CheckLauncherVersion()) {
                UpdateLoop();
                SetStatus(STATUS_READY, -1);
                g_evExit.Lock();
                RemoveTempFolder();
            } else {
                DownloadLauncherUpdate();
                StartLauncherUpdate();
                SetStatus(STATUS_RESTART, -1);
            }
        } catch (CException* e) {
            e->Delete();
            SetStatus(g_bStop ? STATUS_STOPPED : STATUS_ERROR, -1);
        }
    } catch (CException* e) {
        e->Delete();
        EndUpdate();
    } catch (...) {
        // Not of the framework's family (memory exhausted in the standard library): the update
        // ends as a failure or a stop, never the process.
        EndUpdate();
    }
    return 0;
}

void CUpdateThread::UpdateLoop() {
    for (;;) {
        m_setUpdate.clear();
        m_setReload.clear();
        ScanPacks();
        if (QueryPacks()) break;
        // A resumed stage skips the steps before it, in the first pass only.
        switch (static_cast<DWORD>(g_resume.nStatus)) {
            case 0:
                ResetTempFolder();
                DownloadPatches();
                ExtractPatches();
                ApplyPatches();
                InstallPatchedPacks();
                break;
            case STATUS_DOWNLOAD_PATCH:
                DownloadPatches();
                ExtractPatches();
                ApplyPatches();
                InstallPatchedPacks();
                break;
            case STATUS_EXTRACT_PATCH:
                ExtractPatches();
                ApplyPatches();
                InstallPatchedPacks();
                break;
            case STATUS_INSTALL_PATCH:
                ApplyPatches();
                InstallPatchedPacks();
                break;
            default:
                break;
        }
        g_resume.nStatus = 0;
    }
    ExtractResources();
}

void CUpdateThread::ResetTempFolder() {
    try {
        const CString strPath = m_strDir + kTempDir;
        const DWORD dwAttributes = GetFileAttributesW(strPath);
        if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFolder(strPath);
        if (!CreateDirectoryW(strPath, nullptr)) ThrowUpdateError(286, IDS_ERR_CLIENT_FILES);
    } catch (CException* e) {
        e->Delete();
        ThrowUpdateError(290, IDS_ERR_DOWNLOAD);
    }
}

void CUpdateThread::RemoveTempFolder() {
    try {
        DeleteFolder(m_strDir + kTempDir);
    } catch (CUserException* e) {
        // Something could not be deleted; the next fresh pass clears the folder again.
        e->Delete();
    }
}

void BeginUpdate() {
    try {
        DeleteFileW(GetModuleDir() + kUpdaterExe);
        DeleteFileW(GetModuleDir() + kTempDir + kResumeData);
        CWinThread* pThread = AfxBeginThread(RUNTIME_CLASS(CUpdateThread));
        if (pThread == nullptr) {
            AfxMessageBox(IDS_ERR_CLIENT_UPDATE, MB_ICONERROR);
            AfxThrowUserException();
        }
    } catch (CUserException* e) {
        e->Delete();
        CSingleLock lock(&g_csStatus, TRUE);
        g_nStatus = STATUS_RESTART;
        g_nProgress = -1;
    }
}
