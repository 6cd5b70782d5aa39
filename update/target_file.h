// The new pack while it is patched: written as the decoder hands out its bytes.
#pragma once

#include <cstddef>

#include "platform/platform.h"

class CTargetFile {
public:
    // Creates pszPath (or empties it) for writing without sharing; fails with 746.
    explicit CTargetFile(LPCTSTR pszPath);
    // Cuts off what was reserved beyond the last written byte and closes the file, unless Close
    // already did. Runs while a failure unwinds, so it reports its own failure and never throws.
    virtual ~CTargetFile();

    CTargetFile(const CTargetFile&) = delete;
    CTargetFile& operator=(const CTargetFile&) = delete;

    // The end of a successful decode: cuts the file at the last written byte and closes it, and
    // throws if that fails, so that a file with reserved garbage at its end is never installed.
    void Close();

    // What the decoder's output adapter calls.
    void append(const char* s, size_t n);
    void clear();
    void push_back(char c);
    // Extends the file to n bytes ahead of the bytes still to come; the write position stays.
    void reserve(size_t n);
    // Bytes written so far.
    size_t size() const;

private:
    void Truncate();

    CFile m_file;
    bool m_bOpen = false;
};
