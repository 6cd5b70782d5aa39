// The pack table and the sampled pack checksum.
#pragma once

#include "platform/platform.h"
#include "update/update_thread.h"

constexpr int kPackCount = 21;

// The resource packs in the fixed order of all work; the index is a pack's identity everywhere.
extern const wchar_t* const g_aPackNames[kPackCount];

// Index of the resources pack, a zip that is extracted into the launcher folder at the end.
constexpr int kResourcesPack = 4;

// The launcher folder + "packs/" + name + ".vh".
CString GetPackPath(const CString& strDir, int nPack);

// Adler-32 (running from *pdwChecksum, which the engine seeds with 0) over the first 1 MiB of
// every 16 MiB of the file. The value goes to the update server, so the sampling is part of the
// protocol. pfnProgress, if given, gets the bytes read or skipped since its last call (summing to
// the file's length) and may stop the work early. Throws CFileException when the file cannot be
// opened or read. nChunkSize 0 reads in chunks of the volume's cluster size; the value does not
// depend on the chunk size.
void CalcFileChecksum(LPCTSTR pszPath, DWORD* pdwChecksum, PROGRESS_CALLBACK pfnProgress,
                      DWORD nChunkSize = 0);

// Progress of the scan's checksums: percent of all present packs' bytes, status staying 3.
void OnScanProgress(DWORD dwBytes, BOOL* pbStop);
