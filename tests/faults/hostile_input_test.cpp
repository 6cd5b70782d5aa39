// Hostile input from the server side: archives whose names climb out of the scratch folder or
// whose sizes lie, oversized replies, a .torrent file that does not parse, deltas that reach past
// the old pack or overflow their window. Each is refused with its failure, nothing is written
// outside the launcher folder, the packs stay as they were and the launcher ends normally.
//
// The archives and deltas reach the engine the way a resumed update finds them: lying in the
// scratch folder with a resume record of the stage that uses them, so no swarm is needed.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "tests/faults/fault_run.h"
#include "tests/support/update_server.h"
#include "tests/vcdiff/test_delta_writer.h"
#include "tests/zip/archive_builder.h"

namespace faults {
namespace {

using engine_test::Driver;
using engine_test::LauncherFolder;
using engine_test::RunReport;
using varnholt::test::ServerReply;
using varnholt::test::UpdateServer;

const std::vector<std::pair<std::string, std::string>> kResources = {{"readme.txt", "resources\n"}};

class Hostile : public ::testing::Test {
protected:
    void SetUp() override {
        folder.AddPacks(kResources);
        before = ReadPacks(folder.Dir() / "packs");
        checksum = engine_test::SmallFileChecksum(engine_test::ReadFile(folder.Pack("scripts")));
        server.Replies().SetLauncherReply(ServerReply::Text("1"));
        server.Replies().SetUnknownPackReply(ServerReply::Text("ACTUAL!"));
        server.Replies().SetPackReply("scripts", checksum, ServerReply::Text("UPDATE!"));
    }

    // Runs the launcher to its end; every run must end by itself and leave the packs alone.
    RunReport Run() {
        server.Start();
        Driver driver(folder.Launcher(), {});
        RunReport report = ReportOf(driver.ReadToEnd(std::chrono::seconds(60)));
        EXPECT_TRUE(report.exited) << "the launcher did not end normally";
        EXPECT_EQ(ReadPacks(folder.Dir() / "packs"), before);
        for (const auto& [status, percent] : report.statuses) {
            EXPECT_GE(percent, -1) << "status " << status;
            EXPECT_LE(percent, 100) << "status " << status;
        }
        return report;
    }

    fs::path Temp(const std::string& name) const { return folder.Dir() / "temp" / name; }
    std::string Stem() const { return "scripts." + checksum; }

