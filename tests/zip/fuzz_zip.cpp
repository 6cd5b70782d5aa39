// libFuzzer target: opens the input as an archive, lists every entry and extracts each one into
// a scratch folder that is also the current folder, so folder entries land there too.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/utf8.h"
#include "zip/zip_reader.h"

namespace {

std::string g_scratch;

void RemoveScratchFolder() {
    std::error_code ignored;
    std::filesystem::current_path("/", ignored);
    std::filesystem::remove_all(g_scratch, ignored);
}

std::string MakeScratchFolder() {
    char pattern[] = "/tmp/fuzz-zip-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    g_scratch = pattern;
    std::atexit(RemoveScratchFolder);
    return g_scratch;
}

void CountBytes(int bytes, int* cancel) {
    if (bytes <= 0 || bytes > 16384 || *cancel != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = MakeScratchFolder();
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directory(folder);
    fs::current_path(folder);

    const std::string archive = folder + "/input.zip";
    FILE* file = std::fopen(archive.c_str(), "wb");
    if (file == nullptr) std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    HZIP zip = OpenZip(Utf8ToWide(archive).c_str());
    if (zip == nullptr) return 0;
    ZipEntry entry{};
    if (GetZipItem(zip, -1, &entry) == ZR_OK) {
        const int count = entry.index;
        for (int i = 0; i < count; ++i) {
            if (GetZipItem(zip, i, &entry) != ZR_OK) continue;
            if (entry.name[ZIP_NAME_CHARS - 1] != L'\0') std::abort();
            // Relative targets exercise the reader's own folder making.
            const std::wstring target = L"out/" + std::to_wstring(i) + L"/entry";
            UnzipItem(zip, i, target.c_str(), CountBytes);
        }
        // A lower index after a higher one restarts the walk.
        GetZipItem(zip, 0, &entry);
    }
    CloseZip(zip);
    return 0;
}
