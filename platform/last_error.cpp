#include "platform/last_error.h"

#include <cerrno>

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
thread_local int t_lastErrno = 0;
}  // namespace

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD error) {
    t_lastError = error;
    t_lastErrno = 0;
}

DWORD ErrnoToWin32Error(int error) {
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case EACCES:
        case EPERM:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case EIO:
            return ERROR_GEN_FAILURE;
        case EWOULDBLOCK:
            return ERROR_SHARING_VIOLATION;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EBUSY:
            return ERROR_BUSY;
        case ETIMEDOUT:
            return ERROR_TIMEOUT;
        case ELOOP:
            return ERROR_CANT_RESOLVE_FILENAME;
        case EPIPE:
            return ERROR_BROKEN_PIPE;
        case ENOTSUP:
            return ERROR_NOT_SUPPORTED;
        default:
            return ERROR_GEN_FAILURE;
    }
}

void SetLastErrorFromErrno(int error) {
    t_lastError = ErrnoToWin32Error(error);
    t_lastErrno = error;
}

int GetLastErrno() {
    if (t_lastErrno != 0 || t_lastError == ERROR_SUCCESS) return t_lastErrno;
    switch (t_lastError) {
        case ERROR_FILE_NOT_FOUND:
            return ENOENT;
        case ERROR_PATH_NOT_FOUND:
            return ENOTDIR;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_SHARING_VIOLATION:
            return EWOULDBLOCK;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_DISK_FULL:
            return ENOSPC;
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        default:
            return EIO;
    }
}
