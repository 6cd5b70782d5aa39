#include "platform/thread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <system_error>
#include <thread>

#include "platform/exceptions.h"
#include "platform/last_error.h"

// What the starting side hands the new thread: the resume signal for CREATE_SUSPENDED.
class CThreadStart {
public:
    CSignalObject resumed{true, false};
};

CWinThread::CWinThread() = default;

CWinThread::CWinThread(AFX_THREADPROC proc, LPVOID param)
    : m_pfnThreadProc(proc), m_pThreadParams(param) {}

CWinThread::~CWinThread() {
    if (m_hThread) CloseHandle(m_hThread);
    delete m_pStart;
}

BOOL CWinThread::InitInstance() { return m_pfnThreadProc != nullptr; }

int CWinThread::Run() {
    if (m_pfnThreadProc) return static_cast<int>(m_pfnThreadProc(m_pThreadParams));
    return ExitInstance();
}

int CWinThread::ExitInstance() { return 0; }

BOOL CWinThread::SetThreadPriority(int) { return TRUE; }

namespace {

void ThreadMain(CWinThread* thread, CThreadStart* start, CSignalObject* ended) {
    start->resumed.Wait(INFINITE);
    thread->m_nThreadID = GetCurrentThreadId();
    // An exception that escapes the thread's own handlers ends only this thread.
    try {
        if (thread->InitInstance())
            thread->Run();
        else
            thread->ExitInstance();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    if (thread->m_bAutoDelete) delete thread;
    ended->Set();
    ended->Release();
}

}  // namespace

BOOL CWinThread::CreateThread(DWORD flags, UINT, LPSECURITY_ATTRIBUTES) {
    if (m_hThread) return FALSE;
    auto* ended = new CSignalObject(true, false);
    m_pStart = new CThreadStart;
    m_hThread = ToHandle(ended);
    ended->AddRef();  // the thread's own reference, dropped when it has signalled its end
    try {
        std::thread(ThreadMain, this, m_pStart, ended).detach();
    } catch (const std::system_error& e) {
        SetLastErrorFromErrno(e.code().value());
        ended->Release();
        CloseHandle(m_hThread);
        m_hThread = NULL;
        return FALSE;
    }
    if (!(flags & CREATE_SUSPENDED)) m_pStart->resumed.Set();
    return TRUE;
}

DWORD CWinThread::ResumeThread() {
    if (!m_pStart) return static_cast<DWORD>(-1);
    bool wasSuspended = !m_pStart->resumed.IsSet();
    m_pStart->resumed.Set();
    return wasSuspended ? 1 : 0;
}

namespace {

// Starts a new thread object, or deletes it and gives NULL.
CWinThread* StartThreadObject(CWinThread* thread, int priority, UINT stackSize, DWORD flags,
                              LPSECURITY_ATTRIBUTES attributes) {
    if (!thread) return nullptr;
    if (!thread->CreateThread(flags | CREATE_SUSPENDED, stackSize, attributes)) {
        delete thread;
        return nullptr;
    }
    thread->SetThreadPriority(priority);
    if (!(flags & CREATE_SUSPENDED)) thread->ResumeThread();
    return thread;
}

}  // namespace

CWinThread* AfxBeginThread(CRuntimeClass* threadClass, int priority, UINT stackSize, DWORD flags,
                           LPSECURITY_ATTRIBUTES attributes) {
    CObject* object = threadClass ? threadClass->CreateObject() : nullptr;
    auto* thread = dynamic_cast<CWinThread*>(object);
    if (!thread) {
        delete object;
        return nullptr;
    }
    return StartThreadObject(thread, priority, stackSize, flags, attributes);
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stackSize,
                           DWORD flags, LPSECURITY_ATTRIBUTES attributes) {
    return StartThreadObject(new CWinThread(proc, param), priority, stackSize, flags, attributes);
}

void Sleep(DWORD milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

ULONGLONG GetTickCount64() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<ULONGLONG>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }
