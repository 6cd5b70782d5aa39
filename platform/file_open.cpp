#include "platform/file_open.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fault_hook.h"
#include "platform/utf8.h"

bool IsReadOnlyMode(unsigned mode) { return (mode & S_IWUSR) == 0; }

namespace {

// The execute bits follow the read bits when mode asks for execution (as SetFileExecutable gives
// them) and go otherwise; the write bits go when mode is read-only. The rest of existing stays.
mode_t ReplacedMode(mode_t existing, unsigned mode) {
    mode_t replaced = existing & 0777 & ~static_cast<mode_t>(S_IXUSR | S_IXGRP | S_IXOTH);
    if (mode & S_IXUSR) replaced |= (replaced & (S_IRUSR | S_IRGRP | S_IROTH)) >> 2;
    if (IsReadOnlyMode(mode)) replaced &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    return replaced;
}

// Gives a replaced file the mode asked for. Replacing needs write access only, as on Windows: a
// file of a group-writable game folder is often another account's, and Linux lets only the owner
// change a mode, so a change that is refused (or that the file system cannot store) keeps the
// mode the file has. An unchanged mode is not set at all. Returns 0 or the errno of a failure.
int GiveReplacedMode(int fd, const wchar_t* path, mode_t existing, unsigned mode) {
    const mode_t wanted = ReplacedMode(existing, mode);
    if (wanted == (existing & 07777)) return 0;
    int error = InjectedFault(FileOperation::SetAttributes, path);
    if (error == 0 && fchmod(fd, wanted) != 0) error = errno;
    if (error == EPERM || error == ENOTSUP || error == EOPNOTSUPP) return 0;
    return error;
}

// Takes the share lock: -1/errno EWOULDBLOCK when another open conflicts.
int TakeShareLock(int fd, const FileOpenRequest& r) {
    int held;
    bool probeOnly = false;
    if (!r.shareRead) {
        held = LOCK_EX;
    } else if (!r.shareWrite) {
        held = r.write ? LOCK_EX : LOCK_SH;
    } else {
        // Sharing everything: hold nothing, but fail against opens that deny what we do.
        held = r.write ? LOCK_EX : LOCK_SH;
        probeOnly = true;
    }
    if (RetryEintr([&] { return flock(fd, held | LOCK_NB); }) != 0) return -1;
    if (probeOnly) flock(fd, LOCK_UN);
    return 0;
}

}  // namespace

FileOpenResult OpenFileShared(const wchar_t* path, const FileOpenRequest& request) {
    FileOpenResult result;
    if (!path || !*path) {
        result.error = ENOENT;
        return result;
    }
    if (int injected = InjectedFault(FileOperation::Open, path)) {
        result.error = injected;
        return result;
    }
    std::string name = WideToUtf8(path);
    int flags = O_CLOEXEC | O_NOCTTY;
    flags |= request.write ? (request.read ? O_RDWR : O_WRONLY) : O_RDONLY;
    bool creates = request.disposition == FileDisposition::OpenAlways ||
                   request.disposition == FileDisposition::CreateAlways ||
                   request.disposition == FileDisposition::CreateNew;
    if (creates) flags |= O_CREAT;
    if (request.disposition == FileDisposition::CreateNew) flags |= O_EXCL;
    bool truncates = request.disposition == FileDisposition::CreateAlways ||
                     request.disposition == FileDisposition::TruncateExisting;

    struct stat before {};
    result.existed = stat(name.c_str(), &before) == 0;
    if (result.existed && S_ISDIR(before.st_mode)) {
        result.error = EISDIR;
        return result;
    }
    if (result.existed && request.write && IsReadOnlyMode(before.st_mode)) {
        result.error = EACCES;
        return result;
    }
    int fd = RetryEintr([&] { return open(name.c_str(), flags, request.mode); });
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    struct stat opened {};
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        // Folders are refused; devices and pipes are not files of this program either.
        result.error = S_ISDIR(opened.st_mode) ? EISDIR : EACCES;
        close(fd);
        return result;
    }
    if (TakeShareLock(fd, request) != 0) {
        result.error = errno;
        close(fd);
        return result;
    }
    if (request.modeForExisting && result.existed) {
        result.error = GiveReplacedMode(fd, path, opened.st_mode, request.mode);
        if (result.error != 0) {
            close(fd);
            return result;
        }
    }
    if (truncates && opened.st_size != 0 && RetryEintr([&] { return ftruncate(fd, 0); }) != 0) {
        result.error = errno;
        close(fd);
        return result;
    }
    result.fd = fd;
    return result;
}

bool ReadFully(int fd, void* buffer, size_t size, size_t* done) {
    auto* p = static_cast<char*>(buffer);
    *done = 0;
    while (*done < size) {
        ssize_t n = RetryEintr([&] { return read(fd, p + *done, size - *done); });
        if (n < 0) return false;
        if (n == 0) break;
        *done += static_cast<size_t>(n);
    }
    return true;
}

bool WriteFully(int fd, const void* buffer, size_t size) {
    const auto* p = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = RetryEintr([&] { return write(fd, p + done, size - done); });
        if (n < 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

int SyncParentFolder(const std::string& path) {
    size_t slash = path.find_last_of('/');
    std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    int fd = RetryEintr([&] { return open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0) return -1;
    int rc = RetryEintr([&] { return fsync(fd); });
    int saved = errno;
    close(fd);
    errno = saved;
    return rc;
}
