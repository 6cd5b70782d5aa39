#include "launcher/main_frame.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "launcher/bitmap_resource.h"
#include "launcher/number_text.h"
#include "launcher/qt_text.h"
#include "launcher/resource.h"
#include "launcher/view.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "update/constants.h"
#include "update/file_utils.h"
#include "update/selfupdate.h"
#include "update/status.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kDragBandHeight = 96;
constexpr int kTimerPeriodMs = 500;
const QRect kViewRect(6, 96, 628, 330);

// The window title: the first of the template string's line-feed separated parts.
CString TemplateTitle(UINT nIDResource) {
    CString strTemplate;
    strTemplate.LoadString(nIDResource);
    const int nEnd = strTemplate.Find(L'\n');
    return nEnd < 0 ? strTemplate : strTemplate.Left(nEnd);
}

}  // namespace

CMainFrame::CMainFrame() : m_imgBackground(LoadBitmapResource(IDB_BACKGROUND)) {}

CMainFrame::~CMainFrame() = default;

BOOL CMainFrame::LoadFrame(UINT nIDResource) {
    setWindowIcon(LoadAppIcon());
    return Create(TemplateTitle(nIDResource));
}

BOOL CMainFrame::Create(const CString& strTitle) {
    setWindowTitle(ToQString(strTitle));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint);
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    if (OnCreate() == -1) return FALSE;
    m_timer.setInterval(kTimerPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &CMainFrame::OnTimer);
    m_timer.start();
    return TRUE;
}

