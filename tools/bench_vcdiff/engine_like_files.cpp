#include "tools/bench_vcdiff/engine_like_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace bench_vcdiff {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

ChunkedSourceFile::ChunkedSourceFile(const std::string& path, size_t chunkSize)
    : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)), chunkSize_(chunkSize) {
    if (fd_ < 0) {
        Fail("cannot open " + path);
    }
}

ChunkedSourceFile::~ChunkedSourceFile() { close(fd_); }

uint64_t ChunkedSourceFile::GetLength() const {
    struct stat info {};
    if (fstat(fd_, &info) != 0) {
        Fail("cannot stat the source");
    }
    return static_cast<uint64_t>(info.st_size);
}

void ChunkedSourceFile::ReadRange(std::string* out, size_t position, size_t length) {
    std::vector<char> buffer(chunkSize_);
    if (lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
        Fail("cannot seek in the source");
    }
    for (size_t got = 0; got < length;) {
        const ssize_t n = read(fd_, buffer.data(), chunkSize_);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            Fail("cannot read the source");
        }
        const size_t take = std::min(static_cast<size_t>(n), length - got);
        out->append(buffer.data(), take);
        got += take;
    }
}

TargetFile::TargetFile(const std::string& path)
    : fd_(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)) {
    if (fd_ < 0) {
        Fail("cannot create " + path);
    }
}

TargetFile::~TargetFile() {
    const off_t position = lseek(fd_, 0, SEEK_CUR);
    if (position >= 0 && ftruncate(fd_, position) != 0) {
        // Reserved bytes past the end stay; the benchmark compares the file and will say so.
    }
    close(fd_);
}

void TargetFile::append(const char* s, size_t n) {
    while (n > 0) {
        const ssize_t written = write(fd_, s, n);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            Fail("cannot write the target");
        }
        s += written;
        n -= static_cast<size_t>(written);
    }
}

void TargetFile::clear() {
    if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) < 0) {
        Fail("cannot empty the target");
    }
}

void TargetFile::reserve(size_t n) {
    const off_t position = lseek(fd_, 0, SEEK_CUR);
    if (position < 0 || ftruncate(fd_, static_cast<off_t>(n)) != 0 ||
        lseek(fd_, position, SEEK_SET) < 0) {
        Fail("cannot extend the target");
    }
}

size_t TargetFile::size() const { return static_cast<uint32_t>(lseek(fd_, 0, SEEK_CUR)); }

}  // namespace bench_vcdiff
