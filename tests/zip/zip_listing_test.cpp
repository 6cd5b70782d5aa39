// Opening archives and reading their entry records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/kernel_file.h"
#include "tests/zip/archive_builder.h"
#include "tests/zip/zip_test_folder.h"

namespace {

EndRecordFields Commented(size_t length) {
    EndRecordFields end;
    end.comment = std::string(length, 'c');
    return end;
}

class ZipListing : public ZipTestFolder {
protected:
    ZipEntry Entry(HZIP zip, int index) {
        ZipEntry entry{};
        EXPECT_EQ(GetZipItem(zip, index, &entry), ZR_OK) << "index " << index;
        return entry;
    }

    static std::wstring W(const std::string& text) {
        return std::wstring(text.begin(), text.end());
    }

    // Expects OpenZip to fail on the file with the given last error.
    void ExpectOpenFails(const std::string& name, DWORD expected) {
        HZIP zip = Open(name);
        EXPECT_EQ(zip, nullptr) << name;
        if (zip != nullptr) CloseZip(zip);
        EXPECT_EQ(g_zipLastError, expected) << name;
    }
};

TEST_F(ZipListing, ReadsNamesSizesAttributesAndTimesOfZipCommandArchive) {
    WriteBytes("tree/docs/readme.txt", MixedContent(3000, 1));
    WriteBytes("tree/readonly.bin", MixedContent(500, 2));
    WriteBytes("tree/docs/deep/big.bin", MixedContent(100000, 3));
    Shell("chmod 0444 tree/readonly.bin && touch -m -d @1700000001 tree/docs/readme.txt");
    // Folders given without -r are added as entries of their own, in the order given.
    Shell(
        "cd tree && zip -q ../made.zip docs/ docs/readme.txt docs/deep/ docs/deep/big.bin "
        "readonly.bin && zip -q -0 ../stored.zip readonly.bin");

    HZIP zip = Open("made.zip");
    ASSERT_NE(zip, nullptr) << std::hex << g_zipLastError;
    ZipEntry count = Entry(zip, -1);
    EXPECT_EQ(count.index, 5);
    EXPECT_EQ(count.name[0], L'\0');
    EXPECT_EQ(count.uncSize, 0);

    std::vector<std::wstring> names;
    for (int i = 0; i < count.index; ++i) names.push_back(Entry(zip, i).name);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"docs/", L"docs/readme.txt", L"docs/deep/",
                                                L"docs/deep/big.bin", L"readonly.bin"}));

    EXPECT_EQ(Entry(zip, 0).attr, 0x90u);
    const ZipEntry readme = Entry(zip, 1);
    EXPECT_EQ(readme.attr, 0x80u);
    EXPECT_EQ(readme.uncSize, 3000);
    EXPECT_LT(readme.compSize, readme.uncSize);
    // An odd second: from the "UT" block, as DOS times have two-second steps.
    EXPECT_EQ(UnixSeconds(readme.mtime), 1700000001);
    EXPECT_EQ(Entry(zip, 3).uncSize, 100000);
    EXPECT_EQ(Entry(zip, 4).attr, 0x81u);
    EXPECT_EQ(CloseZip(zip), ZR_OK);

    HZIP stored = Open("stored.zip");
    ASSERT_NE(stored, nullptr);
    const ZipEntry plain = Entry(stored, 0);
    EXPECT_EQ(plain.compSize, 500);
    EXPECT_EQ(plain.uncSize, 500);
    CloseZip(stored);
}

