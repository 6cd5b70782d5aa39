#include "platform/kernel_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fault_hook.h"
#include "platform/file_open.h"
#include "platform/file_ops.h"
#include "platform/last_error.h"

namespace {

class CKernelFile : public CKernelObject {
public:
    CKernelFile(int descriptor, const wchar_t* name) : fd(descriptor), path(name) {}
    ~CKernelFile() override { close(fd); }
    const int fd;
    const std::wstring path;
};

CKernelFile* FileOf(HANDLE handle) {
    auto* file = dynamic_cast<CKernelFile*>(HandleObject(handle));
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

BOOL Fail(int error) {
    SetLastErrorFromErrno(error);
    return FALSE;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    FileOpenRequest request;
    bool all = desiredAccess & GENERIC_ALL;
    request.read = all || (desiredAccess & (GENERIC_READ | GENERIC_EXECUTE));
    request.write = all || (desiredAccess & GENERIC_WRITE);
    request.shareRead = shareMode & FILE_SHARE_READ;
    request.shareWrite = shareMode & FILE_SHARE_WRITE;
    switch (creationDisposition) {
        case CREATE_NEW:
            request.disposition = FileDisposition::CreateNew;
            break;
        case CREATE_ALWAYS:
            request.disposition = FileDisposition::CreateAlways;
            break;
        case OPEN_EXISTING:
            request.disposition = FileDisposition::OpenExisting;
            break;
        case OPEN_ALWAYS:
            request.disposition = FileDisposition::OpenAlways;
            break;
        case TRUNCATE_EXISTING:
            request.disposition = FileDisposition::TruncateExisting;
            break;
        default:
            Fail(EINVAL);
            return INVALID_HANDLE_VALUE;
    }
    request.mode = 0666;
    if (flagsAndAttributes & FILE_ATTRIBUTE_EXECUTABLE) request.mode = 0777;
    if (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) request.mode &= ~0222u;
    request.modeForExisting = creationDisposition == CREATE_ALWAYS;
    FileOpenResult opened = OpenFileShared(fileName, request);
    if (opened.fd < 0) {
        Fail(opened.error);
        return INVALID_HANDLE_VALUE;
    }
    bool reportsExisting =
        creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS;
    SetLastError(reportsExisting && opened.existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return ToHandle(new CKernelFile(opened.fd, fileName));
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED) {
    if (bytesRead) *bytesRead = 0;
    CKernelFile* file = FileOf(handle);
    if (!file) return FALSE;
    if (int injected = InjectedFault(FileOperation::Read, file->path.c_str()))
        return Fail(injected);
    size_t done = 0;
    bool ok = ReadFully(file->fd, buffer, bytesToRead, &done);
    if (bytesRead) *bytesRead = static_cast<DWORD>(done);
    return ok ? TRUE : Fail(errno);
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED) {
    if (bytesWritten) *bytesWritten = 0;
    CKernelFile* file = FileOf(handle);
    if (!file) return FALSE;
    if (int injected = InjectedFault(FileOperation::Write, file->path.c_str()))
        return Fail(injected);
    if (!WriteFully(file->fd, buffer, bytesToWrite)) return Fail(errno);
    if (bytesWritten) *bytesWritten = bytesToWrite;
    return TRUE;
}

DWORD SetFilePointer(HANDLE handle, LONG distanceToMove, PLONG distanceToMoveHigh,
                     DWORD moveMethod) {
    CKernelFile* file = FileOf(handle);
    if (!file) return INVALID_SET_FILE_POINTER;
    LONGLONG distance =
        distanceToMoveHigh
            ? static_cast<LONGLONG>(
                  (static_cast<ULONGLONG>(static_cast<DWORD>(*distanceToMoveHigh)) << 32) |
                  static_cast<DWORD>(distanceToMove))
            : static_cast<LONGLONG>(distanceToMove);
    int whence = moveMethod == FILE_CURRENT ? SEEK_CUR
                 : moveMethod == FILE_END   ? SEEK_END
                                            : SEEK_SET;
    if (moveMethod > FILE_END) {
        Fail(EINVAL);
        return INVALID_SET_FILE_POINTER;
    }
    off_t position = lseek(file->fd, static_cast<off_t>(distance), whence);
    if (position < 0) {
        SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrnoToWin32Error(errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (!distanceToMoveHigh && position > 0xFFFFFFFFll) {
        // The position does not fit the result: Windows refuses such a move.
        Fail(EINVAL);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceToMoveHigh)
        *distanceToMoveHigh = static_cast<LONG>(static_cast<ULONGLONG>(position) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(position);
}

DWORD GetFileType(HANDLE handle) {
    CKernelFile* file = FileOf(handle);
    if (!file) return FILE_TYPE_UNKNOWN;
    struct stat info {};
    if (fstat(file->fd, &info) != 0) return FILE_TYPE_UNKNOWN;
    if (S_ISREG(info.st_mode)) return FILE_TYPE_DISK;
    if (S_ISCHR(info.st_mode)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

DWORD GetFileSize(HANDLE handle, LPDWORD fileSizeHigh) {
    CKernelFile* file = FileOf(handle);
    struct stat info {};
    if (!file || fstat(file->fd, &info) != 0) {
        if (file) SetLastErrorFromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<ULONGLONG>(info.st_size);
    if (fileSizeHigh) *fileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL SetEndOfFile(HANDLE handle) {
    CKernelFile* file = FileOf(handle);
    if (!file) return FALSE;
    if (int injected = InjectedFault(FileOperation::SetLength, file->path.c_str()))
        return Fail(injected);
    off_t position = lseek(file->fd, 0, SEEK_CUR);
    if (position < 0 || RetryEintr([&] { return ftruncate(file->fd, position); }) != 0)
        return Fail(errno);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle) {
    CKernelFile* file = FileOf(handle);
    if (!file) return FALSE;
    if (RetryEintr([&] { return fsync(file->fd); }) != 0) return Fail(errno);
    return TRUE;
}

BOOL SetFileTime(HANDLE handle, const FILETIME*, const FILETIME* lastAccessTime,
                 const FILETIME* lastWriteTime) {
    CKernelFile* file = FileOf(handle);
    if (!file) return FALSE;
    if (int injected = InjectedFault(FileOperation::SetTime, file->path.c_str()))
        return Fail(injected);
    struct timespec times[2];
    times[0] = lastAccessTime ? FileTimeToTimespec(*lastAccessTime) : timespec{0, UTIME_OMIT};
    times[1] = lastWriteTime ? FileTimeToTimespec(*lastWriteTime) : timespec{0, UTIME_OMIT};
    if (futimens(file->fd, times) != 0) return Fail(errno);
    return TRUE;
}

BOOL GetFileTime(HANDLE handle, LPFILETIME creationTime, LPFILETIME lastAccessTime,
                 LPFILETIME lastWriteTime) {
    CKernelFile* file = FileOf(handle);
    if (!file) return FALSE;
    struct stat info {};
    if (fstat(file->fd, &info) != 0) return Fail(errno);
    if (creationTime) *creationTime = TimespecToFileTime(info.st_ctim);
    if (lastAccessTime) *lastAccessTime = TimespecToFileTime(info.st_atim);
    if (lastWriteTime) *lastWriteTime = TimespecToFileTime(info.st_mtim);
    return TRUE;
}
