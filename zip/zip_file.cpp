// The archive file: shared reading through the platform's file functions, with a small
// read-ahead buffer for the field-by-field header reads.
#include <algorithm>
#include <cstring>
#include <new>

#include "zip/zip_archive.h"
#include "zip/zip_reader.h"

ZipFile* ZipFileOpen(const wchar_t* path, DWORD* result) {
    HANDLE handle = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *result = ZR_NOFILE;
        return nullptr;
    }
    auto* file = new (std::nothrow) ZipFile;
    if (file == nullptr) {
        CloseHandle(handle);
        *result = ZR_NOFILE;
        return nullptr;
    }
    file->handle = handle;
    file->seekable = GetFileType(handle) == FILE_TYPE_DISK;
    file->position = 0;
    file->bufferStart = 0;
    file->bufferLength = 0;
    *result = 0;
    return file;
}

void ZipFileClose(ZipFile* file) {
    if (file == nullptr) return;
    CloseHandle(file->handle);
    delete file;
}

bool ZipFileSeek(ZipFile* file, uint64_t offset) {
    if (!file->seekable) return false;
    file->position = offset;
    return true;
}

namespace {

// Reads at the file's logical position straight from the handle, bypassing the buffer.
DWORD ReadFromHandle(ZipFile* file, void* buffer, DWORD length) {
    if (file->seekable) {
        LONG high = static_cast<LONG>(file->position >> 32);
        DWORD low = SetFilePointer(file->handle, static_cast<LONG>(file->position & 0xFFFFFFFFu),
                                   &high, FILE_BEGIN);
        if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return 0;
    }
    DWORD done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (done < length) {
        DWORD got = 0;
        if (!ReadFile(file->handle, out + done, length - done, &got, nullptr) || got == 0) break;
        done += got;
    }
    file->position += done;
    return done;
}

bool BufferHolds(const ZipFile* file, uint64_t offset) {
    return offset >= file->bufferStart && offset < file->bufferStart + file->bufferLength;
}

}  // namespace

DWORD ZipReadBytes(ZipFile* file, void* buffer, DWORD size, DWORD count) {
    if (size == 0) return 0;
    const uint64_t wanted64 = static_cast<uint64_t>(size) * count;
    if (wanted64 > 0xFFFFFFFFu) return 0;
    const DWORD wanted = static_cast<DWORD>(wanted64);
    auto* out = static_cast<unsigned char*>(buffer);
    DWORD done = 0;
    while (done < wanted) {
        if (BufferHolds(file, file->position)) {
            const DWORD at = static_cast<DWORD>(file->position - file->bufferStart);
            const DWORD n = std::min(wanted - done, file->bufferLength - at);
            std::memcpy(out + done, file->buffer + at, n);
            done += n;
            file->position += n;
            continue;
        }
        if (wanted - done >= ZIP_FILE_BUFFER_SIZE) {
            // Bulk data goes straight to the caller; the buffer would only add a copy.
            done += ReadFromHandle(file, out + done, wanted - done);
            break;
        }
        const uint64_t start = file->position;
        file->bufferLength = 0;
        const DWORD got = ReadFromHandle(file, file->buffer, ZIP_FILE_BUFFER_SIZE);
        file->bufferStart = start;
        file->bufferLength = got;
        file->position = start;
        if (got == 0) break;
    }
    return done / size;
}

int ZipReadByte(ZipFile* file, int* value) {
    unsigned char byte = 0;
    if (ZipReadBytes(file, &byte, 1, 1) == 1) {
        *value = byte;
        return 0;
    }
    return ZIP_STATUS_IO;
}

namespace {

int ReadLittleEndian(ZipFile* file, int bytes, DWORD* value) {
    DWORD result = 0;
    for (int i = 0; i < bytes; ++i) {
        int byte = 0;
        if (ZipReadByte(file, &byte) != 0) {
            *value = 0;
            return ZIP_STATUS_IO;
        }
        result |= static_cast<DWORD>(byte) << (8 * i);
    }
    *value = result;
    return 0;
}

}  // namespace

int ZipReadShort(ZipFile* file, DWORD* value) { return ReadLittleEndian(file, 2, value); }

int ZipReadLong(ZipFile* file, DWORD* value) { return ReadLittleEndian(file, 4, value); }
