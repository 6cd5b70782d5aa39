// Threads in the framework's style: a CWinThread object with InitInstance, Run and
// ExitInstance, started from a runtime class or a function; plus the small timing helpers.
#pragma once

#include "platform/handle.h"
#include "platform/types.h"

class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    CObject* (*m_pfnCreateObject)();
    CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
};

class CObject {
public:
    virtual ~CObject() = default;
    virtual CRuntimeClass* GetRuntimeClass() const { return nullptr; }
};

#define DECLARE_DYNCREATE(class_name)       \
public:                                     \
    static CRuntimeClass class##class_name; \
    static CObject* CreateObject();         \
    CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                    \
    CRuntimeClass class_name::class##class_name = {#class_name, &class_name::CreateObject}; \
    CObject* class_name::CreateObject() { return new class_name; }                          \
    CRuntimeClass* class_name::GetRuntimeClass() const { return &class_name::class##class_name; }

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define CREATE_SUSPENDED 0x4u

typedef UINT (*AFX_THREADPROC)(LPVOID);

class CThreadStart;

class CWinThread : public CObject {
public:
    CWinThread();
    CWinThread(AFX_THREADPROC proc, LPVOID param);
    ~CWinThread() override;
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts the thread; with CREATE_SUSPENDED it waits for ResumeThread before InitInstance.
    BOOL CreateThread(DWORD flags = 0, UINT stackSize = 0, LPSECURITY_ATTRIBUTES attributes = NULL);
    DWORD ResumeThread();
    // Priorities are accepted and ignored: every thread runs at the process's priority.
    BOOL SetThreadPriority(int priority);
    int GetThreadPriority() const { return THREAD_PRIORITY_NORMAL; }

    // Run follows only when InitInstance returns TRUE; otherwise ExitInstance gives the code.
    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();

    operator HANDLE() const { return m_hThread; }

    // The thread's handle: signalled once the thread has ended, which is after an automatically
    // deleted object has been destroyed. The object closes it in its destructor; take a
    // reference (DuplicateHandleReference or CSharedHandle) to wait on it beyond that.
    HANDLE m_hThread = NULL;
    DWORD m_nThreadID = 0;
    // Deletes the object when the thread ends.
    BOOL m_bAutoDelete = TRUE;

private:
    friend class CThreadStart;
    AFX_THREADPROC m_pfnThreadProc = nullptr;
    LPVOID m_pThreadParams = nullptr;
    CThreadStart* m_pStart = nullptr;
};

// Creates an object of the runtime class (a CWinThread) and starts it; NULL on failure.
CWinThread* AfxBeginThread(CRuntimeClass* threadClass, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD flags = 0,
                           LPSECURITY_ATTRIBUTES attributes = NULL);
// Runs proc(param) on a new thread; NULL on failure.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD flags = 0,
                           LPSECURITY_ATTRIBUTES attributes = NULL);

void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary start, wrapping at 2^32 as on Windows.
DWORD GetTickCount();
ULONGLONG GetTickCount64();
DWORD GetCurrentThreadId();
