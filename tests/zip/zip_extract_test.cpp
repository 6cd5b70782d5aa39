// Extracting entries: data, progress calls, cancel, damaged data, target paths and folders.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/fault_hook.h"
#include "tests/zip/archive_builder.h"
#include "tests/zip/zip_test_folder.h"

namespace {

bool g_failInflateInit = false;
std::vector<int> g_calls;
int g_cancelAtCall = -1;

void RecordCall(int bytes, int* cancel) {
    g_calls.push_back(bytes);
    if (static_cast<int>(g_calls.size()) == g_cancelAtCall) *cancel = 1;
}

}  // namespace

// The reader's inflate set-up goes through here (linked with --wrap), so a test can make it fail.
extern "C" int __real_inflateInit2_(z_streamp stream, int windowBits, const char* version,
                                    int size);
extern "C" int __wrap_inflateInit2_(z_streamp stream, int windowBits, const char* version,
                                    int size) {
    if (g_failInflateInit) return Z_MEM_ERROR;
    return __real_inflateInit2_(stream, windowBits, version, size);
}

namespace {

namespace fs = std::filesystem;

class ZipExtract : public ZipTestFolder {
protected:
    void SetUp() override {
        ZipTestFolder::SetUp();
        g_calls.clear();
        g_cancelAtCall = -1;
        g_failInflateInit = false;
    }

    // Opens name, extracts entry index to target and closes again.
    DWORD ExtractOne(const std::string& archive, int index, const std::wstring& target,
                     ZipProgressCallback progress = RecordCall) {
        HZIP zip = Open(archive);
        EXPECT_NE(zip, nullptr) << std::hex << g_zipLastError;
        if (zip == nullptr) return g_zipLastError;
        const DWORD result = UnzipItem(zip, index, target.c_str(), progress);
        CloseZip(zip);
        return result;
    }

