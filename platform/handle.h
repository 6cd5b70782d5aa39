// Kernel-object handles: a HANDLE points at a reference-counted object; CloseHandle drops one
// reference, so a handle that someone else still holds stays valid for them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/types.h"

#define WAIT_OBJECT_0 0u
#define WAIT_ABANDONED 0x80u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu

class CKernelObject {
public:
    CKernelObject() = default;
    CKernelObject(const CKernelObject&) = delete;
    CKernelObject& operator=(const CKernelObject&) = delete;
    virtual ~CKernelObject() = default;

    // WAIT_OBJECT_0 when signalled within timeoutMs, WAIT_TIMEOUT otherwise; objects that
    // cannot be waited on give WAIT_FAILED.
    virtual DWORD Wait(DWORD timeoutMs);

    void AddRef() { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void Release() {
        if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

private:
    std::atomic<int> m_refs{1};
};

// A signal that is either manual-reset (stays set until reset) or auto-reset (one wait
// consumes it). Events, thread and process ends are built on it.
class CSignalObject : public CKernelObject {
public:
    CSignalObject(bool manualReset, bool initialState)
        : m_manualReset(manualReset), m_signalled(initialState) {}
    void Set();
    void Reset();
    DWORD Wait(DWORD timeoutMs) override;
    bool IsSet() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    const bool m_manualReset;
    bool m_signalled;
};

inline HANDLE ToHandle(CKernelObject* object) { return object; }
// The object behind a handle; NULL for NULL and INVALID_HANDLE_VALUE.
CKernelObject* HandleObject(HANDLE handle);

BOOL CloseHandle(HANDLE handle);
DWORD WaitForSingleObject(HANDLE handle, DWORD timeoutMs);
// A second reference to the same object (closed with CloseHandle like the first).
HANDLE DuplicateHandleReference(HANDLE handle);

// A handle variable that owns its own reference, so it can be published by one thread and
// waited on by another even after the original owner closed its copy. Safe to assign and
// read from different threads.
class CSharedHandle {
public:
    CSharedHandle() = default;
    CSharedHandle(HANDLE handle) { Assign(handle); }
    CSharedHandle(const CSharedHandle& other) { Assign(other.Get()); }
    ~CSharedHandle() { Assign(NULL); }
    CSharedHandle& operator=(HANDLE handle) {
        Assign(handle);
        return *this;
    }
    CSharedHandle& operator=(const CSharedHandle& other) {
        if (this != &other) Assign(other.Get());
        return *this;
    }
    // A new reference that the caller closes with CloseHandle; NULL when empty.
    HANDLE Duplicate() const;
    // The handle itself; valid while this variable holds it.
    HANDLE Get() const;
    operator HANDLE() const { return Get(); }

private:
    void Assign(HANDLE handle);

    mutable std::mutex m_mutex;
    HANDLE m_handle = NULL;
};
