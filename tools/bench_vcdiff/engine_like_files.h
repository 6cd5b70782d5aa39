#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Files used the way the update engine uses them while patching: the old pack read range by
// range (one seek and whole-chunk reads into a buffer made for each range), the new pack written
// as the decoder hands out bytes.
namespace bench_vcdiff {

class ChunkedSourceFile {
public:
    ChunkedSourceFile(const std::string& path, size_t chunkSize);
    ~ChunkedSourceFile();
    ChunkedSourceFile(const ChunkedSourceFile&) = delete;
    ChunkedSourceFile& operator=(const ChunkedSourceFile&) = delete;

    void ReadRange(std::string* out, size_t position, size_t length);
    uint64_t GetLength() const;

private:
    int fd_;
    size_t chunkSize_;
};

class TargetFile {
public:
    explicit TargetFile(const std::string& path);
    ~TargetFile();
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    void append(const char* s, size_t n);
    void clear();
    void push_back(char c) { append(&c, 1); }
    void reserve(size_t n);
    size_t size() const;

private:
    int fd_;
};

}  // namespace bench_vcdiff
