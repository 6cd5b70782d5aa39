#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "tests/support/reply_table.h"
#include "tests/support/swarm/delta_file.h"
#include "tests/support/swarm/pack_checksum.h"
#include "tests/support/swarm/pack_names.h"
#include "tests/support/swarm/run_program.h"
#include "tests/swarm/release_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace swarm;
using namespace swarm_test;

// The message of the ReleaseError that making the release throws, or "" when it succeeds.
std::string RefusalOf(const std::vector<fs::path>& versions, const fs::path& release) {
    try {
        MakeRelease(versions, release);
    } catch (const ReleaseError& error) {
        return error.what();
    }
    return "";
}

void FlipByte(const fs::path& file, std::streamoff offset) {
    std::fstream stream(file, std::ios::binary | std::ios::in | std::ios::out);
    stream.seekg(offset);
    const char byte = static_cast<char>(stream.get() ^ 0xFF);
    stream.seekp(offset);
    stream.put(byte);
    ASSERT_TRUE(stream.good()) << file;
}

class ReleaseInputTest : public testing::Test {
protected:
    void SetUp() override {
        spec.changingPacks = {1};
        WriteGameVersion(spec, 1, Version(1));
    }
    fs::path Version(int n) const { return folder.Path() / ("v" + std::to_string(n)); }

    TempFolder folder;
    GameSpec spec = SmallGame();
};

TEST_F(ReleaseInputTest, RefusesAChangeThatTheSampledChecksumCannotSee) {
    fs::copy(Version(1), Version(2));
    // Pack 0 is the largest (3 MiB); its bytes from 1 MiB to 16 MiB are not sampled.
    const fs::path pack = Version(2) / PackFileName(0);
    ASSERT_GT(fs::file_size(pack), 2u << 20);
    FlipByte(pack, 3 << 19);
    ASSERT_EQ(PackChecksum(pack), PackChecksum(Version(1) / PackFileName(0)));

    const std::string refusal = RefusalOf({Version(1), Version(2)}, folder.Path() / "release");
    EXPECT_NE(refusal.find(PackFileName(0)), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("same sampled checksum"), std::string::npos) << refusal;
    EXPECT_FALSE(fs::exists(folder.Path() / "release"));
}

TEST_F(ReleaseInputTest, RefusesFoldersThatAreNoVersionOfTheGame) {
    EXPECT_NE(RefusalOf({folder.Path() / "nowhere", Version(1)}, folder.Path() / "r1"), "");

    fs::copy(Version(1), Version(2));
    std::ofstream(Version(2) / "maps.vh") << "not a pack";
    const std::string outside = RefusalOf({Version(1), Version(2)}, folder.Path() / "r2");
    EXPECT_NE(outside.find("\"maps\" is not a pack of the pack table"), std::string::npos)
        << outside;

    fs::remove(Version(2) / "maps.vh");
    fs::remove(Version(2) / PackFileName(20));
    const std::string lacking = RefusalOf({Version(1), Version(2)}, folder.Path() / "r3");
    EXPECT_NE(lacking.find("lacks the pack " + PackFileName(20)), std::string::npos) << lacking;

    fs::create_directories(folder.Path() / "used");
    std::ofstream(folder.Path() / "used" / "old.txt") << "an earlier release";
    EXPECT_NE(RefusalOf({Version(1)}, folder.Path() / "used"), "");
}

TEST_F(ReleaseInputTest, FailedRunLeavesNoReleaseFolderBehind) {
    WriteGameVersion(spec, 2, Version(2));
    // A zip that fails, found first in the search path.
    const fs::path tools = folder.Path() / "tools";
    fs::create_directories(tools);
    std::ofstream(tools / "zip") << "#!/bin/sh\nexit 12\n";
    fs::permissions(tools / "zip", fs::perms::owner_all);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (tools.string() + ":" + path).c_str(), 1);
    EXPECT_THROW(MakeRelease({Version(1), Version(2)}, folder.Path() / "release"),
                 std::runtime_error);
    setenv("PATH", path.c_str(), 1);
    EXPECT_FALSE(fs::exists(folder.Path() / "release"));
    EXPECT_FALSE(fs::exists(folder.Path() / "release.partial"));
}

TEST_F(ReleaseInputTest, RewrittenShareSetsHowMuchOfAPackAnUpdateChanges) {
    spec.changingPacks = {0};
    spec.rewrittenShare = 0.1;
    WriteGamePack(spec, 1, 0, folder.Path() / "old.vh");
    WriteGamePack(spec, 2, 0, folder.Path() / "new.vh");
    MakeDeltaFile(folder.Path() / "old.vh", folder.Path() / "new.vh", folder.Path() / "delta");
    const double size = static_cast<double>(fs::file_size(folder.Path() / "new.vh"));
    const auto delta = static_cast<double>(fs::file_size(folder.Path() / "delta"));
    EXPECT_GT(delta, 0.09 * size);
    EXPECT_LT(delta, 0.15 * size);
}

TEST_F(ReleaseInputTest, ChainOfVersionsPatchesOneStepAtATime) {
    WriteGameVersion(spec, 2, Version(2));
    WriteGameVersion(spec, 3, Version(3));
    const Release release =
        MakeRelease({Version(1), Version(2), Version(3)}, folder.Path() / "release");
    varnholt::test::ReplyTable table;
    table.LoadReleaseFile(release.folder);

    const std::string name = PackName(1);
    fs::path current = Version(1) / PackFileName(1);
    for (int step = 1; step <= 2; ++step) {
        const std::string checksum = ChecksumText(PackChecksum(current));
        const std::string stem = name + "." + checksum;
        EXPECT_EQ(table.Find("info.php?Pack;" + name + ";" + checksum)->body, "UPDATE!");
        RunProgram({"unzip", "-q", "-o", (release.PatchFolder() / (stem + ".zip")).string(), "-d",
                    folder.Path().string()});
        const fs::path next = folder.Path() / ("step" + std::to_string(step));
        RunProgram({"xdelta3", "-d", "-f", "-s", current.string(),
                    (folder.Path() / (stem + ".patch")).string(), next.string()});
        EXPECT_EQ(ReadFile(next), ReadFile(Version(step + 1) / PackFileName(1))) << stem;
        current = next;
    }
    EXPECT_EQ(table.Find("info.php?Pack;" + name + ";" + ChecksumText(PackChecksum(current)))->body,
              "ACTUAL!");
    // A pack that never changed has only its whole archive.
    EXPECT_EQ(release.torrentFiles.size(), 2u + kPackTotal);
}

}  // namespace
