// The framework's file search. A pattern is a folder followed by '/' and a name that may hold
// the wildcards '*' and '?' ("*.*" matches every name, with or without a dot). Names match
// case-sensitively, as the file system stores them. A symbolic link is reported as a file, never
// as a folder, so a recursive walk never leaves the tree.
#pragma once

#include <vector>

#include "platform/cstring.h"
#include "platform/file_time.h"
#include "platform/types.h"

class CFileFind {
public:
    CFileFind() = default;
    virtual ~CFileFind() = default;

    // TRUE when at least one entry matches; call FindNextFile to step to the first. The entries
    // are listed when the search starts.
    virtual BOOL FindFile(LPCTSTR name = NULL, DWORD unused = 0);
    // Steps to the next entry; FALSE when the entry it stepped to is the last one.
    virtual BOOL FindNextFile();
    void Close();

    CString GetFileName() const;
    // The folder of the pattern (repeated separators collapsed) followed by the name.
    CString GetFilePath() const;
    CString GetFileTitle() const;
    CString GetRoot() const { return m_strRoot; }
    ULONGLONG GetLength() const;
    BOOL IsDirectory() const;
    BOOL IsDots() const;
    BOOL IsReadOnly() const;
    BOOL GetLastWriteTime(FILETIME* time) const;
    DWORD GetAttributes() const;

    // What the search knows of one entry.
    struct EntryInfo {
        CString name;
        DWORD attributes = 0;
        ULONGLONG length = 0;
        FILETIME lastWrite{};
    };

private:
    const EntryInfo* Current() const;

    std::vector<EntryInfo> m_entries;
    size_t m_next = 0;
    CString m_strRoot;
};

// Wildcard match of a name against a pattern with '*' and '?'; "*.*" matches every name.
bool MatchesWildcard(const wchar_t* pattern, const wchar_t* name);
