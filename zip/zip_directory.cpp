// The end-record search, the archive open and the forward walk of the central directory.
#include <algorithm>
#include <memory>
#include <new>

#include "zip/zip_archive.h"
#include "zip/zip_reader.h"

namespace {

constexpr DWORD kSearchLimit = 0xFFFF;  // an end record plus the longest comment
constexpr DWORD kSearchStep = 0x400;
constexpr DWORD kSearchWindow = kSearchStep + 4;  // windows overlap so no signature is split

constexpr DWORD kCentralSignature = 0x02014B50;
constexpr DWORD kLocalSignature = 0x04034B50;
constexpr DWORD kFlagDataDescriptor = 0x0008;

bool FileSize(ZipFile* file, uint64_t* size) {
    LONG high = 0;
    const DWORD low = SetFilePointer(file->handle, 0, &high, FILE_END);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != ERROR_SUCCESS) return false;
    *size = (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
    return true;
}

// Records a failed read (-1) without stopping the reading of the following fields.
void Read16(ZipFile* file, DWORD* value, int* status) {
    if (ZipReadShort(file, value) != 0) *status = ZIP_STATUS_IO;
}

void Read32(ZipFile* file, DWORD* value, int* status) {
    if (ZipReadLong(file, value) != 0) *status = ZIP_STATUS_IO;
}

// A consistency rule is applied only while nothing has gone wrong yet.
void Require(bool rule, int* status) {
    if (*status == ZIP_STATUS_OK && !rule) *status = ZIP_STATUS_BAD_DATA;
}

}  // namespace

bool SearchCentralDirectory(ZipFile* file, DWORD* endRecordOffset) {
    uint64_t size = 0;
    if (!file->seekable || !FileSize(file, &size)) return false;
    // Offsets are 32-bit in this format: a larger file cannot hold a readable archive.
    if (size > 0xFFFFFFFFu) return false;
    const DWORD fileSize = static_cast<DWORD>(size);
    const DWORD limit = std::min(kSearchLimit, fileSize);
    std::unique_ptr<unsigned char[]> window(new (std::nothrow) unsigned char[kSearchWindow]);
    if (!window) return false;

    DWORD distance = 4;
    while (distance < limit) {
        distance = std::min(distance + kSearchStep, limit);
        const DWORD start = fileSize - distance;
        const DWORD length = std::min(kSearchWindow, distance);
        if (!ZipFileSeek(file, start) || ZipReadBytes(file, window.get(), length, 1) != 1) break;
        for (DWORD i = length - 3; i-- > 0;) {
            if (window[i] == 0x50 && window[i + 1] == 0x4B && window[i + 2] == 0x05 &&
                window[i + 3] == 0x06) {
                *endRecordOffset = start + i;
                return true;
            }
        }
    }
    return false;
}

ZipArchive* OpenArchive(ZipFile* file) {
    int status = ZIP_STATUS_OK;
    DWORD endOffset = 0;
    // Not found: the fields below are read from offset 0 and can only confirm the failure.
    if (!SearchCentralDirectory(file, &endOffset)) status = ZIP_STATUS_IO;
    if (!ZipFileSeek(file, endOffset)) status = ZIP_STATUS_IO;

    DWORD signature = 0, disk = 0, directoryDisk = 0, entriesHere = 0, entriesTotal = 0;
    Read32(file, &signature, &status);
    Read16(file, &disk, &status);
    Read16(file, &directoryDisk, &status);
    Read16(file, &entriesHere, &status);
    Read16(file, &entriesTotal, &status);
    if (disk != 0 || directoryDisk != 0 || entriesHere != entriesTotal) {
        status = ZIP_STATUS_BAD_DATA;  // single-disk archives only, whatever else failed
    }

    DWORD directorySize = 0, directoryOffset = 0, commentLength = 0;
    Read32(file, &directorySize, &status);
    Read32(file, &directoryOffset, &status);
    Read16(file, &commentLength, &status);
    const uint64_t directoryEnd = static_cast<uint64_t>(directoryOffset) + directorySize;
    Require(endOffset >= directoryEnd, &status);

    ZipArchive* archive = nullptr;
    if (status == ZIP_STATUS_OK) {
        archive = new (std::nothrow) ZipArchive{};
        if (archive == nullptr) status = ZIP_STATUS_NO_MEMORY;
    }
    g_zipOpenStatus = status;
    if (archive == nullptr) {
        ZipFileClose(file);
        return nullptr;
    }
    archive->file = file;
    archive->entryCount = entriesHere;
    archive->bytesBefore = static_cast<DWORD>(endOffset - directoryEnd);
    archive->directoryOffset = directoryOffset;
    archive->readState = nullptr;
    GoToFirstEntry(archive);
    return archive;
}

int GoToFirstEntry(ZipArchive* archive) {
    if (archive == nullptr) return ZIP_STATUS_NO_STATE;
    archive->currentPosition = archive->directoryOffset;
    archive->currentNumber = 0;
    const int status =
        ReadCentralHeader(archive, &archive->currentInfo, &archive->localHeaderOffset, nullptr, 0);
    archive->currentValid = status == ZIP_STATUS_OK;
    return status;
}

