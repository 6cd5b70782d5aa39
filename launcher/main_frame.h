// The launcher's one window: a frameless, fixed 640 x 480 skin with the news view, the status
// line over the progress bar and the play, minimise and close buttons. A 500 ms timer turns the
// update engine's status into text, bar position and taskbar progress.
#pragma once

#include <QImage>
#include <QPoint>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "launcher/cute_button.h"
#include "launcher/fine_progress.h"
#include "launcher/taskbar_progress.h"

class CVarnholtLauncherView;

class CMainFrame : public QWidget {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    // Makes the window for template resource nIDResource; FALSE when it cannot be made.
    BOOL LoadFrame(UINT nIDResource);
    CVarnholtLauncherView* GetActiveView() const { return m_pView; }

    void OnTimer();
    void OnPlay();
    void OnMinimize();
    // The close button, Alt+F4 and the window manager's close: at once when the update is over
    // (ready or failed), otherwise only a stop request after the player confirms it.
    void OnCloseRequest();

    // The failure box text for the first-error record.
    static CString FormatErrorText(const CString& strMessage, int nErrorCode);
    // The status line of status nStatus; FALSE for statuses that have none.
    static BOOL FormatStatusText(int nStatus, int nPercent, DWORD dwSpeed, CString& strText);

    CCuteButton m_btnMinimize;
    CCuteButton m_btnClose;
    CFineProgress m_progress;
    CCuteButton m_btnPlay;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    BOOL Create(const CString& strTitle);
    int OnCreate();
    void RecalcLayout();
    void OnCommand(UINT nID);
    // Closes the window for good and ends the application's message loop.
    void OnClose();

    QImage m_imgBackground;
    CVarnholtLauncherView* m_pView = nullptr;
    std::unique_ptr<CTaskbarProgress> m_pTaskbarList;
    QTimer m_timer;
    bool m_bClosing = false;
    bool m_bInCloseEvent = false;
    // Moving by hand where the window manager cannot move the window for us.
    bool m_bDragging = false;
    QPoint m_ptDragOffset;
};
