// Extraction through the zip reader, in the engine's own process.
#include "update/extract.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "tests/engine/launcher_folder.h"
#include "tests/zip/archive_builder.h"
#include "update/status.h"

namespace engine_test {
namespace {

class Extract : public ::testing::Test {
protected:
    void SetUp() override {
        g_nErrorCode = -1;
        g_strError.Empty();
        dir = MakeTempFolder("varnholt-extract");
        fs::create_directories(dir / "out");
    }
    void TearDown() override { fs::remove_all(dir); }

    CString Path(const fs::path& path) { return CString(Utf8ToWide(path.string()).c_str()); }

    // The failure number that call throws with, 0 when it returns.
    template <typename Call>
    static int FailureOf(Call call) {
        g_nErrorCode = -1;
        g_strError.Empty();
        try {
            call();
        } catch (CUserException* e) {
            e->Delete();
            return g_nErrorCode;
        }
        return 0;
    }
    int UnzipFailure(const fs::path& zip, const fs::path& folder = "out") {
        return FailureOf([&] { UnzipToFolder(Path(dir / folder) + L"/", Path(zip), Count); });
    }
    int TotalFailure(const fs::path& zip) {
        return FailureOf([&] { GetZipTotalSize(Path(zip)); });
    }

    static void Count(int bytes, int*) { extracted += bytes; }
    static inline long extracted = 0;
    fs::path dir;
};

TEST_F(Extract, EntryNamesThatLeaveTheFolderAreRefused) {
    for (const wchar_t* name :
         {L"../x", L"a/../../x", L"a\\..\\..\\x", L"..", L"/etc/x", L"\\x", L"C:x", L""})
        EXPECT_FALSE(IsSafeEntryName(name)) << WideToUtf8(name);
    for (const wchar_t* name : {L"a", L"a/b/c.txt", L"..a/b", L"a..", L"dir/", L"a/./b"})
        EXPECT_TRUE(IsSafeEntryName(name)) << WideToUtf8(name);

    MakeZip(dir / "evil.zip", {{"good.txt", "good"}, {"sub/../../evil.txt", "evil"}});
    EXPECT_EQ(UnzipFailure(dir / "evil.zip"), 705);
    EXPECT_FALSE(fs::exists(dir / "evil.txt"));
}

TEST_F(Extract, FolderEntriesComeFirstAndFilesLandBelowTheFolder) {
    MakeZip(dir / "tree.zip", {{"data/", ""},
                               {"data/a.bin", std::string(300, 'a')},
                               {"data\\b.bin", std::string(100, 'b')}});
    EXPECT_EQ(GetZipTotalSize(Path(dir / "tree.zip")), 400u);
    // "\" separates only in entry names: here it is an ordinary character of the folder's name.
    for (const char* folder : {"out", "out\\side"}) {
        SCOPED_TRACE(folder);
        fs::create_directories(dir / folder);
        extracted = 0;
        EXPECT_EQ(UnzipFailure(dir / "tree.zip", folder), 0);
        EXPECT_EQ(ReadFile(dir / folder / "data" / "a.bin"), std::string(300, 'a'));
        EXPECT_EQ(ReadFile(dir / folder / "data" / "b.bin"), std::string(100, 'b'));
        EXPECT_EQ(extracted, 400);
    }
}

// Names that are no UTF-8 (an archive made with a single-byte code page) land under their own
// bytes, so two of them never become one file; a UTF-8 name stays as it is.
TEST_F(Extract, EntryNamesKeepTheirOwnBytesOnDisk) {
    WriteFile(dir / "cp1252.zip", BuildArchive({StoredEntry("\xE4.txt", "a-umlaut"),
                                                StoredEntry("\xF6.txt", "o-umlaut"),
                                                StoredEntry("\xC3\xA4.txt", "utf-8")}));
    EXPECT_EQ(UnzipFailure(dir / "cp1252.zip"), 0);
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir / "out"))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"\xE4.txt", "\xF6.txt", "\xC3\xA4.txt"}));
    EXPECT_EQ(ReadFile(dir / "out" / "\xE4.txt"), "a-umlaut");
    EXPECT_EQ(ReadFile(dir / "out" / "\xF6.txt"), "o-umlaut");
}

// A directory that cannot be read to its end (a damaged third central header; Zip64 records, as
// `zip` writes when fed from standard input) fails and is closed: it never passes as an archive
// that simply has fewer entries.
TEST_F(Extract, ArchiveThatCannotBeListedToTheEndFails633And705) {
    std::string damaged = BuildArchive({StoredEntry("a.txt", "a"), StoredEntry("b.txt", "b"),
                                        StoredEntry("c.txt", "c"), StoredEntry("d.txt", "d")});
    size_t third = damaged.find("PK\x01\x02");
    for (int i = 0; i < 2; ++i) third = damaged.find("PK\x01\x02", third + 1);
    ASSERT_NE(third, std::string::npos);
    damaged[third + 2] = 'X';
    WriteFile(dir / "damaged.zip", damaged);
    const fs::path zip64 = dir / "zip64.zip";
    ASSERT_EQ(std::system(
                  ("printf 'from standard input' | zip -q - - > '" + zip64.string() + "'").c_str()),
              0);
    for (const fs::path& zip : {dir / "damaged.zip", zip64}) {
        SCOPED_TRACE(zip.filename());
        EXPECT_EQ(TotalFailure(zip), 633);
        EXPECT_EQ(UnzipFailure(zip), 705);
        HANDLE exclusive =
            CreateFileW(Path(zip), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(exclusive, INVALID_HANDLE_VALUE) << "the archive was left open";
        CloseHandle(exclusive);
    }
}

TEST_F(Extract, FileEntryWithoutItsFolderFails705) {
    MakeZip(dir / "flat.zip", {{"nofolder/a.bin", "a"}});
    EXPECT_EQ(UnzipFailure(dir / "flat.zip"), 705);
}

TEST_F(Extract, ArchiveThatCannotBeOpenedFails633Or661) {
    WriteFile(dir / "plain.zip", "not an archive");
    EXPECT_EQ(TotalFailure(dir / "plain.zip"), 633);
    EXPECT_EQ(UnzipFailure(dir / "plain.zip"), 661);
    CString expected;
    expected.LoadString(IDS_ERR_DOWNLOAD);
    EXPECT_FALSE(expected.IsEmpty());
    EXPECT_TRUE(g_strError == expected);
}

TEST_F(Extract, ExistingReadOnlyFileIsReplaced) {
    WriteFile(dir / "out" / "a.txt", "old");
    SetFileAttributesW(Path(dir / "out" / "a.txt"), FILE_ATTRIBUTE_READONLY);
    MakeZip(dir / "a.zip", {{"a.txt", "new"}});
    EXPECT_EQ(UnzipFailure(dir / "a.zip"), 0);
    EXPECT_EQ(ReadFile(dir / "out" / "a.txt"), "new");
    EXPECT_EQ(GetFileAttributesW(Path(dir / "out" / "a.txt")) & FILE_ATTRIBUTE_READONLY, 0u);
}

}  // namespace
}  // namespace engine_test
