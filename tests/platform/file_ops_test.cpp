#include "platform/file_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/fault_hook.h"
#include "platform/file_find.h"
#include "platform/last_error.h"
#include "platform/utf8.h"
#include "temp_folder.h"

namespace {

mode_t ModeOf(const CString& path) {
    struct stat info {};
    stat(WideToUtf8(path).c_str(), &info);
    return info.st_mode & 07777;
}

std::set<std::wstring> Find(const CString& pattern, bool withDots = false) {
    std::set<std::wstring> names;
    CFileFind finder;
    BOOL more = finder.FindFile(pattern);
    while (more) {
        more = finder.FindNextFile();
        if (!withDots && finder.IsDots()) continue;
        names.insert((finder.GetFilePath() + (finder.IsDirectory() ? L"/" : L"")).GetString());
    }
    return names;
}

}  // namespace

TEST(MoveFile, ReplacesOnlyWhenAskedAndNeverAReadOnlyTarget) {
    TempFolder dir;
    CString from = dir / L"scripts.patched", to = dir / L"scripts.vh";
    WriteTestFile(from, "new");
    WriteTestFile(to, "old");

    EXPECT_FALSE(MoveFileExW(from, to, 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(ReadTestFile(to), "old");

    ASSERT_TRUE(MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadTestFile(to), "new");
    EXPECT_FALSE(TestPathExists(from));

    WriteTestFile(from, "newer");
    ASSERT_TRUE(SetFileAttributesW(to, FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadTestFile(to), "new");

    EXPECT_FALSE(MoveFileExW(dir / L"missing", to, MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(MoveFile, CrossesFileSystemsWithoutHalfWrittenTargets) {
    // /dev/shm is a tmpfs on Linux; the test needs it on another file system than /tmp.
    std::error_code error;
    if (!std::filesystem::is_directory("/dev/shm", error)) GTEST_SKIP() << "no /dev/shm";
    TempFolder dir;
    struct stat a {
    }, b{};
    stat(WideToUtf8(dir.Path()).c_str(), &a);
    stat("/dev/shm", &b);
    if (a.st_dev == b.st_dev)
        GTEST_SKIP() << "/dev/shm and the temporary folder share a file system";

    std::string shmName = "/dev/shm/varnholt-move-" + std::to_string(getpid());
    CString source(shmName.c_str());
    WriteTestFile(source, std::string(300000, 'z'));
    chmod(shmName.c_str(), 0751);
    CString target = dir / L"moved.vh";
    WriteTestFile(target, "old");

    EXPECT_FALSE(MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING))
        << "a plain rename cannot cross";
    EXPECT_EQ(GetLastError(), ERROR_NOT_SAME_DEVICE);
    ASSERT_TRUE(MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(ReadTestFile(target), std::string(300000, 'z'));
    EXPECT_EQ(ModeOf(target), 0751u);
    EXPECT_FALSE(TestPathExists(source));
    EXPECT_EQ(Find(dir / L"*.*").size(), 1u) << "no temporary file left beside the target";
}

TEST(CopyFile, CopiesDataAndModeAndHonoursFailIfExists) {
    TempFolder dir;
    CString from = dir / L"VarnholtUpdate.exe", to = dir / L"VarnholtLauncher.exe";
    WriteTestFile(from, "launcher v2");
    chmod(WideToUtf8(from).c_str(), 0755);
    WriteTestFile(to, "launcher v1");

    EXPECT_FALSE(CopyFileW(from, to, TRUE));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CopyFileW(from, to, FALSE));
    EXPECT_EQ(ReadTestFile(to), "launcher v2");
    EXPECT_EQ(ModeOf(to), 0755u);
    EXPECT_EQ(ReadTestFile(from), "launcher v2");
}

TEST(DeleteAndAttributes, ReadOnlyIsKeptByTheLayerEvenForRoot) {
    TempFolder dir;
    CString file = dir / L"a.vh";
    WriteTestFile(file, "x");
    EXPECT_EQ(GetFileAttributesW(file), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(SetFileAttributesW(file, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(GetFileAttributesW(file), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(ModeOf(file) & 0222, 0u);
    EXPECT_FALSE(DeleteFileW(file));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    ASSERT_TRUE(SetFileAttributesW(file, FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileW(file));
    EXPECT_FALSE(DeleteFileW(file));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesW(file), INVALID_FILE_ATTRIBUTES);

    EXPECT_FALSE(DeleteFileW(dir.Path())) << "a folder is not a file";
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(Folders, CreateRemoveAndReportWhatIsInTheWay) {
    TempFolder dir;
    CString sub = dir / L"temp";
    ASSERT_TRUE(CreateDirectoryW(sub, NULL));
    EXPECT_FALSE(CreateDirectoryW(sub, NULL));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(PathIsDirectoryW(sub));
    EXPECT_EQ(GetFileAttributesW(sub), FILE_ATTRIBUTE_DIRECTORY);

    WriteTestFile(sub + L"/x", "x");
    EXPECT_FALSE(RemoveDirectoryW(sub));
    EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
    ASSERT_TRUE(DeleteFileW(sub + L"/x"));
    ASSERT_TRUE(SetFileAttributesW(sub, FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(RemoveDirectoryW(sub + L"/")) << "a read-only folder stays";
    ASSERT_TRUE(SetFileAttributesW(sub, FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(RemoveDirectoryW(sub + L"/"));
    EXPECT_FALSE(PathIsDirectoryW(sub));

    SetFaultHook([](FileOperation op, const CString&) {
        return op == FileOperation::CreateDirectory ? EACCES : 0;
    });
    EXPECT_FALSE(CreateDirectoryW(sub, NULL));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    ClearFaultHook();

    DWORD sectors = 0, bytes = 0;
    ASSERT_TRUE(GetDiskFreeSpaceW(dir.Path(), &sectors, &bytes, nullptr, nullptr));
    EXPECT_GE(sectors * bytes, 512u);
    EXPECT_FALSE(GetDiskFreeSpaceW(dir / L"missing", &sectors, &bytes, nullptr, nullptr));
}

TEST(CFileFind, MatchesPatternsListsDotsAndJoinsPathsOnce) {
    TempFolder dir;
    CreateDirectoryW(dir / L"sub", NULL);
    WriteTestFile(dir / L"a.vh", "1234");
    WriteTestFile(dir / L"b.zip", "");
    WriteTestFile(dir / L"noext", "");
    std::filesystem::create_symlink("/", WideToUtf8(dir / L"link"));

    std::wstring root = dir.Path().GetString();
    // "*.*" matches names without a dot; the caller's doubled separator is not repeated.
    EXPECT_EQ(Find(dir.Path() + L"/*.*"),
              (std::set<std::wstring>{root + L"a.vh", root + L"b.zip", root + L"noext",
                                      root + L"sub/", root + L"link"}))
        << "a link is never a folder to descend into";
    EXPECT_EQ(Find(dir / L"*.vh"), std::set<std::wstring>{root + L"a.vh"});
    EXPECT_EQ(Find(dir / L"?.zip"), std::set<std::wstring>{root + L"b.zip"});
    EXPECT_EQ(Find(dir / L"*.*", true).size(), 7u) << "with . and ..";

    CFileFind finder;
    ASSERT_TRUE(finder.FindFile(dir / L"a.vh"));
    EXPECT_FALSE(finder.FindNextFile()) << "the only match is the last";
    EXPECT_EQ(finder.GetLength(), 4u);
    EXPECT_EQ(finder.GetFileName(), L"a.vh");
    EXPECT_FALSE(finder.IsDirectory());
    EXPECT_FALSE(finder.FindFile(dir / L"A.VH")) << "names match as stored";
    EXPECT_FALSE(finder.FindFile(dir / L"missing/*.*"));
    EXPECT_TRUE(MatchesWildcard(L"*a*b?", L"xxaYYbZ"));
    EXPECT_FALSE(MatchesWildcard(L"*a*b?", L"xxaYYb"));

    // Names in a single-byte code page are found under paths that reach those very files.
    const std::string folder = WideToUtf8(dir.Path());
    for (const char* name : {"\xE4.txt", "\xF6.txt"}) std::ofstream(folder + name) << name;
    const std::set<std::wstring> found = Find(dir / L"*.txt");
    EXPECT_EQ(found, (std::set<std::wstring>{root + L"\xDCE4.txt", root + L"\xDCF6.txt"}));
    for (const std::wstring& path : found) EXPECT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_FALSE(std::filesystem::exists(folder + "\xE4.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder + "\xF6.txt"));
}
