#include "platform/sync.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/last_error.h"
#include "platform/utf8.h"

bool LockWithin(std::recursive_mutex& mutex, DWORD timeoutMs) {
    if (timeoutMs == INFINITE) {
        mutex.lock();
        return true;
    }
    // Timed waits are rare and short here (a lock that someone else holds for a moment), so
    // polling keeps to the plain mutex operations every tool understands.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!mutex.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

BOOL CCriticalSection::Lock(DWORD timeoutMs) { return LockWithin(m_mutex, timeoutMs); }

BOOL CCriticalSection::Unlock() {
    m_mutex.unlock();
    return TRUE;
}

CEvent::CEvent(BOOL initiallySignalled, BOOL manualReset, LPCTSTR, LPSECURITY_ATTRIBUTES)
    : m_hObject(ToHandle(new CSignalObject(manualReset != FALSE, initiallySignalled != FALSE))) {}

CEvent::~CEvent() { CloseHandle(m_hObject); }

BOOL CEvent::SetEvent() {
    static_cast<CSignalObject*>(m_hObject)->Set();
    return TRUE;
}

BOOL CEvent::ResetEvent() {
    static_cast<CSignalObject*>(m_hObject)->Reset();
    return TRUE;
}

BOOL CEvent::Lock(DWORD timeoutMs) {
    return static_cast<CSignalObject*>(m_hObject)->Wait(timeoutMs) == WAIT_OBJECT_0;
}

namespace {

std::string LockFilePath(LPCTSTR name) {
    std::string base;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        base = runtime;
    } else {
        const char* tmp = std::getenv("TMPDIR");
        base = std::string(tmp && *tmp ? tmp : "/tmp");
    }
    std::string file = WideToUtf8(name);
    for (char& c : file)
        if (c == '/') c = '_';
    if (!std::getenv("XDG_RUNTIME_DIR") || !*std::getenv("XDG_RUNTIME_DIR"))
        file += "-" + std::to_string(getuid());
    return base + "/" + file + ".lock";
}

}  // namespace

CMutex::CMutex(BOOL initiallyOwn, LPCTSTR name, LPSECURITY_ATTRIBUTES) {
    if (name && *name) {
        m_fd = open(LockFilePath(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd < 0) SetLastErrorFromErrno(errno);
    }
    if (initiallyOwn) Lock(0);
}

CMutex::~CMutex() {
    if (m_fd >= 0) close(m_fd);
}

BOOL CMutex::Lock(DWORD timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!LockWithin(m_local, timeoutMs)) return FALSE;
    if (m_fd >= 0 && m_lockCount == 0) {
        while (flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                SetLastErrorFromErrno(errno);
                m_local.unlock();
                return FALSE;
            }
            if (timeoutMs != INFINITE && std::chrono::steady_clock::now() >= deadline) {
                m_local.unlock();
                return FALSE;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    ++m_lockCount;
    return TRUE;
}

BOOL CMutex::Unlock() {
    if (m_lockCount == 0) return FALSE;
    if (--m_lockCount == 0 && m_fd >= 0) flock(m_fd, LOCK_UN);
    m_local.unlock();
    return TRUE;
}

CSingleLock::CSingleLock(CSyncObject* object, BOOL initialLock) : m_object(object) {
    if (initialLock) Lock();
}

CSingleLock::~CSingleLock() {
    if (m_locked) Unlock();
}

BOOL CSingleLock::Lock(DWORD timeoutMs) {
    m_locked = m_object->Lock(timeoutMs);
    return m_locked;
}

BOOL CSingleLock::Unlock() {
    if (m_locked) {
        m_object->Unlock();
        m_locked = FALSE;
    }
    return TRUE;
}
