#include "platform/handle.h"

#include <chrono>

#include "platform/last_error.h"

DWORD CKernelObject::Wait(DWORD) { return WAIT_FAILED; }

void CSignalObject::Set() {
    // Notified under the lock: a woken waiter may release the last reference right away.
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = true;
    if (m_manualReset)
        m_changed.notify_all();
    else
        m_changed.notify_one();
}

void CSignalObject::Reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = false;
}

bool CSignalObject::IsSet() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_signalled;
}

DWORD CSignalObject::Wait(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    auto ready = [this] { return m_signalled; };
    if (timeoutMs == INFINITE) {
        m_changed.wait(lock, ready);
    } else if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        return WAIT_TIMEOUT;
    }
    if (!m_manualReset) m_signalled = false;
    return WAIT_OBJECT_0;
}

CKernelObject* HandleObject(HANDLE handle) {
    if (handle == NULL || handle == INVALID_HANDLE_VALUE) return nullptr;
    return static_cast<CKernelObject*>(handle);
}

BOOL CloseHandle(HANDLE handle) {
    CKernelObject* object = HandleObject(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    object->Release();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs) {
    CKernelObject* object = HandleObject(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    DWORD result = object->Wait(timeoutMs);
    if (result == WAIT_FAILED) SetLastError(ERROR_INVALID_HANDLE);
    return result;
}

HANDLE DuplicateHandleReference(HANDLE handle) {
    CKernelObject* object = HandleObject(handle);
    if (!object) return NULL;
    object->AddRef();
    return handle;
}

HANDLE CSharedHandle::Get() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handle;
}

HANDLE CSharedHandle::Duplicate() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return DuplicateHandleReference(m_handle);
}

void CSharedHandle::Assign(HANDLE handle) {
    HANDLE added = DuplicateHandleReference(handle);
    HANDLE old;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        old = m_handle;
        m_handle = added;
    }
    if (old) CloseHandle(old);
}