    static mode_t Mode(const std::string& path) {
        struct stat st {};
        stat(path.c_str(), &st);
        return st.st_mode;
    }
};

TEST_F(ZipExtract, GeneratedArchivesExtractByteIdenticalWithTimes) {
    WriteBytes("tree/big.bin", MixedContent(300000, 7));
    WriteBytes("tree/small.txt", "small");
    WriteBytes("tree/empty", "");
    Shell("touch -m -d @1650000000 tree/big.bin tree/small.txt tree/empty");
    Shell(
        "cd tree && zip -q -X ../deflated.zip big.bin small.txt empty && "
        "zip -q -0 ../stored.zip big.bin small.txt empty");
    Python(
        "with zipfile.ZipFile('py.zip', 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    for n in ['big.bin', 'small.txt', 'empty']: z.write('tree/' + n, n)\n");
    for (const char* archive : {"deflated.zip", "stored.zip", "py.zip"}) {
        HZIP zip = Open(archive);
        ASSERT_NE(zip, nullptr) << archive;
        for (int i = 0; i < 3; ++i) {
            ZipEntry entry{};
            ASSERT_EQ(GetZipItem(zip, i, &entry), ZR_OK);
            const std::string name(entry.name, entry.name + wcslen(entry.name));
            const std::string out = std::string("out-") + archive + "-" + name;
            g_calls.clear();
            ASSERT_EQ(UnzipItem(zip, i, WidePath(out).c_str(), RecordCall), ZR_OK) << out;
            EXPECT_EQ(ReadBytes(out), ReadBytes("tree/" + name)) << out;
            EXPECT_EQ(FileModifiedSeconds(Path(out)), UnixSeconds(entry.mtime)) << out;
            if (name == "empty") {
                EXPECT_TRUE(g_calls.empty());
            }
        }
        CloseZip(zip);
    }
}

TEST_F(ZipExtract, ReportsEachChunkBeforeWritingIt) {
    const std::string content = MixedContent(40000, 8);
    WriteBytes("chunks.zip",
               BuildArchive({StoredEntry("s", content), DeflatedEntry("d", content)}));
    for (int index : {0, 1}) {
        g_calls.clear();
        ASSERT_EQ(ExtractOne("chunks.zip", index, WidePath("out")), ZR_OK);
        EXPECT_EQ(g_calls, (std::vector<int>{16384, 16384, 7232}));
        EXPECT_EQ(ReadBytes("out"), content);
        EXPECT_EQ(FileModifiedSeconds(Path("out")), 1744027200);

        g_calls.clear();
        g_cancelAtCall = 1;
        EXPECT_EQ(ExtractOne("chunks.zip", index, WidePath("cancelled")), ZR_ABORT);
        EXPECT_EQ(g_calls.size(), 1u);
        EXPECT_TRUE(fs::exists(Path("cancelled")));
        EXPECT_EQ(ReadBytes("cancelled"), "");
        EXPECT_NE(FileModifiedSeconds(Path("cancelled")), 1744027200);
        g_cancelAtCall = -1;
    }
    // Highly compressible data: the last input bytes are taken in long before the output ends.
    const std::string zeros(200000, '\0');
    WriteBytes("zeros.zip", BuildArchive({DeflatedEntry("z", zeros)}));
    ASSERT_EQ(ExtractOne("zeros.zip", 0, WidePath("zeros"), nullptr), ZR_OK);
    EXPECT_EQ(ReadBytes("zeros"), zeros);
}

TEST_F(ZipExtract, DamagedDataIsNeverReportedAsSuccess) {
    const std::string content = MixedContent(50000, 9);
    BuiltEntry badStream = DeflatedEntry("bad-stream", content);
    badStream.data.replace(0, 1, "\xFF");  // reserved block type
    BuiltEntry cutStream = DeflatedEntry("cut-stream", content);
    cutStream.data.resize(cutStream.data.size() / 2);
    cutStream.compressedSize = static_cast<uint32_t>(cutStream.data.size());
    BuiltEntry shortStored = StoredEntry("short-stored", content);
    shortStored.data.resize(1000);
    shortStored.compressedSize = 1000;
    BuiltEntry storedCrc = StoredEntry("stored-crc", content);
    storedCrc.crc ^= 1;
    BuiltEntry deflatedCrc = DeflatedEntry("deflated-crc", content);
    deflatedCrc.crc ^= 0x80000000;
    BuiltEntry endsEarly = DeflatedEntry("ends-early", content);
    endsEarly.uncompressedSize += 10;  // the stream ends before the size is reached
    BuiltEntry unknownMethod = StoredEntry("method-12", content);
    unknownMethod.method = 12;
    WriteBytes("damaged.zip",
               BuildArchive({badStream, cutStream, shortStored, storedCrc, deflatedCrc, endsEarly,
                             unknownMethod, DeflatedEntry("good", content)}));
    for (int index = 0; index < 7; ++index) {
        const DWORD result = ExtractOne("damaged.zip", index, WidePath("out"), nullptr);
        EXPECT_NE(result, ZR_OK) << "entry " << index;
        EXPECT_NE(result, ZR_ABORT) << "entry " << index;
        EXPECT_NE(FileModifiedSeconds(Path("out")), 1744027200) << "entry " << index;
    }
    g_failInflateInit = true;
    EXPECT_EQ(ExtractOne("damaged.zip", 7, WidePath("out"), nullptr), ZR_WRITE);
    g_failInflateInit = false;
    EXPECT_EQ(ExtractOne("damaged.zip", 7, WidePath("out"), nullptr), ZR_OK);
}

TEST_F(ZipExtract, FailedReadsAndWritesAreFailures) {
    const std::string content = MixedContent(40000, 11);
    WriteBytes("io.zip", BuildArchive({DeflatedEntry("d", content)}));
    HZIP zip = Open("io.zip");
    ASSERT_NE(zip, nullptr);
    ZipEntry entry{};
    ASSERT_EQ(GetZipItem(zip, 0, &entry), ZR_OK);  // headers read before the fault
    for (FileOperation failing : {FileOperation::Write, FileOperation::Read}) {
        SetFaultHook([failing](FileOperation operation, const CString&) {
            return operation == failing ? EIO : 0;
        });
        EXPECT_EQ(UnzipItem(zip, 0, WidePath("out").c_str(), nullptr), ZR_WRITE);
        ClearFaultHook();
        EXPECT_TRUE(fs::exists(Path("out")));
        EXPECT_NE(FileModifiedSeconds(Path("out")), 1744027200);
    }
    EXPECT_EQ(UnzipItem(zip, 0, WidePath("out").c_str(), nullptr), ZR_OK);
    EXPECT_EQ(ReadBytes("out"), content);
    CloseZip(zip);
}

TEST_F(ZipExtract, MakesFoldersOnlyBelowTheOpeningFolder) {
    BuiltEntry folder = StoredEntry("x/y/", "");
    folder.externalAttributes = 0x41ED0010;
    BuiltEntry escape = folder;
    escape.name = "../escaped/";
    BuiltEntry absolute = folder;
    absolute.name = Path("absolute/");
    BuiltEntry backslashes = folder;
    backslashes.name = "w\\v\\";
    WriteBytes("tree.zip",
               BuildArchive({StoredEntry("f", "data"), folder, escape, absolute, backslashes}));
    fs::create_directory(Path("work"));
    fs::current_path(Path("work"));
    HZIP zip = Open("tree.zip");
    ASSERT_NE(zip, nullptr);

    EXPECT_EQ(UnzipItem(zip, 0, L"a/b/c.bin", nullptr), ZR_OK);
    EXPECT_TRUE(fs::is_directory(Path("work/a/b")));
    EXPECT_EQ(ReadBytes("work/a/b/c.bin"), "data");
    EXPECT_EQ(UnzipItem(zip, 0, L"m\\n\\o.bin", nullptr), ZR_OK);
    EXPECT_EQ(ReadBytes("work/m/n/o.bin"), "data");
    EXPECT_EQ(UnzipItem(zip, 1, L"unused", nullptr), ZR_OK);
    EXPECT_TRUE(fs::is_directory(Path("work/x/y")));
    EXPECT_FALSE(fs::exists(Path("work/unused")));
    EXPECT_EQ(UnzipItem(zip, 2, L"unused", nullptr), ZR_OK);
    EXPECT_EQ(UnzipItem(zip, 3, L"unused", nullptr), ZR_OK);
    EXPECT_FALSE(fs::exists(Path("escaped")));
    EXPECT_FALSE(fs::exists(Path("absolute")));
    EXPECT_EQ(UnzipItem(zip, 4, L"unused", nullptr), ZR_OK);
    EXPECT_TRUE(fs::is_directory(Path("work/w/v")));

    EXPECT_EQ(UnzipItem(zip, 0, WidePath("nowhere/file").c_str(), nullptr), ZR_NOFILE);
    EXPECT_FALSE(fs::exists(Path("nowhere")));
    EXPECT_EQ(UnzipItem(zip, 0, L"../up/file", nullptr), ZR_NOFILE);
    EXPECT_FALSE(fs::exists(Path("up")));
    EXPECT_EQ(UnzipItem(zip, 0, L"../work/file", nullptr), ZR_OK);  // its folder exists
    CloseZip(zip);
}

TEST_F(ZipExtract, KeepsReadOnlyAndExecutableModes) {
    WriteBytes("tree/tool.sh", "#!/bin/sh\n");
    WriteBytes("tree/locked.txt", "locked");
    WriteBytes("tree/plain.txt", "plain");
    Shell(
        "chmod 0755 tree/tool.sh && chmod 0444 tree/locked.txt && chmod 0644 tree/plain.txt && "
        "cd tree && zip -q ../modes.zip tool.sh locked.txt plain.txt");
    ASSERT_EQ(ExtractOne("modes.zip", 0, WidePath("tool.sh")), ZR_OK);
    EXPECT_NE(Mode(Path("tool.sh")) & S_IXUSR, 0u);
    ASSERT_EQ(ExtractOne("modes.zip", 1, WidePath("locked.txt")), ZR_OK);
    EXPECT_EQ(ReadBytes("locked.txt"), "locked");
    EXPECT_EQ(Mode(Path("locked.txt")) & S_IWUSR, 0u);
    EXPECT_EQ(Mode(Path("locked.txt")) & S_IXUSR, 0u);
    // A read-only file in the way is not replaced.
    EXPECT_EQ(ExtractOne("modes.zip", 1, WidePath("locked.txt")), ZR_NOFILE);

    // A file that is replaced takes the entry's mode, whichever way it changes.
    ASSERT_EQ(ExtractOne("modes.zip", 2, WidePath("tool.sh")), ZR_OK);
    EXPECT_EQ(Mode(Path("tool.sh")) & S_IXUSR, 0u);
    WriteBytes("was-plain", "old");
    ASSERT_EQ(ExtractOne("modes.zip", 0, WidePath("was-plain")), ZR_OK);
    EXPECT_NE(Mode(Path("was-plain")) & S_IXUSR, 0u);
    ASSERT_EQ(ExtractOne("modes.zip", 1, WidePath("was-plain")), ZR_OK);
    EXPECT_EQ(ReadBytes("was-plain"), "locked");
    EXPECT_EQ(Mode(Path("was-plain")) & (S_IWUSR | S_IXUSR), 0u);

    // Replacing needs write access, not ownership: a mode change refused to a player who does not
    // own the file keeps its mode, and a mode that stays is not set at all (a failing set shows).
    WriteBytes("shared", "old");
    Shell("chmod 0644 shared");
    int setFails = EPERM;
    SetFaultHook([&setFails](FileOperation operation, const CString&) {
        return operation == FileOperation::SetAttributes ? setFails : 0;
    });
    EXPECT_EQ(ExtractOne("modes.zip", 0, WidePath("shared")), ZR_OK);
    EXPECT_EQ(ReadBytes("shared"), "#!/bin/sh\n");
    EXPECT_EQ(Mode(Path("shared")) & 0777, 0644u);
    setFails = EIO;
    EXPECT_EQ(ExtractOne("modes.zip", 2, WidePath("shared")), ZR_OK);
    EXPECT_EQ(ReadBytes("shared"), "plain");
    EXPECT_EQ(ExtractOne("modes.zip", 0, WidePath("shared")), ZR_NOFILE);
    EXPECT_EQ(ReadBytes("shared"), "plain");
    ClearFaultHook();
}

}  // namespace
