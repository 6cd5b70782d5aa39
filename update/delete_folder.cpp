#include <vector>

#include "platform/exceptions.h"
#include "platform/file_find.h"
#include "platform/file_ops.h"
#include "update/file_utils.h"

void DeleteFolder(LPCTSTR pszPath) {
    if (!pszPath || !*pszPath) AfxThrowUserException();
    CString strPath(pszPath);
    // A link's target lies outside the tree: the link goes, nothing behind it is walked. Links
    // inside the tree are listed as files and go the same way.
    const DWORD dwAttributes = GetFileAttributesW(strPath);
    if (dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        if (!RemoveDirectoryW(strPath)) AfxThrowUserException();
        return;
    }

    std::vector<CString> aFiles;
    std::vector<CString> aFolders;
    {
        CFileFind finder;
        if (!finder.FindFile(strPath + L"/*.*")) AfxThrowUserException();
        BOOL bMore = TRUE;
        while (bMore) {
            bMore = finder.FindNextFile();
            if (finder.IsDots()) continue;
            if (finder.IsDirectory())
                aFolders.push_back(finder.GetFilePath());
            else
                aFiles.push_back(finder.GetFilePath());
        }
        finder.Close();
    }

    for (const CString& strFile : aFiles) {
        if (!SetFileAttributesW(strFile, FILE_ATTRIBUTE_NORMAL)) AfxThrowUserException();
        if (!DeleteFileW(strFile)) AfxThrowUserException();
    }
    for (const CString& strFolder : aFolders) {
        if (!SetFileAttributesW(strFolder, FILE_ATTRIBUTE_NORMAL)) AfxThrowUserException();
        DeleteFolder(strFolder);
    }
    if (!RemoveDirectoryW(strPath)) AfxThrowUserException();
}