int CMainFrame::OnCreate() {
    m_pView = new CVarnholtLauncherView(this);
    if (const QScreen* pScreen = QGuiApplication::primaryScreen())
        move(pScreen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
    m_btnMinimize.Create(this, IDC_MINIMIZE, 585, 11, IDB_MINIMIZE);
    m_btnClose.Create(this, IDCLOSE, 610, 11, IDB_CLOSE);
    m_progress.Create(this);
    m_btnPlay.Create(this, IDOK, 494, 436, IDB_PLAY);
    for (CCuteButton* pButton : {&m_btnMinimize, &m_btnClose, &m_btnPlay})
        connect(pButton, &CCuteButton::Command, this, &CMainFrame::OnCommand);
    m_btnPlay.setEnabled(false);
    m_pTaskbarList = CTaskbarProgress::Create();
    // The window itself takes the keyboard when the window manager activates it. Left to Qt, the
    // first child that accepts focus, the news view, would get it, and the page would focus its
    // first link and scroll it into view, away from the headline.
    setFocus();
    RecalcLayout();
    return 0;
}

void CMainFrame::RecalcLayout() {
    if (m_pView) m_pView->setGeometry(kViewRect);
}

void CMainFrame::OnCommand(UINT nID) {
    switch (nID) {
        case IDOK:
            OnPlay();
            break;
        case IDC_MINIMIZE:
            OnMinimize();
            break;
        case IDCLOSE:
            OnCloseRequest();
            break;
        default:
            break;
    }
}

void CMainFrame::paintEvent(QPaintEvent*) {
    QPainter dc(this);
    dc.drawImage(QPoint(0, 0), m_imgBackground);
}

void CMainFrame::mousePressEvent(QMouseEvent* event) {
    // The top band is the caption: dragging it moves the window. The small buttons in it are
    // child widgets and get their own presses.
    const QPoint point = event->position().toPoint();
    if (event->button() != Qt::LeftButton || point.y() < 0 || point.y() >= kDragBandHeight ||
        point.x() < 0 || point.x() >= kWidth)
        return;
    if (windowHandle() && windowHandle()->startSystemMove()) return;
    m_bDragging = true;
    m_ptDragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CMainFrame::mouseMoveEvent(QMouseEvent* event) {
    if (m_bDragging) move(event->globalPosition().toPoint() - m_ptDragOffset);
}

void CMainFrame::mouseReleaseEvent(QMouseEvent* event) {
    m_bDragging = false;
    // A press on the background and a release over a button still clicks the button: the
    // release belongs to the window under the cursor, as the buttons were designed for.
    auto* pButton = qobject_cast<CCuteButton*>(childAt(event->position().toPoint()));
    if (!pButton) return;
    const QPointF point = pButton->mapFrom(this, event->position());
    QMouseEvent release(QEvent::MouseButtonRelease, point, event->globalPosition(), event->button(),
                        event->buttons(), event->modifiers());
    QCoreApplication::sendEvent(pButton, &release);
}

void CMainFrame::OnMinimize() { showMinimized(); }

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Alt+F4 and the window manager's close are close requests like the close button.
    if (!m_bClosing) {
        m_bInCloseEvent = true;
        OnCloseRequest();
        m_bInCloseEvent = false;
    }
    event->setAccepted(m_bClosing);
}

void CMainFrame::OnClose() {
    m_bClosing = true;
    m_timer.stop();
    // Within a close event, accepting it is what closes the window.
    if (!m_bInCloseEvent) close();
    QCoreApplication::quit();
}

void CMainFrame::OnCloseRequest() {
    int nStatus = 0, nPercent = 0, nBar = 0;
    GetStatus(&nStatus, &nPercent, &nBar);
    if (nStatus == STATUS_READY || nStatus == STATUS_ERROR) {
        OnClose();
        return;
    }
    if (AfxMessageBox(IDS_CONFIRM_STOP, MB_YESNO | MB_ICONQUESTION) == IDYES) g_bStop = TRUE;
}

CString CMainFrame::FormatErrorText(const CString& strMessage, int nErrorCode) {
    return strMessage + L"\n(Error 0x" + static_cast<const wchar_t*>(CNumberText(nErrorCode)) +
           L")";
}

BOOL CMainFrame::FormatStatusText(int nStatus, int nPercent, DWORD dwSpeed, CString& strText) {
    if (nStatus == STATUS_DOWNLOAD_PATCH)
        strText.Format(2099 + nStatus, nPercent, static_cast<unsigned int>(dwSpeed >> 10));
    else if (nStatus >= STATUS_CHECK_LAUNCHER && nStatus <= STATUS_READY)
        strText.Format(2099 + nStatus, nPercent);
    else if (nStatus == STATUS_ERROR)
        strText.Format(IDS_STATUS_ERROR);
    else
        return FALSE;
    return TRUE;
}

void CMainFrame::OnTimer() {
    int nStatus = 0, nPercent = 0, nBar = 0;
    GetStatus(&nStatus, &nPercent, &nBar);
    if (nStatus == STATUS_STOPPED || nStatus == STATUS_RESTART) {
        OnClose();
        return;
    }
    CString strText;
    if (!FormatStatusText(nStatus, nPercent, g_nSpeed, strText)) return;
    if (nStatus == STATUS_READY) m_btnPlay.setEnabled(true);
    m_progress.m_text = strText;
    m_progress.repaint();
    m_progress.m_value = qBound(0, nBar, 255);
    m_progress.repaint();
    if (m_pTaskbarList)
        m_pTaskbarList->SetProgressValue(static_cast<ULONGLONG>(static_cast<DWORD>(nBar)), 255);
    if (nStatus == STATUS_ERROR) {
        // Stopped first: the box's own event loop must not let a tick show it again.
        m_timer.stop();
        AfxMessageBox(FormatErrorText(GetErrorMessage(), g_nErrorCode), MB_ICONERROR);
    }
}

void CMainFrame::OnPlay() {
    int nStatus = 0, nPercent = 0, nBar = 0;
    GetStatus(&nStatus, &nPercent, &nBar);
    if (nStatus != STATUS_READY) return;
    const CString strGame = GetModuleDir() + kGameDir + kGameExe;
    HANDLE hProcess = StartProcess(strGame, nullptr);
    if (!hProcess) {
        AfxMessageBox(IDS_ERR_CLIENT_FILES, MB_ICONERROR);
        return;
    }
    hide();
    // The launcher has nothing to show while the game runs; it ends with the game.
    WaitForSingleObject(hProcess, INFINITE);
    CloseHandle(hProcess);
    OnCloseRequest();
}
