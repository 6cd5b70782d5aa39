// A fresh folder under the system's temporary folder, removed with everything in it at the end.
#pragma once

#include <string>

#include "platform/cstring.h"

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder's path with a trailing '/'.
    const CString& Path() const { return m_path; }
    // Path() + relative.
    CString operator/(const wchar_t* relative) const { return m_path + relative; }

private:
    CString m_path;
};

// Writes bytes to a file (creating folders on the way is the caller's business).
void WriteTestFile(const CString& path, const std::string& bytes);
// The whole file, or "<missing>" when it cannot be read.
std::string ReadTestFile(const CString& path);
bool TestPathExists(const CString& path);
