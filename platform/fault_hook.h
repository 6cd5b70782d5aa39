// Test-only fault injection: makes a chosen file operation of this layer fail with a chosen
// system error, so failure paths can be exercised even when the tests run as root.
#pragma once

#include <functional>

#include "platform/cstring.h"

enum class FileOperation {
    Open,
    Read,
    Write,
    SetLength,
    Flush,
    Delete,
    Move,
    Copy,
    CreateDirectory,
    RemoveDirectory,
    SetAttributes,
    FindFiles,
    SetTime,
};

// Returns the errno to fail with, or 0 to let the operation run.
using FaultHook = std::function<int(FileOperation operation, const CString& path)>;

// Installs the hook for every thread (an empty hook removes it).
void SetFaultHook(FaultHook hook);
void ClearFaultHook();

// The errno the hook asks for (0 when there is none); used by the layer before each operation.
int InjectedFault(FileOperation operation, LPCTSTR path);
