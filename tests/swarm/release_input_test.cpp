#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "tests/support/reply_table.h"
#include "tests/support/swarm/delta_check.h"
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

// Puts programs of the test's own ahead of the real ones in the search path while it lives. The
// real ones stay reachable through the rest of the path after its first folder.
class FakeTools {
public:
    explicit FakeTools(const fs::path& folder) : m_folder(folder), m_path(std::getenv("PATH")) {
        fs::create_directories(folder);
        setenv("PATH", (folder.string() + ":" + m_path).c_str(), 1);
    }
    ~FakeTools() { setenv("PATH", m_path.c_str(), 1); }
    FakeTools(const FakeTools&) = delete;
    FakeTools& operator=(const FakeTools&) = delete;

    void Add(const std::string& name, const std::string& script) {
        std::ofstream(m_folder / name) << "#!/bin/sh\n" << script;
        fs::permissions(m_folder / name, fs::perms::owner_all);
    }

private:
    fs::path m_folder;
    std::string m_path;
};

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
    {
        FakeTools tools(folder.Path() / "tools");
        tools.Add("zip", "exit 12\n");
        EXPECT_THROW(MakeRelease({Version(1), Version(2)}, folder.Path() / "release"),
                     std::runtime_error);
    }
    EXPECT_FALSE(fs::exists(folder.Path() / "release"));
    EXPECT_FALSE(fs::exists(folder.Path() / "release.partial"));
}

TEST_F(ReleaseInputTest, RefusesADeltaDamagedBeforeItIsPublished) {
    // Two deltas, the later one damaged: every delta is checked, not only the first.
    spec.changingPacks = {1, 6};
    WriteGameVersion(spec, 2, Version(2));
    // A delta to a third state of pack 6 (3 MiB) that the sampled checksum cannot tell from the
    // new one.
    const fs::path newPack = Version(2) / PackFileName(6);
    const fs::path thirdState = folder.Path() / "third.vh";
    fs::copy_file(newPack, thirdState);
    ASSERT_NO_FATAL_FAILURE(FlipByte(thirdState, 3 << 19));
    ASSERT_EQ(PackChecksum(thirdState), PackChecksum(newPack));
    const fs::path damaged = folder.Path() / "damaged.patch";
    MakeDeltaFile(Version(1) / PackFileName(6), thirdState, damaged);
    {
        FakeTools tools(folder.Path() / "tools");
        // The real xdelta3; then the damaged delta in place of the one it wrote for pack 6.
        const std::string replaceDelta = "case \"$delta\" in */" + PackName(6) + ".*) cp " +
                                         damaged.string() + " \"$delta\";; esac\n";
        tools.Add("xdelta3",
                  "PATH=${PATH#*:} xdelta3 \"$@\" || exit\nfor delta; do :; done\n" + replaceDelta);
        const std::string refusal = RefusalOf({Version(1), Version(2)}, folder.Path() / "release");
        EXPECT_NE(refusal.find(newPack.string()), std::string::npos) << refusal;
        EXPECT_NE(refusal.find("from offset " + std::to_string(3 << 19)), std::string::npos)
            << refusal;
    }
    EXPECT_FALSE(fs::exists(folder.Path() / "release"));
    EXPECT_FALSE(fs::exists(folder.Path() / "release.partial"));
}

TEST_F(ReleaseInputTest, DeltaCheckWantsEveryByteOfTheNewPack) {
    const fs::path oldPack = Version(1) / PackFileName(1);
    const fs::path newPack = folder.Path() / "new.vh";
    const fs::path delta = folder.Path() / "delta";
    WriteGamePack(spec, 2, 1, newPack);
    MakeDeltaFile(oldPack, newPack, delta);
    EXPECT_NO_THROW(CheckDeltaFile(oldPack, delta, newPack));
    // A delta that stops early, at the end of a window, decodes without complaint.
    std::ofstream(newPack, std::ios::app) << 'x';
    EXPECT_THROW(CheckDeltaFile(oldPack, delta, newPack), ReleaseError);
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