TEST_F(ZipListing, ReadsPythonArchiveWithDosTimesAndDataDescriptor) {
    Python(R"(
class Unseekable:
    def __init__(self, raw): self.raw = raw
    def write(self, b): return self.raw.write(b)
    def flush(self): self.raw.flush()
with zipfile.ZipFile('py.zip', 'w') as z:
    z.writestr(zipfile.ZipInfo('stored.txt', (2024, 5, 6, 7, 8, 10)), b'a' * 1000)
    info = zipfile.ZipInfo('dir/deflated.txt', (1999, 12, 31, 23, 59, 58))
    info.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(info, b'hello zip ' * 500)
with open('stream.zip', 'wb') as raw:
    with zipfile.ZipFile(Unseekable(raw), 'w', zipfile.ZIP_DEFLATED) as z:
        with z.open('streamed.bin', 'w') as f:
            f.write(bytes(range(250)) * 80)
)");
    HZIP zip = Open("py.zip");
    ASSERT_NE(zip, nullptr) << std::hex << g_zipLastError;
    const ZipEntry stored = Entry(zip, 0);
    EXPECT_STREQ(stored.name, L"stored.txt");
    EXPECT_EQ(stored.compSize, 1000);
    // DOS times are taken as UTC: 2024-05-06 07:08:10 and 1999-12-31 23:59:58.
    EXPECT_EQ(UnixSeconds(stored.mtime), 1714979290);
    EXPECT_EQ(UnixSeconds(stored.ctime), 1714979290);
    const ZipEntry deflated = Entry(zip, 1);
    EXPECT_STREQ(deflated.name, L"dir/deflated.txt");
    EXPECT_EQ(deflated.uncSize, 5000);
    EXPECT_EQ(UnixSeconds(deflated.atime), 946684798);
    CloseZip(zip);

    HZIP streamed = Open("stream.zip");
    ASSERT_NE(streamed, nullptr) << std::hex << g_zipLastError;
    const ZipEntry entry = Entry(streamed, 0);
    EXPECT_EQ(entry.uncSize, 20000);  // from the central directory; the local header holds 0
    EXPECT_GT(entry.compSize, 0);
    ASSERT_EQ(UnzipItem(streamed, 0, WidePath("streamed.bin").c_str(), nullptr), ZR_OK);
    std::string expected;
    for (int i = 0; i < 80; ++i) {
        for (int b = 0; b < 250; ++b) expected.push_back(static_cast<char>(b));
    }
    EXPECT_EQ(ReadBytes("streamed.bin"), expected);
    CloseZip(streamed);
}

TEST_F(ZipListing, FindsArchiveBehindStubAndBeforeComment) {
    const std::string archive =
        BuildArchive({StoredEntry("one.txt", "1"), DeflatedEntry("two.txt", MixedContent(5000, 4))},
                     Commented(2000));
    WriteBytes("stub.zip", std::string(1000, '\x90') + archive);
    HZIP zip = Open("stub.zip");
    ASSERT_NE(zip, nullptr) << std::hex << g_zipLastError;
    EXPECT_STREQ(Entry(zip, 1).name, L"two.txt");
    EXPECT_EQ(Entry(zip, 1).uncSize, 5000);
    CloseZip(zip);

    // A comment longer than the search reaches hides the end record.
    WriteBytes("hidden.zip", BuildArchive({StoredEntry("a", "a")}, Commented(65520)));
    // The end fields are then read from offset 0, where the version of the first local header
    // sits in the disk field.
    ExpectOpenFails("hidden.zip", 0xFFFFFF99);
}

