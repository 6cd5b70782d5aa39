#include "zip/zip_entry_data.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

// Fills the input buffer with the next compressed bytes; false when the archive cannot give them.
bool Refill(ZipReadState* state) {
    const DWORD n = std::min(ZIP_INPUT_CHUNK, state->compressedLeft);
    if (!ZipFileSeek(state->file, state->dataPosition + state->bytesBefore)) return false;
    if (ZipReadBytes(state->file, state->input, n, 1) != 1) return false;
    state->dataPosition += n;
    state->compressedLeft -= n;
    state->pending = n;
    state->next = state->input;
    state->stream.next_in = state->input;
    state->stream.avail_in = n;
    return true;
}

void Deliver(ZipReadState* state, const unsigned char* bytes, DWORD n) {
    state->crcSoFar = static_cast<DWORD>(crc32(state->crcSoFar, bytes, n));
    state->uncompressedLeft -= n;
}

}  // namespace

int OpenCurrentEntry(ZipArchive* archive) {
    if (archive == nullptr || !archive->currentValid) return ZIP_STATUS_NO_STATE;
    if (archive->readState != nullptr) CloseCurrentEntry(archive);

    DWORD nameAndExtra = 0, extraLength = 0;
    uint64_t extraOffset = 0;
    if (CheckLocalHeader(archive, &nameAndExtra, &extraOffset, &extraLength) != 0) {
        return ZIP_STATUS_BAD_DATA;
    }
    auto* state = new (std::nothrow) ZipReadState{};
    if (state == nullptr) return ZIP_STATUS_NO_MEMORY;
    state->input = new (std::nothrow) unsigned char[ZIP_INPUT_CHUNK];
    if (state->input == nullptr) {
        delete state;
        return ZIP_STATUS_NO_MEMORY;
    }
    const ZipEntryInfo& info = archive->currentInfo;
    state->expectedCrc = info.crc;
    state->crcSoFar = 0;
    state->method = info.method;
    state->file = archive->file;
    state->bytesBefore = archive->bytesBefore;
    if (state->method == ZIP_METHOD_DEFLATED) {
        // Raw deflate: no zlib header or trailer. A failed set-up shows at the first read.
        state->streamReady = inflateInit2(&state->stream, -MAX_WBITS) == Z_OK;
    }
    state->compressedLeft = info.compressedSize;
    state->uncompressedLeft = info.uncompressedSize;
    state->dataPosition =
        static_cast<uint64_t>(archive->localHeaderOffset) + ZIP_LOCAL_HEADER_SIZE + nameAndExtra;
    state->pending = 0;
    archive->readState = state;
    return ZIP_STATUS_OK;
}

int ReadCurrentEntry(ZipArchive* archive, void* buffer, DWORD length) {
    if (archive == nullptr || archive->readState == nullptr) return ZIP_STATUS_NO_STATE;
    ZipReadState* state = archive->readState;
    if (state->method == ZIP_METHOD_DEFLATED && !state->streamReady) {
        state->damaged = true;
        return ZIP_STATUS_NO_MEMORY;
    }
    auto* out = static_cast<unsigned char*>(buffer);
    DWORD space = std::min(length, state->uncompressedLeft);
    DWORD count = 0;
    while (space > 0) {
        if (state->pending == 0 && state->compressedLeft > 0 && !Refill(state)) {
            return ZIP_STATUS_IO;
        }
        if (state->method == ZIP_METHOD_STORED) {
            if (state->pending == 0) {
                // The compressed bytes ran out before the entry's size was reached.
                state->damaged = true;
                break;
            }
            const DWORD n = std::min(space, state->pending);
            std::memcpy(out + count, state->next, n);
            Deliver(state, out + count, n);
            state->next += n;
            state->pending -= n;
            space -= n;
            count += n;
            continue;
        }
        // Inflate runs even without pending input: it may still hold output of the last block.
        z_stream& stream = state->stream;
        stream.next_out = out + count;
        stream.avail_out = space;
        const uLong before = stream.total_out;
        const int result = inflate(&stream, Z_NO_FLUSH);
        const DWORD produced = static_cast<DWORD>(stream.total_out - before);
        state->pending = stream.avail_in;
        Deliver(state, out + count, produced);
        space -= produced;
        count += produced;
        if (result == Z_STREAM_END) {
            // A stream that ends short of the entry's size is caught by CloseCurrentEntry.
            if (state->uncompressedLeft != 0) state->damaged = true;
            break;
        }
        if (result == Z_BUF_ERROR && state->pending == 0 && state->compressedLeft == 0) {
            // The compressed bytes ran out before the stream's end.
            state->damaged = true;
            break;
        }
        if (result != Z_OK) {
            state->damaged = true;
            return ZIP_STATUS_BAD_DATA;
        }
    }
    return static_cast<int>(count);
}

int CloseCurrentEntry(ZipArchive* archive) {
    if (archive == nullptr || archive->readState == nullptr) return ZIP_STATUS_NO_STATE;
    ZipReadState* state = archive->readState;
    int result = ZIP_STATUS_OK;
    if (state->damaged || state->uncompressedLeft != 0) {
        result = ZIP_STATUS_BAD_DATA;
    } else if (state->crcSoFar != state->expectedCrc) {
        result = ZIP_STATUS_BAD_CRC;
    }
    delete[] state->input;
    if (state->streamReady) inflateEnd(&state->stream);
    delete state;
    archive->readState = nullptr;
    return result;
}
