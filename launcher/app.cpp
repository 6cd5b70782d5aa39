#include "launcher/app.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <chrono>
#include <thread>

#include "launcher/main_frame.h"
#include "launcher/resource.h"
#include "platform/locale.h"
#include "platform/message_box.h"
#include "update/constants.h"
#include "update/resume.h"
#include "update/selfupdate.h"
#include "update/status.h"
#include "update/update_thread.h"

namespace {
// A launcher that is ending (an outgoing one handing over to its update) gets this long.
constexpr DWORD kSingleInstanceWaitMs = 1500;

// Waits until the update thread has ended. It publishes its handle itself as it starts, so an
// exit right after its start may have to wait for that first.
void WaitForUpdateThread() {
    HANDLE hThread = g_hUpdateThread.Duplicate();
    while (hThread == NULL) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        hThread = g_hUpdateThread.Duplicate();
    }
    WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
}

}  // namespace

CVarnholtLauncherApp theApp;

CVarnholtLauncherApp::CVarnholtLauncherApp() : m_mutex(FALSE, L"VarnholtLauncherApp") {}

CVarnholtLauncherApp::~CVarnholtLauncherApp() = default;

BOOL CVarnholtLauncherApp::AfxOleInit() {
    QString helper = qEnvironmentVariable("QTWEBENGINE_PROCESS_PATH");
    if (helper.isEmpty())
        helper = QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) +
                 QStringLiteral("/QtWebEngineProcess");
    return QFileInfo(helper).isExecutable();
}

BOOL CVarnholtLauncherApp::InitInstance() {
    if (!m_mutex.Lock(kSingleInstanceWaitMs)) return FALSE;
    // The engine's wide-to-8-bit conversions follow the user's locale.
    _wsetlocale(LC_ALL, L"");
    // (There are no common controls to initialise: every control here is our own.)
    if (m_lpCmdLine.Compare(kUpdateSwitch) == 0) {
        ReplaceLauncher();
        return FALSE;
    }
    if (CanResumeUpdate() &&
        AfxMessageBox(IDS_CONFIRM_RESTORE, MB_YESNO | MB_ICONQUESTION) != IDYES)
        g_resume.nStatus = 0;
    BeginUpdate();
    int nStatus = 0, nPercent = 0, nBar = 0;
    GetStatus(&nStatus, &nPercent, &nBar);
    // A thread publishes its handle before it writes any status, so status 12 without a
    // handle means BeginUpdate could not start one.
    m_bUpdateStarted = !(nStatus == STATUS_RESTART && g_hUpdateThread.Get() == NULL);
    if (nStatus == STATUS_RESTART) return FALSE;
    if (!AfxOleInit()) {
        AfxMessageBox(IDP_OLE_INIT_FAILED, MB_OK);
        return FALSE;
    }
    m_pDocTemplate = std::make_unique<CSingleDocTemplate>(IDR_MAINFRAME);
    m_pMainWnd = m_pDocTemplate->OpenDocumentFile();
    if (!m_pMainWnd) return FALSE;
    m_pMainWnd->show();
    m_pMainWnd->repaint();
    return TRUE;
}

int CVarnholtLauncherApp::ExitInstance() {
    // Without a window nobody can stop the update any more; it must not run on invisibly while
    // holding the lock.
    if (m_bUpdateStarted && !m_pMainWnd) g_bStop = TRUE;
    g_evExit.SetEvent();
    if (m_bUpdateStarted) WaitForUpdateThread();
    // Back to the state before InitInstance, as the window and the template below.
    m_bUpdateStarted = FALSE;
    // Released before the window and the browser are torn down, which takes a while: a
    // "-update" copy waiting for the lock gets it in time.
    m_mutex.Unlock();
    m_pMainWnd = nullptr;
    m_pDocTemplate.reset();
    return 0;
}
