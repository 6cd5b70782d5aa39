// The archive layer of the zip reader: the archive file with its little-endian byte readers, the
// end-record search, the walk of the central directory and the local header check. Results are
// the inner status values below, never exceptions.
#pragma once

#include <cstdint>

#include "platform/codepage.h"
#include "platform/file_ops.h"
#include "platform/kernel_file.h"
#include "platform/last_error.h"
#include "platform/types.h"

// Inner status values of the archive layer.
constexpr int ZIP_STATUS_OK = 0;
constexpr int ZIP_STATUS_IO = -1;           // a read or seek failed, or the file cannot seek
constexpr int ZIP_STATUS_END = -100;        // no further entry, or no further data
constexpr int ZIP_STATUS_NO_STATE = -102;   // no archive, no valid current entry, nothing read
constexpr int ZIP_STATUS_BAD_DATA = -103;   // a signature or a consistency rule failed
constexpr int ZIP_STATUS_NO_MEMORY = -104;  // an allocation failed
constexpr int ZIP_STATUS_BAD_CRC = -105;    // the data's CRC-32 differs from the central one

// Fixed parts of the zip records, in bytes.
constexpr DWORD ZIP_CENTRAL_HEADER_SIZE = 46;
constexpr DWORD ZIP_LOCAL_HEADER_SIZE = 30;
constexpr DWORD ZIP_END_RECORD_SIZE = 22;

constexpr DWORD ZIP_METHOD_STORED = 0;
constexpr DWORD ZIP_METHOD_DEFLATED = 8;

// Size of the archive file's read-ahead buffer; reads this large or larger bypass it.
constexpr DWORD ZIP_FILE_BUFFER_SIZE = 4096;

// The open archive file. Small reads (headers read field by field) are served from a read-ahead
// buffer, so a header costs one system read rather than one per byte; a seek only moves the
// logical position.
struct ZipFile {
    HANDLE handle;
    bool seekable;
    uint64_t position;     // logical position of the next read
    uint64_t bufferStart;  // file offset of buffer[0]
    DWORD bufferLength;    // valid bytes in buffer
    unsigned char buffer[ZIP_FILE_BUFFER_SIZE];
};

// The current entry's central-directory fields.
struct ZipEntryInfo {
    DWORD method;
    DWORD dosDateTime;  // time in the low half, date in the high half
    DWORD crc;
    DWORD compressedSize;
    DWORD uncompressedSize;
    DWORD nameLength;
    DWORD extraLength;
    DWORD commentLength;
    DWORD externalAttributes;
};

struct ZipReadState;

struct ZipArchive {
    ZipFile* file;  // owned
    DWORD entryCount;
    DWORD bytesBefore;  // bytes ahead of the archive in the file (a program stub, say)
    DWORD currentNumber;
    DWORD currentPosition;  // of the current central header, from the archive's start
    bool currentValid;
    DWORD directoryOffset;
    ZipEntryInfo currentInfo;
    DWORD localHeaderOffset;  // of the current entry, from the archive's start
    ZipReadState* readState;  // the entry whose data is being read; null when none
};

// Opens path for shared reading; null with *result = ZR_NOFILE when it cannot be opened.
ZipFile* ZipFileOpen(const wchar_t* path, DWORD* result);
void ZipFileClose(ZipFile* file);
// Moves the file's position to offset from the file's start; false when the file cannot seek.
bool ZipFileSeek(ZipFile* file, uint64_t offset);
// Reads size * count bytes; returns the number of whole items read.
DWORD ZipReadBytes(ZipFile* file, void* buffer, DWORD size, DWORD count);
// One byte, or a little-endian 16/32-bit value; 0, or -1 (value 0) when a byte cannot be had.
int ZipReadByte(ZipFile* file, int* value);
int ZipReadShort(ZipFile* file, DWORD* value);
int ZipReadLong(ZipFile* file, DWORD* value);

// Offset of the end record within the last 65,535 bytes of the file.
bool SearchCentralDirectory(ZipFile* file, DWORD* endRecordOffset);
// Reads the end record and positions on entry 0; null on failure (the file is then closed and
// freed). Sets g_zipOpenStatus.
ZipArchive* OpenArchive(ZipFile* file);
void CloseArchive(ZipArchive* archive);

int GoToFirstEntry(ZipArchive* archive);
int GoToNextEntry(ZipArchive* archive);
// Reads the central header at the current position; copies the name, always zero-terminated and
// cut to nameBufferSize - 1 bytes, when a buffer is given.
int ReadCentralHeader(ZipArchive* archive, ZipEntryInfo* info, DWORD* localHeaderOffset, char* name,
                      DWORD nameBufferSize);
// Tests the current entry's local header against its central header and gives where its extra
// field lies in the file and the length of name plus extra field.
int CheckLocalHeader(ZipArchive* archive, DWORD* nameAndExtraLength, uint64_t* extraOffset,
                     DWORD* extraLength);