int GoToNextEntry(ZipArchive* archive) {
    if (archive == nullptr) return ZIP_STATUS_NO_STATE;
    if (!archive->currentValid || archive->currentNumber + 1 >= archive->entryCount) {
        return ZIP_STATUS_END;
    }
    const ZipEntryInfo& info = archive->currentInfo;
    archive->currentPosition +=
        ZIP_CENTRAL_HEADER_SIZE + info.nameLength + info.extraLength + info.commentLength;
    archive->currentNumber += 1;
    const int status =
        ReadCentralHeader(archive, &archive->currentInfo, &archive->localHeaderOffset, nullptr, 0);
    archive->currentValid = status == ZIP_STATUS_OK;
    return status;
}

int ReadCentralHeader(ZipArchive* archive, ZipEntryInfo* info, DWORD* localHeaderOffset, char* name,
                      DWORD nameBufferSize) {
    if (archive == nullptr) return ZIP_STATUS_NO_STATE;
    ZipFile* file = archive->file;
    const uint64_t position =
        static_cast<uint64_t>(archive->currentPosition) + archive->bytesBefore;
    if (!ZipFileSeek(file, position)) return ZIP_STATUS_IO;

    int status = ZIP_STATUS_OK;
    ZipEntryInfo read{};
    DWORD signature = 0, unused = 0, dosTime = 0, dosDate = 0, localOffset = 0;
    Read32(file, &signature, &status);
    Require(signature == kCentralSignature, &status);
    Read16(file, &unused, &status);  // version made by
    Read16(file, &unused, &status);  // version needed to extract
    Read16(file, &unused, &status);  // general purpose flags
    Read16(file, &read.method, &status);
    Read16(file, &dosTime, &status);
    Read16(file, &dosDate, &status);
    read.dosDateTime = dosTime | (dosDate << 16);
    Read32(file, &read.crc, &status);
    Read32(file, &read.compressedSize, &status);
    Read32(file, &read.uncompressedSize, &status);
    Read16(file, &read.nameLength, &status);
    Read16(file, &read.extraLength, &status);
    Read16(file, &read.commentLength, &status);
    Read16(file, &unused, &status);  // disk number start
    Read16(file, &unused, &status);  // internal attributes
    Read32(file, &read.externalAttributes, &status);
    Read32(file, &localOffset, &status);

    if (status == ZIP_STATUS_OK && name != nullptr && nameBufferSize > 0) {
        // The name is cut to fit with its terminator; callers that need it whole compare the
        // name length with the buffer.
        const DWORD copied = std::min(read.nameLength, nameBufferSize - 1);
        name[copied] = '\0';
        if (copied > 0 && ZipReadBytes(file, name, copied, 1) != 1) status = ZIP_STATUS_IO;
    }
    if (status == ZIP_STATUS_OK) {
        if (info != nullptr) *info = read;
        if (localHeaderOffset != nullptr) *localHeaderOffset = localOffset;
    }
    return status;
}

int CheckLocalHeader(ZipArchive* archive, DWORD* nameAndExtraLength, uint64_t* extraOffset,
                     DWORD* extraLength) {
    if (archive == nullptr) return ZIP_STATUS_NO_STATE;
    ZipFile* file = archive->file;
    const uint64_t headerStart =
        static_cast<uint64_t>(archive->localHeaderOffset) + archive->bytesBefore;
    if (!ZipFileSeek(file, headerStart)) return ZIP_STATUS_IO;

    const ZipEntryInfo& central = archive->currentInfo;
    int status = ZIP_STATUS_OK;
    DWORD signature = 0, unused = 0, flags = 0, method = 0, crc = 0, compressed = 0,
          uncompressed = 0, nameLength = 0, localExtraLength = 0;
    Read32(file, &signature, &status);
    Require(signature == kLocalSignature, &status);
    Read16(file, &unused, &status);  // version needed to extract
    Read16(file, &flags, &status);
    Read16(file, &method, &status);
    Require(method == central.method, &status);
    Require(method == ZIP_METHOD_STORED || method == ZIP_METHOD_DEFLATED, &status);
    Read32(file, &unused, &status);  // DOS time and date
    // With a data descriptor the local copies may be zero: the central values hold.
    const bool descriptor = (flags & kFlagDataDescriptor) != 0;
    Read32(file, &crc, &status);
    Require(descriptor || crc == central.crc, &status);
    Read32(file, &compressed, &status);
    Require(descriptor || compressed == central.compressedSize, &status);
    Read32(file, &uncompressed, &status);
    Require(descriptor || uncompressed == central.uncompressedSize, &status);
    Read16(file, &nameLength, &status);
    Require(nameLength == central.nameLength, &status);
    Read16(file, &localExtraLength, &status);

    *nameAndExtraLength = nameLength + localExtraLength;
    *extraOffset = headerStart + ZIP_LOCAL_HEADER_SIZE + nameLength;
    *extraLength = localExtraLength;
    return status;
}
