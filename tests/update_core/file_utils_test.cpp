#include "update/file_utils.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/exceptions.h"
#include "platform/fault_hook.h"
#include "platform/file_ops.h"
#include "platform/utf8.h"
#include "temp_folder.h"
#include "update/constants.h"

namespace {

// Runs DeleteFolder and tells whether it threw CUserException.
bool DeleteFolderThrows(const CString& path) {
    try {
        DeleteFolder(path);
        return false;
    } catch (CUserException* e) {
        e->Delete();
        return true;
    }
}

}  // namespace

TEST(PathUtils, FolderOfPathCutsAfterTheLastSlash) {
    EXPECT_EQ(GetFolderOfPath(L"VarnholtLauncher.exe"), L"");
    EXPECT_EQ(GetFolderOfPath(L"/opt/varnholt/"), L"/opt/varnholt/");
    EXPECT_EQ(GetFolderOfPath(L"/opt/varnholt/VarnholtLauncher.exe"), L"/opt/varnholt/");
    EXPECT_EQ(GetFolderOfPath(L"/VarnholtLauncher.exe"), L"/");
    EXPECT_EQ(GetFolderOfPath(L"C:\\a\\b.exe"), L"") << "a backslash is no separator here";
    EXPECT_EQ(GetFolderOfPath(L""), L"");
}

TEST(PathUtils, ModulePathFolderAndVersionDescribeThisExecutable) {
    char own[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", own, sizeof own - 1), 0);
    EXPECT_EQ(WideToUtf8(GetModulePath()), own);
    CString dir = GetModuleDir();
    ASSERT_FALSE(dir.IsEmpty());
    EXPECT_EQ(dir[dir.GetLength() - 1], L'/');
    EXPECT_EQ(dir + kTempDir + kResumeData, GetFolderOfPath(GetModulePath()) + L"temp/resume.data");
    EXPECT_EQ(GetModuleVersion(), 0x0002000100030004ull);
}

TEST(PathUtils, HexAndEightBitText) {
    EXPECT_EQ(DwordToHex(0), L"00000000");
    EXPECT_EQ(DwordToHex(0xFFFFFFFF), L"FFFFFFFF");
    EXPECT_EQ(DwordToHex(0xABC), L"00000ABC");
    // The 8-bit form is the one the file system sees, whatever the locale.
    EXPECT_STREQ(WideToMultiByte(L"/игры/temp/"), "/\xD0\xB8\xD0\xB3\xD1\x80\xD1\x8B/temp/");
    EXPECT_STREQ(WideToMultiByte(L""), "");
}

TEST(PathUtils, ClusterSizeIsTheFileSystemBlockOr4096) {
    TempFolder dir;
    struct statvfs info {};
    ASSERT_EQ(statvfs(WideToUtf8(dir.Path()).c_str(), &info), 0);
    EXPECT_EQ(GetClusterSize(dir / L"pack.vh"), info.f_bsize);
    EXPECT_EQ(GetClusterSize(dir / L"missing/pack.vh"), 4096u);
    EXPECT_EQ(GetClusterSize(L"pack.vh"), 4096u);
}

TEST(DeleteFolder, RemovesWholeTreesIncludingReadOnlyEntries) {
    TempFolder dir;
    CString root = dir / L"temp/";
    CreateDirectoryW(root, NULL);
    CreateDirectoryW(root + L"sub", NULL);
    CreateDirectoryW(root + L"sub/deeper", NULL);
    WriteTestFile(root + L"a.zip", "a");
    WriteTestFile(root + L"sub/b.patch", "b");
    WriteTestFile(root + L"sub/deeper/c.vh", "c");
    SetFileAttributesW(root + L"a.zip", FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(root + L"sub/deeper/c.vh", FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(root + L"sub/deeper", FILE_ATTRIBUTE_READONLY);

    EXPECT_FALSE(DeleteFolderThrows(root));
    EXPECT_FALSE(TestPathExists(root));
    EXPECT_TRUE(DeleteFolderThrows(root)) << "a missing folder";
    EXPECT_TRUE(DeleteFolderThrows(L""));
}

TEST(DeleteFolder, StopsAtTheEntryThatFailsAndKeepsWhatWentBefore) {
    TempFolder dir;
    CString root = dir / L"temp/";
    CreateDirectoryW(root, NULL);
    CreateDirectoryW(root + L"sub", NULL);
    WriteTestFile(root + L"a.zip", "a");
    WriteTestFile(root + L"b.zip", "b");
    WriteTestFile(root + L"sub/held.vh", "c");
    WriteTestFile(root + L"sub/other.vh", "d");
    // As root nothing fails by permissions; the fault stands in for a file held by another program.
    SetFaultHook([](FileOperation op, const CString& path) {
        return op == FileOperation::Delete && path.Find(L"held.vh") >= 0 ? EBUSY : 0;
    });
    EXPECT_TRUE(DeleteFolderThrows(root));
    ClearFaultHook();
    // A folder's files go before its subfolders: both zips are gone, the failing entry stays.
    EXPECT_FALSE(TestPathExists(root + L"a.zip"));
    EXPECT_FALSE(TestPathExists(root + L"b.zip"));
    EXPECT_TRUE(TestPathExists(root + L"sub/held.vh"));
    EXPECT_TRUE(TestPathExists(root + L"sub"));

    SetFaultHook([](FileOperation op, const CString&) {
        return op == FileOperation::SetAttributes ? EPERM : 0;
    });
    EXPECT_TRUE(DeleteFolderThrows(root)) << "a failing attribute reset throws too";
    ClearFaultHook();
    EXPECT_TRUE(TestPathExists(root + L"sub/held.vh"));
    EXPECT_FALSE(DeleteFolderThrows(root));
}

TEST(DeleteFolder, RemovesLinksAsLinksAndNeverWhatTheyPointTo) {
    TempFolder dir;
    const CString outside = dir / L"outside/";
    CreateDirectoryW(outside, NULL);
    WriteTestFile(outside + L"keep.vh", "keep");
    const auto link = [](const CString& target, const CString& name) {
        ASSERT_EQ(symlink(WideToUtf8(target).c_str(), WideToUtf8(name).c_str()), 0);
    };
    CString root = dir / L"temp/";
    CreateDirectoryW(root, NULL);
    link(outside, root + L"folder-link");
    link(outside + L"keep.vh", root + L"file-link");
    link(dir / L"missing", root + L"dangling-link");

    EXPECT_FALSE(DeleteFolderThrows(root));
    EXPECT_FALSE(TestPathExists(root));
    EXPECT_EQ(ReadTestFile(outside + L"keep.vh"), "keep");

    // The folder itself a link: only the link goes.
    link(outside, dir / L"temp");
    EXPECT_FALSE(DeleteFolderThrows(root));
    EXPECT_FALSE(TestPathExists(dir / L"temp"));
    EXPECT_EQ(ReadTestFile(outside + L"keep.vh"), "keep");
}