TEST_F(ZipListing, OpensSingleDiskArchivesOnly) {
    const std::vector<BuiltEntry> entries{StoredEntry("a", "a")};
    EndRecordFields disk, directoryDisk, counts;
    disk.disk = 1;
    directoryDisk.directoryDisk = 2;
    counts.entriesHere = 1;
    counts.entriesTotal = 2;
    WriteBytes("disk.zip", BuildArchive(entries, disk));
    WriteBytes("dirdisk.zip", BuildArchive(entries, directoryDisk));
    WriteBytes("counts.zip", BuildArchive(entries, counts));
    for (const char* name : {"disk.zip", "dirdisk.zip", "counts.zip"}) {
        ExpectOpenFails(name, 0xFFFFFF99);
    }
    for (int size = 0; size <= 4; ++size) {
        WriteBytes("tiny.zip", std::string(static_cast<size_t>(size), 'P'));
        ExpectOpenFails("tiny.zip", 0xFFFFFFFF);
    }
    // The directory claims to end past the end record.
    std::string overlapping = BuildArchive(entries);
    overlapping[overlapping.size() - 6] = 0x7F;
    WriteBytes("overlap.zip", overlapping);
    ExpectOpenFails("overlap.zip", 0xFFFFFF99);

    // An archive without entries is its end record alone, at offset 0.
    WriteBytes("empty.zip", BuildArchive({}));
    HZIP empty = Open("empty.zip");
    ASSERT_NE(empty, nullptr) << std::hex << g_zipLastError;
    EXPECT_EQ(Entry(empty, -1).index, 0);
    CloseZip(empty);

    ExpectOpenFails("missing.zip", ZR_NOFILE);
    // The reader shares reading only: a writer that shares nothing keeps it out.
    WriteBytes("held.zip", BuildArchive(entries));
    HANDLE writer = CreateFileW(WidePath("held.zip").c_str(), GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ExpectOpenFails("held.zip", ZR_NOFILE);
    CloseHandle(writer);
    HZIP zip = Open("held.zip");
    EXPECT_NE(zip, nullptr);
    CloseZip(zip);
    Shell("mkdir folder.zip");
    ExpectOpenFails("folder.zip", ZR_NOFILE);
}

TEST_F(ZipListing, ChecksIndexesAndHandles) {
    std::vector<BuiltEntry> entries;
    for (int i = 0; i < 8; ++i)
        entries.push_back(
            StoredEntry("file" + std::to_string(i), std::string(static_cast<size_t>(i) * 10, 'x')));
    WriteBytes("eight.zip", BuildArchive(entries));
    HZIP zip = Open("eight.zip");
    ASSERT_NE(zip, nullptr);

    EXPECT_STREQ(Entry(zip, 5).name, L"file5");
    const ZipEntry second = Entry(zip, 2);  // the walk restarts from entry 0
    EXPECT_STREQ(second.name, L"file2");
    EXPECT_EQ(second.index, 2);
    EXPECT_EQ(second.uncSize, 20);

    ZipEntry untouched{};
    untouched.index = 1234;
    for (int index : {8, -2, 1000}) {
        EXPECT_EQ(GetZipItem(zip, index, &untouched), ZR_ARGS);
        EXPECT_EQ(g_zipLastError, ZR_ARGS);
        EXPECT_EQ(UnzipItem(zip, index, WidePath("x").c_str(), nullptr), ZR_ARGS);
    }
    EXPECT_EQ(UnzipItem(zip, -1, WidePath("x").c_str(), nullptr), ZR_ARGS);
    EXPECT_EQ(untouched.index, 1234);

    ZipHandle wrongKind{2, nullptr};
    EXPECT_EQ(GetZipItem(&wrongKind, 0, &untouched), ZR_BADHANDLE);
    EXPECT_EQ(UnzipItem(&wrongKind, 0, L"x", nullptr), ZR_BADHANDLE);
    EXPECT_EQ(CloseZip(&wrongKind), ZR_BADHANDLE);
    EXPECT_EQ(GetZipItem(nullptr, 0, &untouched), ZR_ARGS);
    EXPECT_EQ(UnzipItem(nullptr, 0, L"x", nullptr), ZR_ARGS);
    EXPECT_EQ(CloseZip(nullptr), ZR_ARGS);
    EXPECT_EQ(CloseZip(zip), ZR_OK);
}

TEST_F(ZipListing, DamagedHeadersFailFromTheirEntryOn) {
    BuiltEntry renamed = StoredEntry("second", "2");
    renamed.localNameLength = 5;
    BuiltEntry descriptor = DeflatedEntry("streamed", MixedContent(900, 5));
    descriptor.flags = 0x0008;
    descriptor.zeroLocalSizes = true;
    BuiltEntry wrongSize = StoredEntry("fourth", "4444");
    wrongSize.zeroLocalSizes = true;  // without flag bit 3 the local sizes must agree
    WriteBytes("bad.zip",
               BuildArchive({StoredEntry("first", "1"), renamed, descriptor, wrongSize}));
    HZIP zip = Open("bad.zip");
    ASSERT_NE(zip, nullptr);
    ZipEntry entry{};
    EXPECT_EQ(GetZipItem(zip, 0, &entry), ZR_OK);
    EXPECT_EQ(GetZipItem(zip, 1, &entry), ZR_CORRUPT);
    EXPECT_EQ(GetZipItem(zip, 2, &entry), ZR_OK);
    EXPECT_EQ(entry.uncSize, 900);
    EXPECT_EQ(GetZipItem(zip, 3, &entry), ZR_CORRUPT);
    EXPECT_EQ(UnzipItem(zip, 1, WidePath("out").c_str(), nullptr), ZR_CORRUPT);
    CloseZip(zip);

    // A central header whose signature is gone ends the walk there.
    std::string archive = BuildArchive({StoredEntry("a", "a"), StoredEntry("b", "b")});
    archive[archive.find("PK\x01\x02", archive.find("PK\x01\x02") + 1)] = 'X';
    WriteBytes("walk.zip", archive);
    zip = Open("walk.zip");
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(GetZipItem(zip, 1, &entry), ZR_CORRUPT);
    EXPECT_EQ(GetZipItem(zip, 0, &entry), ZR_OK);
    CloseZip(zip);
}

TEST_F(ZipListing, TakesOnlyTheTimesTheBlockHolds) {
    const int64_t dos = 1744027200;  // 2025-04-07 12:00:00, the builder's DOS time
    BuiltEntry modifiedOnly = StoredEntry("m", "");
    modifiedOnly.localExtra = std::string("xx\x02\x00yy", 6) + TimestampBlock(1, {1600000000});
    BuiltEntry all = StoredEntry("all", "");
    all.localExtra = TimestampBlock(7, {1600000000, 1600000100, -86400});
    BuiltEntry shortBlock = StoredEntry("short", "");
    shortBlock.localExtra = TimestampBlock(7, {1600000000});  // announces three, holds one
    BuiltEntry fourBytes = StoredEntry("four", "");
    fourBytes.localExtra = std::string("UT\x00\x00", 4);
    WriteBytes("times.zip", BuildArchive({modifiedOnly, all, shortBlock, fourBytes}));
    HZIP zip = Open("times.zip");
    ASSERT_NE(zip, nullptr);

    ZipEntry e = Entry(zip, 0);
    EXPECT_EQ(UnixSeconds(e.mtime), 1600000000);
    EXPECT_EQ(UnixSeconds(e.atime), dos);
    EXPECT_EQ(UnixSeconds(e.ctime), dos);
    e = Entry(zip, 1);
    EXPECT_EQ(UnixSeconds(e.atime), 1600000100);
    EXPECT_EQ(UnixSeconds(e.ctime), -86400);  // before 1970 is a time like any other
    e = Entry(zip, 2);
    EXPECT_EQ(UnixSeconds(e.mtime), 1600000000);
    EXPECT_EQ(UnixSeconds(e.atime), dos);
    EXPECT_EQ(UnixSeconds(Entry(zip, 3).mtime), dos);
    CloseZip(zip);
}

TEST_F(ZipListing, KeepsLongNamesInsideTheRecord) {
    const std::string name258(258, 'n');
    const std::string name300 = std::string(290, 'l') + "/tail.txt";
    WriteBytes("long.zip", BuildArchive({StoredEntry(name258, "a"), StoredEntry(name300, "b"),
                                         StoredEntry("\xD0\x9F\xD0\xB0\xD0\xBA.vh\xFF", "c")}));
    HZIP zip = Open("long.zip");
    ASSERT_NE(zip, nullptr);
    ZipEntry entry;
    std::fill(std::begin(entry.name), std::end(entry.name), L'#');
    ASSERT_EQ(GetZipItem(zip, 0, &entry), ZR_OK);
    EXPECT_EQ(std::wstring(entry.name), W(name258));

    std::fill(std::begin(entry.name), std::end(entry.name), L'#');
    ASSERT_EQ(GetZipItem(zip, 1, &entry), ZR_OK);
    EXPECT_EQ(entry.name[ZIP_NAME_CHARS - 1], L'\0');
    EXPECT_EQ(std::wstring(entry.name), W(name300.substr(0, 259)));
    // Extracting under the cut name would write another file than the archive names.
    EXPECT_EQ(UnzipItem(zip, 1, WidePath("out").c_str(), nullptr), ZR_CORRUPT);

    // Names are UTF-8; a stray byte keeps its value instead of failing the entry.
    ASSERT_EQ(GetZipItem(zip, 2, &entry), ZR_OK);
    EXPECT_EQ(std::wstring(entry.name), L"\u041F\u0430\u043A.vh\xDCFF");
    CloseZip(zip);
}

}  // namespace
