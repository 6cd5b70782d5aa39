// The application object: one launcher at a time, the "-update" hand-over, the resume question,
// the update engine's start, the window, and at the end the wait for the update thread before
// the single-instance lock is released.
#pragma once

#include <memory>

#include "launcher/document.h"
#include "platform/cstring.h"
#include "platform/sync.h"

class CMainFrame;

class CVarnholtLauncherApp {
public:
    CVarnholtLauncherApp();
    virtual ~CVarnholtLauncherApp();

    // TRUE keeps the application running with its window; FALSE ends it (ExitInstance follows).
    virtual BOOL InitInstance();
    // Runs on every way to the end, also after InitInstance ended early.
    virtual int ExitInstance();

    // The command line after the program name: the arguments joined by single blanks.
    CString m_lpCmdLine;
    CMainFrame* m_pMainWnd = nullptr;

private:
    // Whether the browser engine can run here (the stand-in for OLE's initialisation).
    static BOOL AfxOleInit();

    CMutex m_mutex;
    std::unique_ptr<CSingleDocTemplate> m_pDocTemplate;
    BOOL m_bUpdateStarted = FALSE;
};

extern CVarnholtLauncherApp theApp;
