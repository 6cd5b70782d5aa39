// The sampled pack checksum: its value is part of the server protocol.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "tests/engine/launcher_folder.h"
#include "update/packs.h"

namespace engine_test {
namespace {

constexpr std::size_t kMiB = 1024 * 1024;

class SampledChecksum : public ::testing::Test {
protected:
    void SetUp() override { dir = MakeTempFolder("varnholt-checksum"); }
    void TearDown() override { fs::remove_all(dir); }

    fs::path dir;
};

struct Progress {
    static inline std::uint64_t total = 0;
    static inline int calls = 0;
    static inline int stopAfter = -1;
    static void Reset() { total = 0, calls = 0, stopAfter = -1; }
    static void Callback(DWORD bytes, BOOL* stop) {
        total += bytes;
        ++calls;
        if (calls == stopAfter) *stop = TRUE;
    }
};

DWORD Checksum(const fs::path& path, DWORD chunk = 0, PROGRESS_CALLBACK progress = nullptr) {
    DWORD value = 0;
    CalcFileChecksum(Utf8ToWide(path.string()).c_str(), &value, progress, chunk);
    return value;
}

TEST_F(SampledChecksum, StartsFromZeroNotFromOne) {
    WriteFile(dir / "abc", "abc");
    EXPECT_EQ(Checksum(dir / "abc"), 0x024A0126u);
    WriteFile(dir / "empty", "");
    Progress::Reset();
    EXPECT_EQ(Checksum(dir / "empty", 0, Progress::Callback), 0u);
    EXPECT_EQ(Progress::calls, 0);
}

TEST_F(SampledChecksum, HashesTheFirstMiBOfEvery16MiBWhateverTheChunk) {
    std::string bytes(17 * kMiB + 10, '\0');
    std::mt19937 random(7);
    for (char& c : bytes) c = static_cast<char>(random());
    WriteFile(dir / "pack", bytes);
    const auto* data = reinterpret_cast<const Bytef*>(bytes.data());
    uLong expected = adler32(0, data, kMiB);
    expected = adler32(expected, data + 16 * kMiB, kMiB);

    for (DWORD chunk : {512u, 4096u, 3000u, 2u * 1024 * 1024, 0u}) {
        SCOPED_TRACE(chunk);
        Progress::Reset();
        EXPECT_EQ(Checksum(dir / "pack", chunk, Progress::Callback), expected);
        // Skipped stretches count as done, so the steps add up to the file's length.
        EXPECT_EQ(Progress::total, bytes.size());
    }
    // Changing a byte in a skipped stretch or in the last 10 bytes leaves the value alone.
    bytes[2 * kMiB] ^= 1;
    bytes[17 * kMiB + 5] ^= 1;
    WriteFile(dir / "pack", bytes);
    EXPECT_EQ(Checksum(dir / "pack"), expected);
    bytes[16 * kMiB + 3] ^= 1;
    WriteFile(dir / "pack", bytes);
    EXPECT_NE(Checksum(dir / "pack"), expected);
}

TEST_F(SampledChecksum, ExactlyOneSampleLongFileIsHashedWhole) {
    std::string bytes(kMiB, 'v');
    WriteFile(dir / "pack", bytes);
    Progress::Reset();
    EXPECT_EQ(Checksum(dir / "pack", 4096, Progress::Callback),
              adler32(0, reinterpret_cast<const Bytef*>(bytes.data()), kMiB));
    EXPECT_EQ(Progress::total, kMiB);
}

TEST_F(SampledChecksum, StopFromTheCallbackEndsTheReadEarly) {
    WriteFile(dir / "pack", std::string(kMiB, 'v'));
    Progress::Reset();
    Progress::stopAfter = 2;
    Checksum(dir / "pack", 4096, Progress::Callback);
    EXPECT_EQ(Progress::calls, 2);
    EXPECT_EQ(Progress::total, 8192u);
}

}  // namespace
}  // namespace engine_test
