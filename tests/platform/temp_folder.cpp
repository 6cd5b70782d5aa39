#include "temp_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/utf8.h"

TempFolder::TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "varnholt-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) ADD_FAILURE() << "cannot make a temporary folder";
    m_path = CString(pattern.c_str()) + L"/";
}

TempFolder::~TempFolder() {
    std::filesystem::path root(WideToUtf8(m_path));
    std::error_code error;
    // Read-only entries are the layer's business, not the file system's: give them back their
    // write bits so that the clean-up works for a user other than root too.
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        if (!it->is_symlink()) chmod(it->path().c_str(), 0700);
    std::filesystem::remove_all(root, error);
}

void WriteTestFile(const CString& path, const std::string& bytes) {
    std::ofstream out(WideToUtf8(path), std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << WideToUtf8(path);
}

std::string ReadTestFile(const CString& path) {
    std::ifstream in(WideToUtf8(path), std::ios::binary);
    if (!in) return "<missing>";
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

bool TestPathExists(const CString& path) {
    struct stat info {};
    return lstat(WideToUtf8(path).c_str(), &info) == 0;
}
