#include "platform/message_box.h"

#include <cstdio>
#include <mutex>

#include "platform/utf8.h"

namespace {

std::mutex g_hookMutex;
MessageBoxHook g_hook;

int DefaultAnswer(const CString& text, UINT type) {
    std::string line = WideToUtf8(text.GetString(), static_cast<size_t>(text.GetLength()));
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    switch (type & MB_TYPEMASK) {
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return IDNO;
        case MB_RETRYCANCEL:
            return IDCANCEL;
        case MB_ABORTRETRYIGNORE:
            return IDABORT;
        default:
            return IDOK;
    }
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    MessageBoxHook previous = std::move(g_hook);
    g_hook = std::move(hook);
    return previous;
}

int AfxMessageBox(LPCTSTR text, UINT type, UINT) {
    MessageBoxHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_hook;
    }
    CString copy(text);
    return hook ? hook(copy, type) : DefaultAnswer(copy, type);
}

int AfxMessageBox(UINT promptId, UINT type, UINT) {
    CString text;
    text.LoadString(promptId);
    return AfxMessageBox(text.GetString(), type);
}
