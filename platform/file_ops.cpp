#include "platform/file_ops.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cwchar>
#include <string>

#include "platform/fault_hook.h"
#include "platform/file_open.h"
#include "platform/last_error.h"
#include "platform/utf8.h"

namespace {

BOOL Fail(int error) {
    SetLastErrorFromErrno(error);
    return FALSE;
}

// "temp/" names what the link temp points to; "temp" names the link itself.
std::string WithoutTrailingSeparators(std::string name) {
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    return name;
}

// True when another open of the file holds it without sharing.
bool IsHeldByOthers(const std::string& name) {
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

std::string TempNameBeside(const std::string& target) {
    static int counter = 0;
    return target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(++counter);
}

// Copies source into a temporary file beside target and renames it over target.
int CopyThroughTemporary(const std::string& source, const std::string& target, bool sync) {
    int in = RetryEintr([&] { return open(source.c_str(), O_RDONLY | O_CLOEXEC); });
    if (in < 0) return errno;
    struct stat info {};
    if (fstat(in, &info) != 0 || S_ISDIR(info.st_mode)) {
        int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        close(in);
        return error;
    }
    std::string temp = TempNameBeside(target);
    int out = RetryEintr([&] {
        return open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
    });
    if (out < 0) {
        int error = errno;
        close(in);
        return error;
    }
    int error = 0;
    char buffer[65536];
    for (;;) {
        size_t got = 0;
        if (!ReadFully(in, buffer, sizeof buffer, &got)) {
            error = errno;
            break;
        }
        if (got == 0) break;
        if (!WriteFully(out, buffer, got)) {
            error = errno;
            break;
        }
    }
    if (!error && fchmod(out, info.st_mode & 07777) != 0) error = errno;
    if (!error && sync && RetryEintr([&] { return fsync(out); }) != 0) error = errno;
    if (close(out) != 0 && !error && errno != EINTR) error = errno;
    close(in);
    if (!error && rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error) {
        unlink(temp.c_str());
        return error;
    }
    if (sync && SyncParentFolder(target) != 0) return errno;
    return 0;
}

// Whether an existing target may be replaced: ERROR codes as errno, 0 when fine.
int CheckReplaceable(const std::string& target, bool replace) {
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0) return 0;
    if (!replace) return EEXIST;
    if (S_ISDIR(info.st_mode)) return EACCES;
    if (!S_ISLNK(info.st_mode) && IsReadOnlyMode(info.st_mode)) return EACCES;
    if (IsHeldByOthers(target)) return EWOULDBLOCK;
    return 0;
}

}  // namespace

BOOL DeleteFileW(LPCWSTR fileName) {
    if (!fileName || !*fileName) return Fail(ENOENT);
    if (int injected = InjectedFault(FileOperation::Delete, fileName)) return Fail(injected);
    std::string name = WideToUtf8(fileName);
    struct stat info {};
    if (lstat(name.c_str(), &info) != 0) return Fail(errno);
    if (S_ISDIR(info.st_mode)) return Fail(EACCES);
    if (!S_ISLNK(info.st_mode) && IsReadOnlyMode(info.st_mode)) return Fail(EACCES);
    if (S_ISREG(info.st_mode) && IsHeldByOthers(name)) return Fail(EWOULDBLOCK);
    if (unlink(name.c_str()) != 0) return Fail(errno);
    return TRUE;
}

BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists) {
    if (!existingFileName || !newFileName) return Fail(EINVAL);
    if (int injected = InjectedFault(FileOperation::Copy, existingFileName)) return Fail(injected);
    std::string target = WideToUtf8(newFileName);
    if (int error = CheckReplaceable(target, !failIfExists)) return Fail(error);
    if (int error = CopyThroughTemporary(WideToUtf8(existingFileName), target, false))
        return Fail(error);
    return TRUE;
}

BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags) {
    if (!existingFileName || !newFileName) return Fail(EINVAL);
    if (int injected = InjectedFault(FileOperation::Move, existingFileName)) return Fail(injected);
    std::string source = WideToUtf8(existingFileName);
    std::string target = WideToUtf8(newFileName);
    struct stat info {};
    if (lstat(source.c_str(), &info) != 0) return Fail(errno);
    if (source != target) {
        if (int error = CheckReplaceable(target, flags & MOVEFILE_REPLACE_EXISTING))
            return Fail(error);
    }
    bool sync = flags & MOVEFILE_WRITE_THROUGH;
    if (sync && S_ISREG(info.st_mode)) {
        int fd = open(source.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            int rc = RetryEintr([&] { return fsync(fd); });
            int error = errno;
            close(fd);
            if (rc != 0) return Fail(error);
        }
    }
    if (rename(source.c_str(), target.c_str()) == 0) {
        if (sync && SyncParentFolder(target) != 0) return Fail(errno);
        if (sync && SyncParentFolder(source) != 0) return Fail(errno);
        return TRUE;
    }
    if (errno != EXDEV || !(flags & (MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) ||
        !S_ISREG(info.st_mode))
        return Fail(errno == EXDEV ? EXDEV : errno);
    if (int error = CopyThroughTemporary(source, target, true)) return Fail(error);
    if (unlink(source.c_str()) != 0) return Fail(errno);
    if (sync) SyncParentFolder(source);
    return TRUE;
}

BOOL MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName) {
    return MoveFileExW(existingFileName, newFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES) {
    if (!pathName || !*pathName) return Fail(ENOENT);
    if (int injected = InjectedFault(FileOperation::CreateDirectory, pathName))
        return Fail(injected);
    if (mkdir(WideToUtf8(pathName).c_str(), 0777) != 0) return Fail(errno);
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR pathName) {
    if (!pathName || !*pathName) return Fail(ENOENT);
    if (int injected = InjectedFault(FileOperation::RemoveDirectory, pathName))
        return Fail(injected);
    std::string name = WithoutTrailingSeparators(WideToUtf8(pathName));
    struct stat info {};
    if (lstat(name.c_str(), &info) != 0) return Fail(errno);
    if (S_ISLNK(info.st_mode)) {
        // A link to a folder goes as a junction does on Windows: the link, never its target.
        struct stat target {};
        if (stat(name.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) return Fail(ENOTDIR);
        if (unlink(name.c_str()) != 0) return Fail(errno);
        return TRUE;
    }
    if (!S_ISDIR(info.st_mode)) return Fail(ENOTDIR);
    if (IsReadOnlyMode(info.st_mode)) return Fail(EACCES);
    if (rmdir(name.c_str()) != 0) return Fail(errno == EEXIST ? ENOTEMPTY : errno);
    return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR fileName) {
    if (!fileName || !*fileName) {
        SetLastErrorFromErrno(ENOENT);
        return INVALID_FILE_ATTRIBUTES;
    }
    const std::string name = WideToUtf8(fileName);
    struct stat info {};
    if (stat(name.c_str(), &info) != 0) {
        SetLastErrorFromErrno(errno);
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = 0;
    struct stat own {};
    if (lstat(WithoutTrailingSeparators(name).c_str(), &own) == 0 && S_ISLNK(own.st_mode))
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (S_ISDIR(info.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (IsReadOnlyMode(info.st_mode)) attributes |= FILE_ATTRIBUTE_READONLY;
    if (!S_ISDIR(info.st_mode) && (info.st_mode & S_IXUSR)) attributes |= FILE_ATTRIBUTE_EXECUTABLE;
    return attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
}

BOOL SetFileAttributesW(LPCWSTR fileName, DWORD attributes) {
    if (!fileName || !*fileName) return Fail(ENOENT);
    if (int injected = InjectedFault(FileOperation::SetAttributes, fileName)) return Fail(injected);
    std::string name = WideToUtf8(fileName);
    struct stat info {};
    if (lstat(name.c_str(), &info) != 0) return Fail(errno);
    // A link has no attributes of its own; changing its target's would reach outside the tree.
    if (S_ISLNK(info.st_mode)) return TRUE;
    mode_t mode = info.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (mode != (info.st_mode & 07777) && chmod(name.c_str(), mode) != 0) return Fail(errno);
    return TRUE;
}

BOOL PathIsDirectoryW(LPCWSTR path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL PathFileExistsW(LPCWSTR path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

BOOL GetDiskFreeSpaceW(LPCWSTR rootPathName, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD numberOfFreeClusters, LPDWORD totalNumberOfClusters) {
    std::string name = rootPathName ? WideToUtf8(rootPathName) : std::string(".");
    if (name.empty()) return Fail(ENOENT);
    struct statvfs info {};
    if (statvfs(name.c_str(), &info) != 0) return Fail(errno);
    unsigned long block = info.f_bsize ? info.f_bsize : 4096;
    DWORD sector = (block % 512 == 0) ? 512 : static_cast<DWORD>(block);
    auto clusters = [&](unsigned long long blocks) {
        unsigned long long n = blocks * info.f_frsize / block;
        return static_cast<DWORD>(n > 0xFFFFFFFFull ? 0xFFFFFFFFull : n);
    };
    if (sectorsPerCluster) *sectorsPerCluster = static_cast<DWORD>(block / sector);
    if (bytesPerSector) *bytesPerSector = sector;
    if (numberOfFreeClusters) *numberOfFreeClusters = clusters(info.f_bavail);
    if (totalNumberOfClusters) *totalNumberOfClusters = clusters(info.f_blocks);
    return TRUE;
}

DWORD GetCurrentDirectoryW(DWORD bufferLength, LPWSTR buffer) {
    char path[PATH_MAX];
    if (!getcwd(path, sizeof path)) {
        SetLastErrorFromErrno(errno);
        return 0;
    }
    std::wstring wide = Utf8ToWide(std::string(path));
    if (!buffer || bufferLength <= wide.size()) return static_cast<DWORD>(wide.size() + 1);
    std::wmemcpy(buffer, wide.c_str(), wide.size() + 1);
    return static_cast<DWORD>(wide.size());
}

BOOL SetCurrentDirectoryW(LPCWSTR pathName) {
    if (!pathName || !*pathName) return Fail(ENOENT);
    if (chdir(WideToUtf8(pathName).c_str()) != 0) return Fail(errno);
    return TRUE;
}
