// The framework's exception family. Exceptions are thrown as pointers (throw new CUserException)
// and the handler that catches one owns it and calls Delete().
#pragma once

#include "platform/cstring.h"
#include "platform/types.h"

class CException {
public:
    virtual ~CException() = default;
    // Frees a heap-allocated exception (every exception of this layer is one).
    void Delete() { delete this; }
    // Copies the message into buffer (at most maxChars including the terminator).
    virtual BOOL GetErrorMessage(LPTSTR buffer, UINT maxChars, PUINT helpContext = NULL) const;
    // The message as a string; empty when the exception carries none.
    virtual CString GetErrorMessage() const { return CString(); }
};

class CSimpleException : public CException {};

class CUserException : public CSimpleException {};

// An index or argument out of range (a string position, an array index).
class CInvalidArgException : public CSimpleException {
public:
    CString GetErrorMessage() const override { return L"Invalid argument."; }
    using CException::GetErrorMessage;
};

class CMemoryException : public CSimpleException {
public:
    CString GetErrorMessage() const override { return L"Out of memory."; }
    using CException::GetErrorMessage;
};

class CFileException : public CException {
public:
    enum {
        none,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile
    };

    explicit CFileException(int cause = none, LONG osError = -1, LPCTSTR fileName = NULL)
        : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}

    // "cannot <action> file <name>: <system's reason>"
    CString GetErrorMessage() const override;
    using CException::GetErrorMessage;

    // The cause for a Win32 error number.
    static int OsErrorToException(LONG osError);
    // The cause for a system error number (errno).
    static int ErrnoToException(int error);

    int m_cause;
    // The Win32 number of the failure (ERROR_*), -1 when unknown.
    LONG m_lOsError;
    CString m_strFileName;
    // Not in the framework: the system's error number and what was being done, for the message.
    int m_nErrno = 0;
    CString m_strAction;
};

[[noreturn]] void AfxThrowUserException();
[[noreturn]] void AfxThrowMemoryException();
[[noreturn]] void AfxThrowInvalidArgException();
[[noreturn]] void AfxThrowFileException(int cause, LONG osError = -1, LPCTSTR fileName = NULL);
// Throws the file exception for a failed system call (errno), naming the file and the action.
[[noreturn]] void ThrowFileErrno(int error, LPCTSTR fileName, LPCTSTR action);
