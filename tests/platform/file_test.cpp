#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fault_hook.h"
#include "platform/file_ops.h"
#include "platform/last_error.h"
#include "platform/utf8.h"
#include "temp_folder.h"

namespace {

// Opens and returns the failure's cause, or -1 when the open succeeded.
int OpenCause(const CString& path, UINT flags) {
    CFile file;
    CFileException error;
    if (file.Open(path, flags, &error)) return -1;
    return error.m_cause;
}

}  // namespace

TEST(CFileSharing, ExclusiveOpensConflictAndDenyWriteReadersShare) {
    TempFolder dir;
    CString path = dir / L"pack.vh";
    WriteTestFile(path, "data");

    CFile held(path, CFile::modeRead | CFile::shareExclusive);
    EXPECT_EQ(OpenCause(path, CFile::modeRead | CFile::shareExclusive),
              CFileException::sharingViolation);
    EXPECT_EQ(OpenCause(path, CFile::modeRead | CFile::shareDenyNone),
              CFileException::sharingViolation);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    held.Close();

    CFile reader(path, CFile::modeRead | CFile::shareDenyWrite);
    EXPECT_EQ(OpenCause(path, CFile::modeRead | CFile::shareDenyWrite), -1);
    EXPECT_EQ(OpenCause(path, CFile::modeRead | CFile::shareDenyNone), -1);
    EXPECT_EQ(OpenCause(path, CFile::modeWrite | CFile::shareDenyNone),
              CFileException::sharingViolation);
    EXPECT_EQ(OpenCause(path, CFile::modeReadWrite | CFile::shareExclusive),
              CFileException::sharingViolation);
}

TEST(CFileSharing, AFileHeldByAnotherProcessCannotBeOpenedOrEmptied) {
    TempFolder dir;
    CString path = dir / L"held.vh";
    WriteTestFile(path, "keep me");

    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int code = 0;
        try {
            CFile file(path, CFile::modeRead | CFile::shareExclusive);
            char c = 1;
            (void)!write(ready[1], &c, 1);
            (void)!read(release[0], &c, 1);
        } catch (CException* e) {
            e->Delete();
            code = 1;
        }
        _exit(code);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);

    EXPECT_EQ(OpenCause(path, CFile::modeRead | CFile::shareExclusive),
              CFileException::sharingViolation);
    // The exclusive create takes its lock before truncating: the held file keeps its data.
    EXPECT_EQ(OpenCause(path, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive),
              CFileException::sharingViolation);
    EXPECT_EQ(ReadTestFile(path), "keep me");
    EXPECT_FALSE(DeleteFileW(path));
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);

    (void)!write(release[1], &c, 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(OpenCause(path, CFile::modeRead | CFile::shareExclusive), -1)
        << "the lock died with its holder";
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST(CFileOpen, RefusesFoldersReadOnlyFilesAndMissingFilesWithNamedReasons) {
    TempFolder dir;
    EXPECT_EQ(OpenCause(dir.Path(), CFile::modeRead), CFileException::accessDenied);
    EXPECT_EQ(OpenCause(dir / L"missing.vh", CFile::modeRead), CFileException::fileNotFound);

    CString readOnly = dir / L"ro.vh";
    WriteTestFile(readOnly, "old");
    ASSERT_TRUE(SetFileAttributesW(readOnly, FILE_ATTRIBUTE_READONLY));
    // Refused even when the tests run as root, as Windows refuses administrators.
    EXPECT_EQ(OpenCause(readOnly, CFile::modeCreate | CFile::modeWrite),
              CFileException::accessDenied);
    EXPECT_EQ(OpenCause(readOnly, CFile::modeRead), -1);
    EXPECT_EQ(ReadTestFile(readOnly), "old");

    try {
        CFile file(dir / L"missing.vh", CFile::modeRead | CFile::shareExclusive);
        FAIL() << "opened a missing file";
    } catch (CFileException* e) {
        CString message = e->GetErrorMessage();
        EXPECT_EQ(e->m_strFileName, dir / L"missing.vh");
        EXPECT_EQ(e->m_lOsError, static_cast<LONG>(ERROR_FILE_NOT_FOUND));
        EXPECT_NE(message.Find(L"missing.vh"), -1) << WideToUtf8(message);
        EXPECT_NE(message.Find(L"No such file or directory"), -1) << WideToUtf8(message);
        e->Delete();
    }
}

TEST(CFileIo, ReadsWritesSeeksAndResizes) {
    TempFolder dir;
    CString path = dir / L"data.bin";
    {
        CFile file(path, CFile::modeCreate | CFile::modeReadWrite | CFile::shareExclusive);
        file.Write("0123456789", 10);
        EXPECT_EQ(file.GetPosition(), 10u);
        EXPECT_EQ(file.GetLength(), 10u);
        EXPECT_EQ(file.Seek(-4, CFile::end), 6u);
        char buffer[8] = {};
        EXPECT_EQ(file.Read(buffer, 8), 4u) << "a short read only at the end";
        EXPECT_STREQ(buffer, "6789");
        EXPECT_EQ(file.Read(buffer, 8), 0u);
        file.SetLength(3);
        file.SeekToBegin();
        EXPECT_EQ(file.Read(buffer, 8), 3u);
        EXPECT_EQ(file.GetFilePath(), path);
        EXPECT_EQ(file.GetFileName(), L"data.bin");
        file.Close();
    }
    // modeNoTruncate keeps the content; plain modeCreate empties it.
    { CFile keep(path, CFile::modeCreate | CFile::modeNoTruncate | CFile::modeWrite); }
    EXPECT_EQ(ReadTestFile(path), "012");
    { CFile empty(path, CFile::modeCreate | CFile::modeWrite); }
    EXPECT_EQ(ReadTestFile(path), "");
}

TEST(CFileIo, InjectedFaultsThrowWithTheFileAndReason) {
    TempFolder dir;
    CString path = dir / L"full.bin";
    SetFaultHook([](FileOperation op, const CString& name) {
        return op == FileOperation::Write && name.Find(L"full.bin") >= 0 ? ENOSPC : 0;
    });
    CFile file(path, CFile::modeCreate | CFile::modeWrite);
    try {
        file.Write("x", 1);
        ADD_FAILURE() << "the write did not fail";
    } catch (CFileException* e) {
        EXPECT_EQ(e->m_cause, CFileException::diskFull);
        EXPECT_EQ(e->GetErrorMessage(),
                  L"cannot write file " + path + L": No space left on device");
        e->Delete();
    }
    ClearFaultHook();
    file.Write("y", 1);
}
