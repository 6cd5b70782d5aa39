// The one place where files are opened, for CFile and CreateFileW alike: UTF-8 names,
// O_CLOEXEC, share modes as flock taken before any truncation, folders refused as files, and
// the read-only attribute honoured even for root.
#pragma once

#include <string>

#include "platform/types.h"

enum class FileDisposition { OpenExisting, OpenAlways, CreateAlways, CreateNew, TruncateExisting };

struct FileOpenRequest {
    bool read = true;
    bool write = false;
    bool shareRead = false;
    bool shareWrite = false;
    FileDisposition disposition = FileDisposition::OpenExisting;
    // Permission bits for a new file (before the umask).
    unsigned mode = 0666;
    // An existing file takes mode's execute and read-only bits too, as a file that CreateFileW
    // replaces takes the attributes it is created with.
    bool modeForExisting = false;
};

struct FileOpenResult {
    int fd = -1;
    int error = 0;         // errno of the failure
    bool existed = false;  // the file was there before (for ERROR_ALREADY_EXISTS)
};

FileOpenResult OpenFileShared(const wchar_t* path, const FileOpenRequest& request);

// Retries a system call interrupted by a signal.
template <typename Call>
auto RetryEintr(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

// Reads/writes everything, retrying short transfers and EINTR; false with errno on failure.
bool ReadFully(int fd, void* buffer, size_t size, size_t* done);
bool WriteFully(int fd, const void* buffer, size_t size);
// fsync of the folder that holds path (its entry changes become durable).
int SyncParentFolder(const std::string& path);
// The owner-write bit is clear: the layer's read-only attribute.
bool IsReadOnlyMode(unsigned mode);
