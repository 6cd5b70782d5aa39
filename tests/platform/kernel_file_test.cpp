#include "platform/kernel_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/file_ops.h"
#include "platform/last_error.h"
#include "platform/utf8.h"
#include "temp_folder.h"

TEST(KernelFile, CreatesReadsAndSeeksWithWin32Results) {
    TempFolder dir;
    CString path = dir / L"entry.bin";
    HANDLE h = CreateFileW(path, GENERIC_ALL, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(GetFileType(h), FILE_TYPE_DISK);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(h, "abcdefgh", 8, &done, NULL));
    EXPECT_EQ(done, 8u);

    // A second reader that shares reading is refused while the writer holds the file.
    HANDLE other = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);

    EXPECT_EQ(SetFilePointer(h, 2, NULL, FILE_BEGIN), 2u);
    EXPECT_EQ(SetFilePointer(h, -1, NULL, FILE_END), 7u);
    EXPECT_EQ(SetFilePointer(h, -100, NULL, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    char buffer[4] = {};
    ASSERT_TRUE(ReadFile(h, buffer, 4, &done, NULL));
    EXPECT_EQ(done, 1u);
    EXPECT_EQ(buffer[0], 'h');
    ASSERT_TRUE(ReadFile(h, buffer, 4, &done, NULL)) << "the end is no failure";
    EXPECT_EQ(done, 0u);

    // Times: last access and last write are kept to the 100 ns tick; creation is ignored.
    SYSTEMTIME st{2009, 7, 0, 14, 13, 45, 30, 250};
    FILETIME written{}, accessed{}, got[3]{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &written));
    accessed = TicksToFileTime(FileTimeToTicks(written) + 12345);
    ASSERT_TRUE(SetFileTime(h, &written, &accessed, &written));
    ASSERT_TRUE(GetFileTime(h, &got[0], &got[1], &got[2]));
    EXPECT_EQ(FileTimeToTicks(got[1]), FileTimeToTicks(accessed));
    EXPECT_EQ(FileTimeToTicks(got[2]), FileTimeToTicks(written));
    EXPECT_TRUE(CloseHandle(h));

    h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(h, NULL), 8u);
    EXPECT_FALSE(WriteFile(h, "x", 1, &done, NULL)) << "opened for reading only";
    CloseHandle(h);

    h = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_READONLY, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS) << "CREATE_ALWAYS over an existing file";
    CloseHandle(h);
    EXPECT_EQ(GetFileSize(h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                          0, NULL),
                          NULL),
              0u);
    CloseHandle(h);

    EXPECT_EQ(
        CreateFileW(dir / L"missing", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CreateFileW(dir.Path(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL),
              INVALID_HANDLE_VALUE)
        << "a folder is not a file";
}

TEST(KernelFile, CreatesReadOnlyAndExecutableFiles) {
    TempFolder dir;
    CString tool = dir / L"tool", locked = dir / L"locked";
    for (auto [path, attributes] :
         {std::pair{tool, FILE_ATTRIBUTE_EXECUTABLE}, std::pair{locked, FILE_ATTRIBUTE_READONLY}}) {
        HANDLE h =
            CreateFileW(path, GENERIC_ALL, FILE_SHARE_READ, NULL, CREATE_ALWAYS, attributes, NULL);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD done;
        EXPECT_TRUE(WriteFile(h, "x", 1, &done, NULL)) << "the new file's own handle may write";
        CloseHandle(h);
    }
    EXPECT_TRUE(GetFileAttributesW(tool) & FILE_ATTRIBUTE_EXECUTABLE);
    EXPECT_EQ(GetFileAttributesW(locked), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(CreateFileW(locked, GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(FileTimes, ConvertDosAndCalendarTimesAndRefuseInvalidOnes) {
    FILETIME ft{};
    // 2010-03-05 14:30:58 as a DOS date and time (seconds in steps of two).
    WORD date = static_cast<WORD>(((2010 - 1980) << 9) | (3 << 5) | 5);
    WORD time = static_cast<WORD>((14 << 11) | (30 << 5) | 29);
    ASSERT_TRUE(DosDateTimeToFileTime(date, time, &ft));
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
    EXPECT_EQ(st.wYear, 2010);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 5);
    EXPECT_EQ(st.wDayOfWeek, 5) << "a Friday";
    EXPECT_EQ(st.wHour, 14);
    EXPECT_EQ(st.wMinute, 30);
    EXPECT_EQ(st.wSecond, 58);
    // The Unix epoch is 116444736000000000 ticks after 1601.
    SYSTEMTIME epoch{1970, 1, 4, 1, 0, 0, 0, 0};
    ASSERT_TRUE(SystemTimeToFileTime(&epoch, &ft));
    EXPECT_EQ(FileTimeToTicks(ft), 116444736000000000ull);

    EXPECT_FALSE(DosDateTimeToFileTime(static_cast<WORD>((30 << 9) | (2 << 5) | 30), 0, &ft))
        << "30 February";
    EXPECT_FALSE(DosDateTimeToFileTime(static_cast<WORD>((30 << 9) | (13 << 5) | 1), 0, &ft))
        << "month 13";
    EXPECT_FALSE(DosDateTimeToFileTime(static_cast<WORD>((30 << 9) | (1 << 5) | 1),
                                       static_cast<WORD>(24 << 11), &ft));
    EXPECT_TRUE(DosDateTimeToFileTime(static_cast<WORD>((20 << 9) | (2 << 5) | 29), 0, &ft))
        << "2000 is a leap year";

    __time32_t seconds = 1000000000;
    struct tm* broken = _gmtime32(&seconds);
    ASSERT_NE(broken, nullptr);
    EXPECT_EQ(broken->tm_year + 1900, 2001);
    EXPECT_EQ(broken->tm_hour, 1);
    seconds = -1;
    EXPECT_EQ(_gmtime32(&seconds), nullptr);
}
