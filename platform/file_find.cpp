#include "platform/file_find.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cwchar>
#include <string>

#include "platform/fault_hook.h"
#include "platform/file_ops.h"
#include "platform/last_error.h"
#include "platform/utf8.h"

bool MatchesWildcard(const wchar_t* pattern, const wchar_t* name) {
    if (std::wcscmp(pattern, L"*.*") == 0) return true;
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    while (*name) {
        if (*pattern == L'*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == L'?' || *pattern == *name) {
            ++pattern, ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == L'*') ++pattern;
    return *pattern == 0;
}

namespace {

CString CollapseSeparators(const CString& path) {
    CString out;
    for (int i = 0; i < path.GetLength(); ++i)
        if (path[i] != L'/' || out.IsEmpty() || out[out.GetLength() - 1] != L'/') out += path[i];
    return out;
}

// Fills the attributes, length and time of an entry; false when it cannot be examined.
bool Describe(const std::string& full, CFileFind::EntryInfo& found) {
    struct stat info {};
    if (lstat(full.c_str(), &info) != 0) return false;
    found.attributes = 0;
    if (S_ISDIR(info.st_mode)) found.attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if (!S_ISLNK(info.st_mode) && !(info.st_mode & S_IWUSR))
        found.attributes |= FILE_ATTRIBUTE_READONLY;
    if (!found.attributes) found.attributes = FILE_ATTRIBUTE_NORMAL;
    found.length = S_ISREG(info.st_mode) ? static_cast<ULONGLONG>(info.st_size) : 0;
    found.lastWrite = TimespecToFileTime(info.st_mtim);
    return true;
}

}  // namespace

BOOL CFileFind::FindFile(LPCTSTR name, DWORD) {
    Close();
    CString pattern = (name && *name) ? CString(name) : CString(L"*.*");
    int slash = pattern.ReverseFind(L'/');
    m_strRoot = CollapseSeparators(pattern.Left(slash + 1));
    CString namePattern = pattern.Mid(slash + 1);
    if (int injected = InjectedFault(FileOperation::FindFiles, pattern)) {
        SetLastErrorFromErrno(injected);
        return FALSE;
    }
    std::string folder = m_strRoot.IsEmpty() ? std::string(".") : WideToUtf8(m_strRoot);
    if (namePattern.FindOneOf(L"*?") < 0) {
        // A plain name: look it up instead of listing the folder.
        EntryInfo found;
        if (!namePattern.IsEmpty() && Describe(folder + "/" + WideToUtf8(namePattern), found)) {
            found.name = namePattern;
            m_entries.push_back(found);
            return TRUE;
        }
        SetLastErrorFromErrno(namePattern.IsEmpty() ? ENOENT : errno);
        return FALSE;
    }
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    while (dirent* entry = readdir(dir)) {
        CString entryName(entry->d_name);
        if (!MatchesWildcard(namePattern, entryName)) continue;
        EntryInfo found;
        found.name = entryName;
        if (!Describe(folder + "/" + entry->d_name, found))
            found.attributes = FILE_ATTRIBUTE_NORMAL;
        m_entries.push_back(found);
    }
    closedir(dir);
    if (m_entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    return TRUE;
}

BOOL CFileFind::FindNextFile() {
    if (m_next >= m_entries.size()) return FALSE;
    ++m_next;
    return m_next < m_entries.size();
}

void CFileFind::Close() {
    m_entries.clear();
    m_next = 0;
    m_strRoot.Empty();
}

const CFileFind::EntryInfo* CFileFind::Current() const {
    return m_next == 0 || m_next > m_entries.size() ? nullptr : &m_entries[m_next - 1];
}

CString CFileFind::GetFileName() const { return Current() ? Current()->name : CString(); }

CString CFileFind::GetFilePath() const {
    return Current() ? m_strRoot + Current()->name : CString();
}

CString CFileFind::GetFileTitle() const {
    CString name = GetFileName();
    int dot = name.ReverseFind(L'.');
    return dot > 0 ? name.Left(dot) : name;
}

ULONGLONG CFileFind::GetLength() const { return Current() ? Current()->length : 0; }

DWORD CFileFind::GetAttributes() const { return Current() ? Current()->attributes : 0; }

BOOL CFileFind::IsDirectory() const { return (GetAttributes() & FILE_ATTRIBUTE_DIRECTORY) != 0; }

BOOL CFileFind::IsReadOnly() const { return (GetAttributes() & FILE_ATTRIBUTE_READONLY) != 0; }

BOOL CFileFind::IsDots() const {
    CString name = GetFileName();
    return IsDirectory() && (name == L"." || name == L"..");
}

BOOL CFileFind::GetLastWriteTime(FILETIME* time) const {
    if (!Current() || !time) return FALSE;
    *time = Current()->lastWrite;
    return TRUE;
}
