// A scratch folder per test that is also the process's current folder, with helpers to make
// archives there with the `zip` command and Python's zipfile, and to read what was extracted.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "zip/zip_reader.h"

class ZipTestFolder : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Absolute path of name inside the folder, narrow and wide.
    std::string Path(const std::string& name) const;
    std::wstring WidePath(const std::string& name) const;

    void WriteBytes(const std::string& name, const std::string& bytes) const;
    std::string ReadBytes(const std::string& name) const;
    // Runs a shell command in the folder; fails the test when it does not exit with 0.
    void Shell(const std::string& command) const;
    // Runs a Python script (zipfile is imported) in the folder.
    void Python(const std::string& script) const;

    HZIP Open(const std::string& name) const;

    std::string folder_;
    std::string previousFolder_;
};

// Deterministic bytes: runs of text and noise, so deflate has something to do.
std::string MixedContent(size_t size, unsigned seed);

// Seconds since 1970 in a FILETIME.
int64_t UnixSeconds(const FILETIME& time);
// Modification time of a file, in seconds since 1970.
int64_t FileModifiedSeconds(const std::string& path);
