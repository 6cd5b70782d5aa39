#include "platform/exceptions.h"

#include <cerrno>
#include <cstring>
#include <cwchar>

#include "platform/last_error.h"

BOOL CException::GetErrorMessage(LPTSTR buffer, UINT maxChars, PUINT helpContext) const {
    if (helpContext) *helpContext = 0;
    CString text = GetErrorMessage();
    if (!buffer || maxChars == 0) return FALSE;
    size_t n = std::min<size_t>(static_cast<size_t>(text.GetLength()), maxChars - 1);
    std::wmemcpy(buffer, text.GetString(), n);
    buffer[n] = 0;
    return !text.IsEmpty();
}

CString CFileException::GetErrorMessage() const {
    CString reason;
    if (m_nErrno != 0) {
        reason = CString(std::strerror(m_nErrno));
    } else {
        static const wchar_t* const kCauses[] = {L"no error",
                                                 L"unspecified error",
                                                 L"file not found",
                                                 L"bad path",
                                                 L"too many open files",
                                                 L"access denied",
                                                 L"invalid file",
                                                 L"cannot remove the current folder",
                                                 L"folder full",
                                                 L"bad seek",
                                                 L"hardware I/O error",
                                                 L"sharing violation",
                                                 L"lock violation",
                                                 L"disk full",
                                                 L"end of file"};
        reason = (m_cause >= 0 && m_cause <= endOfFile) ? kCauses[m_cause] : L"unknown error";
    }
    CString action = m_strAction.IsEmpty() ? CString(L"access") : m_strAction;
    CString text;
    text.Format(L"cannot %s file %s: %s", action.GetString(), m_strFileName.GetString(),
                reason.GetString());
    return text;
}

int CFileException::OsErrorToException(LONG osError) {
    switch (static_cast<DWORD>(osError)) {
        case ERROR_SUCCESS:
            return none;
        case ERROR_FILE_NOT_FOUND:
            return fileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_FILENAME_EXCED_RANGE:
        case ERROR_DIRECTORY:
            return badPath;
        case ERROR_TOO_MANY_OPEN_FILES:
            return tooManyOpenFiles;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return accessDenied;
        case ERROR_INVALID_HANDLE:
            return invalidFile;
        case ERROR_CURRENT_DIRECTORY:
            return removeCurrentDir;
        case ERROR_NEGATIVE_SEEK:
            return badSeek;
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_GEN_FAILURE:
            return hardIO;
        case ERROR_SHARING_VIOLATION:
            return sharingViolation;
        case ERROR_LOCK_VIOLATION:
            return lockViolation;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return diskFull;
        case ERROR_HANDLE_EOF:
            return endOfFile;
        default:
            return genericException;
    }
}

int CFileException::ErrnoToException(int error) {
    return OsErrorToException(static_cast<LONG>(ErrnoToWin32Error(error)));
}

void AfxThrowUserException() { throw new CUserException; }

void AfxThrowMemoryException() { throw new CMemoryException; }

void AfxThrowInvalidArgException() { throw new CInvalidArgException; }

void AfxThrowFileException(int cause, LONG osError, LPCTSTR fileName) {
    throw new CFileException(cause, osError, fileName);
}

void ThrowFileErrno(int error, LPCTSTR fileName, LPCTSTR action) {
    auto* e = new CFileException(CFileException::ErrnoToException(error),
                                 static_cast<LONG>(ErrnoToWin32Error(error)), fileName);
    e->m_nErrno = error;
    e->m_strAction = action;
    throw e;
}
