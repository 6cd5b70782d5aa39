// Reading the data of the archive's current entry: stored bytes or a raw deflate stream, in
// chunks, with the CRC-32 carried along.
#pragma once

#include <zlib.h>

#include "zip/zip_archive.h"

// Compressed bytes are read from the archive in chunks of this size.
constexpr DWORD ZIP_INPUT_CHUNK = 0x4000;

struct ZipReadState {
    unsigned char* input;  // ZIP_INPUT_CHUNK bytes, owned
    z_stream stream;
    uint64_t dataPosition;  // of the next compressed byte, from the archive's start
    bool streamReady;       // inflateInit2 succeeded, so inflateEnd is due
    bool damaged;           // the data cannot give the entry's bytes (see CloseCurrentEntry)
    DWORD crcSoFar;
    DWORD expectedCrc;
    DWORD compressedLeft;
    DWORD uncompressedLeft;
    ZipFile* file;  // not owned
    DWORD method;
    DWORD bytesBefore;
    DWORD pending;        // input bytes not yet consumed
    unsigned char* next;  // first pending input byte (stored entries)
};

// Prepares reading the current entry's data: 0, -102, -103 (local header) or -104.
int OpenCurrentEntry(ZipArchive* archive);
// Delivers up to length bytes: the count (above 0), 0 when the data is complete or can give no
// more, below 0 on failure (-1 read failed, -102 nothing open, -103 bad deflate data, -104 the
// inflate stream could not be set up).
int ReadCurrentEntry(ZipArchive* archive, void* buffer, DWORD length);
// Ends reading: 0 when every byte was delivered with the right CRC-32; -105 for a CRC-32
// mismatch; -103 when the data ended early, was rejected, or could not be inflated at all;
// -102 when nothing was open.
int CloseCurrentEntry(ZipArchive* archive);
