#include "tests/zip/zip_test_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/utf8.h"

void ZipTestFolder::SetUp() {
    char pattern[] = "/tmp/varnholt-zip-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    previousFolder_ = std::filesystem::current_path().string();
    std::filesystem::current_path(folder_);
}

void ZipTestFolder::TearDown() {
    std::filesystem::current_path(previousFolder_);
    std::error_code ignored;
    // Extracted read-only files and folders must not keep the scratch folder alive.
    std::filesystem::remove_all(folder_, ignored);
}

std::string ZipTestFolder::Path(const std::string& name) const { return folder_ + "/" + name; }

std::wstring ZipTestFolder::WidePath(const std::string& name) const {
    return Utf8ToWide(Path(name));
}

void ZipTestFolder::WriteBytes(const std::string& name, const std::string& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(Path(name)).parent_path());
    std::ofstream out(Path(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << name;
}

std::string ZipTestFolder::ReadBytes(const std::string& name) const {
    std::ifstream in(name.starts_with("/") ? name : Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void ZipTestFolder::Shell(const std::string& command) const {
    const std::string line = "cd '" + folder_ + "' && " + command;
    ASSERT_EQ(std::system(line.c_str()), 0) << line;
}

void ZipTestFolder::Python(const std::string& script) const {
    WriteBytes("make.py", "import zipfile, os, time\n" + script);
    Shell("python3 make.py");
}

HZIP ZipTestFolder::Open(const std::string& name) const { return OpenZip(WidePath(name).c_str()); }

std::string MixedContent(size_t size, unsigned seed) {
    std::string out;
    out.reserve(size);
    uint32_t state = seed * 2654435761u + 1;
    while (out.size() < size) {
        state = state * 1664525u + 1013904223u;
        if ((state >> 28) < 10) {
            out += "varnholt pack line " + std::to_string(state % 977) + "\n";
        } else {
            for (int i = 0; i < 64; ++i) {
                state = state * 1664525u + 1013904223u;
                out.push_back(static_cast<char>(state >> 24));
            }
        }
    }
    out.resize(size);
    return out;
}

int64_t UnixSeconds(const FILETIME& time) {
    return static_cast<int64_t>(FileTimeToTicks(time) / 10000000) - 11644473600LL;
}

int64_t FileModifiedSeconds(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return -1;
    return st.st_mtime;
}
