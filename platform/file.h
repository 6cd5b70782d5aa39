// The framework's file class. Errors throw CFileException* naming the file and the reason.
#pragma once

#include "platform/cstring.h"
#include "platform/exceptions.h"
#include "platform/types.h"

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
        osNoBuffer = 0x10000,
        osWriteThrough = 0x20000,
        osRandomAccess = 0x40000,
        osSequentialScan = 0x80000,
    };
    enum SeekPosition : UINT { begin = 0x0, current = 0x1, end = 0x2 };

    CFile();
    // Opens or throws CFileException*.
    CFile(LPCTSTR fileName, UINT openFlags);
    virtual ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // FALSE on failure, with the reason in *error when given. Share modes: exclusive (and
    // compat, deny-read) lock the file against every other open, deny-write against writers;
    // deny-none fails only against opens that deny what this one does.
    virtual BOOL Open(LPCTSTR fileName, UINT openFlags, CFileException* error = NULL);
    // Bytes read; fewer than count only at the end of the file.
    virtual UINT Read(void* buffer, UINT count);
    virtual void Write(const void* buffer, UINT count);
    virtual ULONGLONG Seek(LONGLONG offset, UINT from);
    void SeekToBegin() { Seek(0, begin); }
    ULONGLONG SeekToEnd() { return Seek(0, end); }
    virtual ULONGLONG GetPosition() const;
    virtual ULONGLONG GetLength() const;
    virtual void SetLength(ULONGLONG newLength);
    // Writes the file's data through to the disk.
    virtual void Flush();
    virtual void Close();
    // Closes without throwing.
    virtual void Abort();
    virtual CString GetFilePath() const { return m_strFileName; }
    virtual CString GetFileName() const;
    BOOL IsOpen() const { return m_fd >= 0; }

    static void Remove(LPCTSTR fileName);
    static void Rename(LPCTSTR oldName, LPCTSTR newName);

protected:
    [[noreturn]] void ThrowErrno(int error, LPCTSTR action) const;

    int m_fd = -1;
    CString m_strFileName;
};
