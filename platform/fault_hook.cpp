#include "platform/fault_hook.h"

#include <atomic>
#include <mutex>

namespace {
std::mutex g_mutex;
FaultHook g_hook;
std::atomic<bool> g_installed{false};
}  // namespace

void SetFaultHook(FaultHook hook) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_hook = std::move(hook);
    g_installed = static_cast<bool>(g_hook);
}

void ClearFaultHook() { SetFaultHook(nullptr); }

int InjectedFault(FileOperation operation, LPCTSTR path) {
    if (!g_installed.load(std::memory_order_relaxed)) return 0;
    FaultHook hook;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        hook = g_hook;
    }
    return hook ? hook(operation, CString(path)) : 0;
}
