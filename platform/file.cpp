#include "platform/file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fault_hook.h"
#include "platform/file_open.h"
#include "platform/file_ops.h"
#include "platform/last_error.h"

CFile::CFile() = default;

CFile::CFile(LPCTSTR fileName, UINT openFlags) {
    CFileException error;
    if (!Open(fileName, openFlags, &error)) {
        auto* e = new CFileException(error);
        throw e;
    }
}

CFile::~CFile() {
    if (m_fd >= 0) Abort();
}

BOOL CFile::Open(LPCTSTR fileName, UINT openFlags, CFileException* error) {
    if (m_fd >= 0) Abort();
    m_strFileName = fileName;
    FileOpenRequest request;
    UINT access = openFlags & 3;
    request.read = access != modeWrite;
    request.write = access != modeRead;
    switch (openFlags & 0x70) {
        case shareDenyWrite:
            request.shareRead = true;
            break;
        case shareDenyNone:
            request.shareRead = request.shareWrite = true;
            break;
        default:
            break;  // compat, exclusive, deny-read: nobody else
    }
    if (openFlags & modeCreate)
        request.disposition = (openFlags & modeNoTruncate) ? FileDisposition::OpenAlways
                                                           : FileDisposition::CreateAlways;
    FileOpenResult opened = OpenFileShared(fileName, request);
    if (opened.fd < 0) {
        SetLastErrorFromErrno(opened.error);
        if (error) {
            error->m_cause = CFileException::ErrnoToException(opened.error);
            error->m_lOsError = static_cast<LONG>(ErrnoToWin32Error(opened.error));
            error->m_strFileName = fileName;
            error->m_nErrno = opened.error;
            error->m_strAction = L"open";
        }
        return FALSE;
    }
    m_fd = opened.fd;
    return TRUE;
}

void CFile::ThrowErrno(int error, LPCTSTR action) const {
    ThrowFileErrno(error, m_strFileName, action);
}

UINT CFile::Read(void* buffer, UINT count) {
    if (m_fd < 0) ThrowErrno(EBADF, L"read");
    if (count == 0) return 0;
    if (int injected = InjectedFault(FileOperation::Read, m_strFileName))
        ThrowErrno(injected, L"read");
    size_t done = 0;
    if (!ReadFully(m_fd, buffer, count, &done)) ThrowErrno(errno, L"read");
    return static_cast<UINT>(done);
}

void CFile::Write(const void* buffer, UINT count) {
    if (m_fd < 0) ThrowErrno(EBADF, L"write");
    if (count == 0) return;
    if (int injected = InjectedFault(FileOperation::Write, m_strFileName))
        ThrowErrno(injected, L"write");
    if (!WriteFully(m_fd, buffer, count)) ThrowErrno(errno, L"write");
}

ULONGLONG CFile::Seek(LONGLONG offset, UINT from) {
    if (m_fd < 0) ThrowErrno(EBADF, L"seek in");
    int whence = from == current ? SEEK_CUR : from == end ? SEEK_END : SEEK_SET;
    off_t position = lseek(m_fd, static_cast<off_t>(offset), whence);
    if (position < 0) ThrowErrno(errno, L"seek in");
    return static_cast<ULONGLONG>(position);
}

ULONGLONG CFile::GetPosition() const {
    if (m_fd < 0) ThrowErrno(EBADF, L"seek in");
    off_t position = lseek(m_fd, 0, SEEK_CUR);
    if (position < 0) ThrowErrno(errno, L"seek in");
    return static_cast<ULONGLONG>(position);
}

ULONGLONG CFile::GetLength() const {
    if (m_fd < 0) ThrowErrno(EBADF, L"get the length of");
    struct stat info {};
    if (fstat(m_fd, &info) != 0) ThrowErrno(errno, L"get the length of");
    return static_cast<ULONGLONG>(info.st_size);
}

void CFile::SetLength(ULONGLONG newLength) {
    if (m_fd < 0) ThrowErrno(EBADF, L"set the length of");
    if (int injected = InjectedFault(FileOperation::SetLength, m_strFileName))
        ThrowErrno(injected, L"set the length of");
    if (RetryEintr([&] { return ftruncate(m_fd, static_cast<off_t>(newLength)); }) != 0)
        ThrowErrno(errno, L"set the length of");
}

void CFile::Flush() {
    if (m_fd < 0) return;
    if (int injected = InjectedFault(FileOperation::Flush, m_strFileName))
        ThrowErrno(injected, L"flush");
    if (RetryEintr([&] { return fsync(m_fd); }) != 0) ThrowErrno(errno, L"flush");
}

void CFile::Close() {
    if (m_fd < 0) return;
    int fd = m_fd;
    m_fd = -1;
    // close() reports deferred write errors (for example on network file systems).
    if (close(fd) != 0 && errno != EINTR) ThrowErrno(errno, L"close");
}

void CFile::Abort() {
    if (m_fd < 0) return;
    close(m_fd);
    m_fd = -1;
}

CString CFile::GetFileName() const {
    int slash = m_strFileName.ReverseFind(L'/');
    return m_strFileName.Mid(slash + 1);
}

void CFile::Remove(LPCTSTR fileName) {
    if (!DeleteFileW(fileName)) ThrowFileErrno(GetLastErrno(), fileName, L"delete");
}

void CFile::Rename(LPCTSTR oldName, LPCTSTR newName) {
    if (!MoveFileExW(oldName, newName, 0)) ThrowFileErrno(GetLastErrno(), oldName, L"rename");
}
