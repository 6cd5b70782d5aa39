#include "update/selfupdate.h"

#include <vector>

#include "platform/process.h"
#include "update/constants.h"
#include "update/file_utils.h"
#include "update/leading_number.h"
#include "update/percent.h"
#include "update/status.h"
#include "update/update_thread.h"

void CUpdateThread::DownloadLauncherUpdate() {
    CString strUrl;
    strUrl.Format(L"%s%sSize;Launcher", static_cast<LPCTSTR>(kServerUrl),
                  static_cast<LPCTSTR>(kInfoScript));
    m_qwLauncherSize = LeadingUnsignedNumber(RequestString(strUrl));
    m_qwLauncherDone = 0;
    const CString strLocal = m_strDir + kUpdaterExe;
    DownloadFile(strLocal, kServerUrl + kPatchDir + kUpdaterExe, OnLauncherDownloadProgress);
    if (g_bStop) {
        DeleteFileW(strLocal);
        AfxThrowUserException();
    }
}

void OnLauncherDownloadProgress(DWORD dwBytes, BOOL* pbStop) {
    CUpdateThread* pThread = g_pUpdateThread;
    pThread->m_qwLauncherDone += dwBytes;
    // Not limited to 100: a body longer than announced shows as such.
    const int nPercent = PercentOf(pThread->m_qwLauncherDone, pThread->m_qwLauncherSize);
    SetStatus(STATUS_UPDATE_LAUNCHER, nPercent);
    *pbStop = g_bStop ? TRUE : FALSE;
}

void CUpdateThread::StartLauncherUpdate() {
    const CString strExe = m_strDir + kUpdaterExe;
    // A download arrives without the execute permission.
    SetFileExecutable(strExe);
    HANDLE hProcess = StartProcess(strExe, kUpdateSwitch);
    if (hProcess == nullptr) ThrowUpdateError(274, IDS_ERR_DOWNLOAD);
    CloseHandle(hProcess);
}

void ReplaceLauncher() {
    const CString strTarget = GetModuleDir() + kLauncherExe;
    // The copy goes to a temporary file that is renamed over the launcher, so the running
    // launcher is never written in place and a failed copy leaves it as it was.
    BOOL bDone = CopyFileW(GetModulePath(), strTarget, FALSE);
    if (bDone) {
        HANDLE hProcess = StartProcess(strTarget, nullptr);
        bDone = hProcess != nullptr;
        if (hProcess != nullptr) CloseHandle(hProcess);
    }
    if (!bDone) AfxMessageBox(IDS_ERR_CLIENT_UPDATE, MB_ICONERROR);
}

HANDLE StartProcess(LPCTSTR pszExe, LPCTSTR pszArgs) {
    std::vector<CString> vecArgs;
    if (pszArgs != nullptr && pszArgs[0] != L'\0') vecArgs.emplace_back(pszArgs);
    return StartProcessWithArguments(pszExe, vecArgs, GetFolderOfPath(pszExe));
}
