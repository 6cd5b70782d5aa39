// The reader behind a zip handle: one open archive, the record of the last entry asked for, the
// extraction's progress callback and the folder that relative extraction paths grow from.
#pragma once

#include "zip/zip_archive.h"
#include "zip/zip_reader.h"

class CZipReader {
public:
    CZipReader();
    ~CZipReader();
    CZipReader(const CZipReader&) = delete;
    CZipReader& operator=(const CZipReader&) = delete;

    // ZR_ALREADYOPEN when an archive is held; else ZR_NOFILE, or the open status (0 on success).
    DWORD Open(const wchar_t* path);
    // The record of entry index, or the entry count for index -1.
    DWORD Get(int index, ZipEntryA* entry);
    DWORD Close();
    // Extracts entry index to path (a folder entry makes its folders below the root folder).
    DWORD UnzipItem(int index, const wchar_t* path);

    void SetProgressCallback(ZipProgressCallback progress) { m_pfnProgress = progress; }

private:
    // Makes entry index the archive's current entry, walking forward, from entry 0 if need be.
    bool MoveTo(int index);
    DWORD ExtractFile(const ZipEntryA& entry, const wchar_t* path);

    ZipArchive* m_pArchive;
    ZipEntryA m_cachedEntry;
    int m_nCachedIndex;
    ZipProgressCallback m_pfnProgress;
    // The current folder and a separator, taken at the open; empty when it does not fit, which
    // leaves relative folders to resolve against the current folder itself.
    wchar_t m_szRootFolder[MAX_PATH];
};

// Makes root + relative and every folder above it; existing folders are no failure.
void EnsureDirectory(const wchar_t* root, const wchar_t* relative);

// Converts an entry name (at most 259 bytes) to the wide record form, zero-terminated; the
// record's units past the name are zero.
void ZipNameToWide(const char* name, wchar_t* wide);
