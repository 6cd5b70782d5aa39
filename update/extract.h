// Extraction of the downloaded zips and of the resources pack through the zip reader.
#pragma once

#include "platform/platform.h"
#include "zip/zip_reader.h"

// Sum of the entries' uncompressed sizes. Throws (633) when the archive cannot be opened or an
// entry of its directory cannot be read.
ULONGLONG GetZipTotalSize(LPCTSTR pszArchive);

// Extracts every entry below pszFolder (which ends with a separator). Throws (661) when the
// archive cannot be opened and (705) when an entry cannot be read or fails, including an entry
// whose name would land outside the folder (an absolute name or a ".." part). A callback that
// cancels ends the extraction quietly.
void UnzipToFolder(LPCTSTR pszFolder, LPCTSTR pszArchive, ZipProgressCallback pfnCallback);

// True when an entry name stays below the folder it is extracted to.
bool IsSafeEntryName(const wchar_t* pszName);

void OnExtractProgress(int nBytes, int* pnCancel);
void OnResourcesExtractProgress(int nBytes, int* pnCancel);
