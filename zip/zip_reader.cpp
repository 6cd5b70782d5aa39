// The handle-based operations over CZipReader.
#include "zip/zip_reader.h"

#include <new>

#include "zip/czip_reader.h"

DWORD g_zipLastError = 0;
int g_zipOpenStatus = 0;

namespace {

DWORD Finish(DWORD result) {
    g_zipLastError = result;
    return result;
}

DWORD CheckHandle(HZIP handle) {
    if (handle == nullptr) return ZR_ARGS;
    if (handle->kind != ZIP_HANDLE_KIND_READER) return ZR_BADHANDLE;
    return ZR_OK;
}

}  // namespace

HZIP OpenZip(const wchar_t* path) {
    auto* reader = new (std::nothrow) CZipReader;
    if (reader == nullptr) {
        Finish(ZR_NOFILE);
        return nullptr;
    }
    if (Finish(reader->Open(path)) != ZR_OK) {
        delete reader;
        return nullptr;
    }
    auto* handle = new (std::nothrow) ZipHandle{ZIP_HANDLE_KIND_READER, reader};
    if (handle == nullptr) {
        delete reader;
        Finish(ZR_NOFILE);
    }
    return handle;
}

DWORD GetZipItem(HZIP handle, int index, ZipEntry* entry) {
    if (const DWORD bad = CheckHandle(handle); bad != ZR_OK) return Finish(bad);
    ZipEntryA record;
    const DWORD result = handle->reader->Get(index, &record);
    if (result != ZR_OK) return Finish(result);
    entry->index = record.index;
    entry->attr = record.attr;
    entry->atime = record.atime;
    entry->ctime = record.ctime;
    entry->mtime = record.mtime;
    entry->compSize = record.compSize;
    entry->uncSize = record.uncSize;
    ZipNameToWide(record.name, entry->name);
    return Finish(ZR_OK);
}

DWORD UnzipItem(HZIP handle, int index, const wchar_t* path, ZipProgressCallback progress) {
    if (const DWORD bad = CheckHandle(handle); bad != ZR_OK) return Finish(bad);
    handle->reader->SetProgressCallback(progress);
    return Finish(handle->reader->UnzipItem(index, path));
}

DWORD CloseZip(HZIP handle) {
    if (const DWORD bad = CheckHandle(handle); bad != ZR_OK) return Finish(bad);
    handle->reader->Close();
    delete handle->reader;
    delete handle;
    return Finish(ZR_OK);
}