    LauncherFolder folder{FAULT_DRIVER};
    PackSet before;
    std::string checksum;
    UpdateServer server;
};

struct HostileArchive {
    const char* name;
    // The archive's bytes, given the stem "scripts.HEX" of the pack's delta archive.
    std::function<std::string(const std::string& stem)> build;
    int errorCode = 705;
};

std::string WithNames(const std::string& stem, const std::string& hostileName) {
    return BuildArchive({StoredEntry(stem + ".patch", "x"), StoredEntry(hostileName, "escaped")});
}

// A name that marks what a climbing entry would have written.
const std::string kEscapedName = "varnholt-fault-escaped.txt";

const std::vector<HostileArchive>& HostileArchives() {
    static const std::vector<HostileArchive> archives = {
        {"ClimbsOut",
         [](const std::string& stem) { return WithNames(stem, "../../" + kEscapedName); }},
        {"ClimbsOutWithBackslashes",
         [](const std::string& stem) { return WithNames(stem, "..\\..\\" + kEscapedName); }},
        {"ClimbsOutBehindAFolder",
         [](const std::string& stem) { return WithNames(stem, "sub/../../../" + kEscapedName); }},
        {"Absolute",
         [](const std::string& stem) { return WithNames(stem, "/tmp/" + kEscapedName); }},
        // Straight into packs/, past the move that replaces a pack whole.
        {"IntoThePacks",
         [](const std::string& stem) { return WithNames(stem, "../packs/scripts.vh"); }},
        // A few bytes that claim to be nearly 2 GiB.
        {"DeclaredHugeStored",
         [](const std::string& stem) {
             BuiltEntry entry = StoredEntry(stem + ".patch", std::string(16, 'b'));
             entry.uncompressedSize = 0x7FFFFFF0;
             return BuildArchive({entry});
         }},
        // 64 MiB of zeros in 64 KiB of deflate data, declared as 100 bytes.
        {"InflatesPastItsDeclaredSize",
         [](const std::string& stem) {
             BuiltEntry entry = DeflatedEntry(stem + ".patch", std::string(64 << 20, '\0'));
             entry.uncompressedSize = 100;
             return BuildArchive({entry});
         }},
        // Sizes whose signed 32-bit sum wraps the step's total to 0.
        {"SizesThatWrapTheTotal",
         [](const std::string& stem) {
             BuiltEntry huge = StoredEntry(stem + ".patch", "abc");
             huge.uncompressedSize = 0xFFFFFFFF;
             return BuildArchive({huge, StoredEntry("one.bin", "1")});
         }},
        {"NameLongerThanTheSystemTakes",
         [](const std::string& stem) { return WithNames(stem, std::string(300, 'n') + ".bin"); }},
        // A Unix symbolic link is extracted as a plain file holding the link's text; the delta
        // that text makes is refused by the decoder.
        {"SymbolicLink",
         [](const std::string& stem) {
             BuiltEntry link = StoredEntry(stem + ".patch", "/etc/passwd");
             link.externalAttributes = 0xA1FF0000;
             return BuildArchive({link});
         },
         833},
    };
    return archives;
}

class HostileArchiveRun : public Hostile, public ::testing::WithParamInterface<HostileArchive> {};

TEST_P(HostileArchiveRun, IsRefusedWithNothingWrittenOutsideOrInflatedPastItsSize) {
    engine_test::WriteFile(Temp(Stem() + ".zip"), GetParam().build(Stem()));
    WriteResumeRecord(folder.Dir(), kStatusExtract);

    const RunReport report = Run();

    EXPECT_EQ(report.FinalStatus(), kStatusError);
    EXPECT_EQ(report.errorCode, GetParam().errorCode);
    EXPECT_FALSE(fs::exists(folder.Dir().parent_path() / kEscapedName));
    EXPECT_FALSE(fs::exists("/tmp/" + kEscapedName));
    for (const auto& entry : fs::recursive_directory_iterator(folder.Dir() / "temp")) {
        EXPECT_FALSE(entry.is_symlink()) << entry.path();
        if (entry.is_regular_file()) {
            EXPECT_LT(entry.file_size(), 8u << 20) << entry.path() << " was inflated";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Archives, HostileArchiveRun, ::testing::ValuesIn(HostileArchives()),
                         [](const auto& param) { return std::string(param.param.name); });

// Deltas made by hand: header, one window with a source segment, the given body.
std::string OneWindowDelta(uint64_t segmentLength, uint64_t segmentPosition, uint64_t targetLength,
                           const vcdiff_test::WindowBody& body) {
    vcdiff_test::TestWindow window(vcdiff_test::kVcdSource, segmentLength, segmentPosition);
    window.targetLength = targetLength;
    window.body = body;
    return vcdiff_test::EncodeDelta(0, {window});
}

// The decoder holds each window's source segment against the old pack's size before it reads, so
// the refusal comes from the decoder (833) and no read past the end (799) is ever attempted.
TEST_F(Hostile, DeltaReachingPastTheOldPackIsRefused) {
    const uint64_t packSize = fs::file_size(folder.Pack("scripts"));
    vcdiff_test::WindowBody body;
    body.Copy(packSize + 10, 0, 0);
    engine_test::WriteFile(Temp(Stem() + ".patch"),
                           OneWindowDelta(packSize + 10, 0, packSize + 10, body));
    WriteResumeRecord(folder.Dir(), kStatusInstall);

    const RunReport report = Run();

    EXPECT_EQ(report.FinalStatus(), kStatusError);
    EXPECT_EQ(report.errorCode, 833);
    EXPECT_EQ(report.errorMessage.rfind("An error has occured during the download!", 0), 0u);
}

TEST_F(Hostile, DeltaDecodingPastItsWindowIsRefused) {
    vcdiff_test::WindowBody body;
    body.Add(std::string(64, 'w'));
    engine_test::WriteFile(Temp(Stem() + ".patch"), OneWindowDelta(4, 0, 16, body));
    WriteResumeRecord(folder.Dir(), kStatusInstall);

    const RunReport report = Run();

    EXPECT_EQ(report.FinalStatus(), kStatusError);
    EXPECT_EQ(report.errorCode, 833);
}

// Replies of 1 MiB to requests that expect a few bytes: one read of 1024 bytes is all that is
// taken, so the launcher check reads a number from the start, and the pack answer is no answer.
TEST_F(Hostile, MegabyteTextRepliesAreCutToOneRead) {
    server.Replies().SetLauncherReply(ServerReply::Text("1" + std::string(1 << 20, '0')));
    server.Replies().SetPackReply("scripts", checksum,
                                  ServerReply::Text("UPDATE!" + std::string(1 << 20, ' ')));

    const RunReport report = Run();

    EXPECT_EQ(report.FinalStatus(), kStatusError);
    EXPECT_EQ(report.errorCode, 408);
}

TEST_F(Hostile, MegabyteSizeReplyGivesAPercentWithinItsRange) {
    // The one read takes 512 characters: a number far beyond 32 bits that is 5 modulo 2^32, so a
    // size that wraps instead of saturating makes the percent millions.
    std::string size = std::string(480, '9') + std::string(22, '0') + "4294967301";
    size += std::string((1 << 20) - size.size(), '9');
    server.Replies().SetLauncherReply(ServerReply::Text("0"));
    server.Replies().SetLauncherSizeReply(ServerReply::Text(size));
    server.Replies().SetReply("patch/VarnholtUpdate.exe",
                              ServerReply::Bytes(std::string(1 << 20, 'x')));

    const RunReport report = Run();

    EXPECT_EQ(report.FinalStatus(), kStatusError);
    EXPECT_EQ(report.errorCode, 274);
    // Run() holds every percent to at most 100; status 2 always shows one.
    EXPECT_TRUE(report.Saw(2));
    for (const auto& [status, percent] : report.statuses) {
        if (status == 2) {
            EXPECT_GE(percent, 0);
        }
    }
}

TEST_F(Hostile, TorrentFileOfNoiseEndsTheUpdateAsAnError) {
    std::string noise(1 << 20, '\0');
    std::mt19937 random(7);
    for (char& c : noise) c = static_cast<char>(random());
    server.Replies().SetReply("patch/" + Stem() + ".torrent", ServerReply::Bytes(noise));

    const RunReport report = Run();

    EXPECT_EQ(report.FinalStatus(), kStatusError);
    EXPECT_FALSE(report.Saw(kStatusDownload));
    EXPECT_FALSE(ResumeStage(folder.Dir()));
}

}  // namespace
}  // namespace faults
