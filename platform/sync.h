// The framework's synchronisation objects: critical section, event, named mutex and the
// scoped lock over them.
#pragma once

#include <chrono>
#include <mutex>

#include "platform/handle.h"
#include "platform/types.h"

class CSyncObject {
public:
    virtual ~CSyncObject() = default;
    // TRUE when the object was acquired within timeoutMs.
    virtual BOOL Lock(DWORD timeoutMs = INFINITE) = 0;
    virtual BOOL Unlock() = 0;
};

// Recursive, as a Windows critical section is.
class CCriticalSection : public CSyncObject {
public:
    BOOL Lock(DWORD timeoutMs = INFINITE) override;
    BOOL Unlock() override;

private:
    std::recursive_mutex m_mutex;
};

// An event; automatically resetting unless manualReset. Names are not supported (the program
// uses none) and are ignored.
class CEvent : public CSyncObject {
public:
    explicit CEvent(BOOL initiallySignalled = FALSE, BOOL manualReset = FALSE, LPCTSTR name = NULL,
                    LPSECURITY_ATTRIBUTES attributes = NULL);
    ~CEvent() override;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    BOOL SetEvent();
    BOOL ResetEvent();
    // Waits for the event (consuming it when automatically resetting).
    BOOL Lock(DWORD timeoutMs = INFINITE) override;
    BOOL Unlock() override { return TRUE; }
    operator HANDLE() const { return m_hObject; }

    HANDLE m_hObject;
};

// A mutex. A named one is shared between processes: it is an flock on a lock file of that name
// in the user's runtime folder ($XDG_RUNTIME_DIR, else the temporary folder with the user id),
// released when its holder ends, as an abandoned Windows mutex is. Within one process a named
// mutex is held by the object that locked it, not by a thread.
class CMutex : public CSyncObject {
public:
    explicit CMutex(BOOL initiallyOwn = FALSE, LPCTSTR name = NULL,
                    LPSECURITY_ATTRIBUTES attributes = NULL);
    ~CMutex() override;
    CMutex(const CMutex&) = delete;
    CMutex& operator=(const CMutex&) = delete;

    BOOL Lock(DWORD timeoutMs = INFINITE) override;
    BOOL Unlock() override;

private:
    std::recursive_mutex m_local;
    int m_fd = -1;
    int m_lockCount = 0;
};

// Locks mutex, waiting at most timeoutMs (INFINITE: without limit); true when it got it.
bool LockWithin(std::recursive_mutex& mutex, DWORD timeoutMs);

// Locks a synchronisation object for a scope.
class CSingleLock {
public:
    explicit CSingleLock(CSyncObject* object, BOOL initialLock = FALSE);
    ~CSingleLock();
    CSingleLock(const CSingleLock&) = delete;
    CSingleLock& operator=(const CSingleLock&) = delete;

    BOOL Lock(DWORD timeoutMs = INFINITE);
    BOOL Unlock();
    BOOL IsLocked() const { return m_locked; }

private:
    CSyncObject* m_object;
    BOOL m_locked = FALSE;
};
