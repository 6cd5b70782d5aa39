#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <libtorrent/announce_entry.hpp>
#include <libtorrent/torrent_info.hpp>
#include <map>
#include <memory>
#include <sstream>

#include "tests/support/reply_table.h"
#include "tests/support/swarm/client_layout.h"
#include "tests/support/swarm/pack_checksum.h"
#include "tests/support/swarm/pack_names.h"
#include "tests/support/swarm/run_program.h"
#include "tests/swarm/release_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace swarm;
using namespace swarm_test;

// The entry names of a zip archive, as unzip lists them.
std::vector<std::string> ZipEntries(const fs::path& archive) {
    const std::string command = "unzip -Z1 '" + archive.string() + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) throw std::runtime_error("cannot run " + command);
    std::vector<std::string> names;
    char line[4096];
    while (fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::string name(line);
        while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
        names.push_back(name);
    }
    return names;
}

fs::path Extract(const fs::path& archive, const std::string& entry, const fs::path& folder) {
    RunProgram({"unzip", "-q", "-o", archive.string(), entry, "-d", folder.string()});
    return folder / entry;
}

std::string PackStatusReply(const varnholt::test::ReplyTable& table, int pack, uint32_t checksum) {
    const auto reply = table.Find("info.php?Pack;" + PackName(pack) + ";" + ChecksumText(checksum));
    return reply ? reply->body : "(none)";
}

class ReleaseTest : public TwoVersionReleaseTest {
protected:
    static fs::path OldPack(int pack) { return s_made->oldVersion / PackFileName(pack); }
    static fs::path NewPack(int pack) { return s_made->newVersion / PackFileName(pack); }
    static bool Changes(int pack) { return SmallGame().changingPacks.count(pack) != 0; }
    static fs::path Patch(const std::string& name) { return s_made->release.PatchFolder() / name; }
};

TEST_F(ReleaseTest, EveryDeltaTurnsTheOldPackIntoTheNewOne) {
    TempFolder scratch;
    int deltas = 0;
    for (int pack = 0; pack < kPackTotal; ++pack) {
        const std::string stem = PackName(pack) + "." + ChecksumText(PackChecksum(OldPack(pack)));
        if (!Changes(pack)) {
            EXPECT_EQ(ReadFile(OldPack(pack)), ReadFile(NewPack(pack))) << PackName(pack);
            EXPECT_FALSE(fs::exists(Patch(stem + ".zip"))) << stem;
            continue;
        }
        ++deltas;
        ASSERT_EQ(ZipEntries(Patch(stem + ".zip")), std::vector<std::string>{stem + ".patch"});
        const fs::path delta = Extract(Patch(stem + ".zip"), stem + ".patch", scratch.Path());
        const fs::path decoded = scratch.Path() / (stem + ".decoded");
        RunProgram({"xdelta3", "-d", "-f", "-s", OldPack(pack).string(), delta.string(),
                    decoded.string()});
        EXPECT_EQ(ReadFile(decoded), ReadFile(NewPack(pack))) << stem;
        // A delta that carried the whole pack would defeat the point of patching.
        EXPECT_LT(fs::file_size(delta), fs::file_size(NewPack(pack)) / 4 + 16384) << stem;
    }
    EXPECT_EQ(deltas, static_cast<int>(SmallGame().changingPacks.size()));
}

TEST_F(ReleaseTest, EveryWholeArchiveHoldsTheCurrentPackUnderThePatchedName) {
    TempFolder scratch;
    for (int pack = 0; pack < kPackTotal; ++pack) {
        const fs::path archive = Patch(PackName(pack) + ".zip");
        const std::string entry = PackName(pack) + ".patched";
        ASSERT_EQ(ZipEntries(archive), std::vector<std::string>{entry});
        EXPECT_EQ(ReadFile(Extract(archive, entry, scratch.Path())), ReadFile(NewPack(pack)));
    }
}

TEST_F(ReleaseTest, TorrentsAreV1OnlyAndDescribeTheirArchiveWhole) {
    const Release& release = s_made->release;
    ASSERT_EQ(release.torrentFiles.size(), release.infoHashes.size());
    EXPECT_EQ(release.torrentFiles.size(), SmallGame().changingPacks.size() + kPackTotal);
    for (size_t i = 0; i < release.torrentFiles.size(); ++i) {
        const fs::path& file = release.torrentFiles[i];
        const lt::torrent_info info(file.string());
        const fs::path archive = fs::path(file).replace_extension(".zip");
        EXPECT_FALSE(info.info_hashes().has_v2()) << file;
        ASSERT_EQ(info.num_files(), 1) << file;
        EXPECT_EQ(info.files().file_path(lt::file_index_t{0}), archive.filename().string());
        // The engine's percent divides by this: pad files would keep it below 100.
        EXPECT_EQ(info.total_size(), static_cast<int64_t>(fs::file_size(archive))) << file;
        ASSERT_EQ(info.trackers().size(), 1u);
        EXPECT_EQ(info.trackers()[0].url, "http://127.0.0.1:6969/announce");
        std::ostringstream hash;
        hash << info.info_hashes().v1;
        EXPECT_EQ(hash.str(), release.infoHashes[i]) << file;
    }
    const Release loaded = LoadRelease(release.folder);
    EXPECT_EQ(std::multiset<std::string>(loaded.infoHashes.begin(), loaded.infoHashes.end()),
              std::multiset<std::string>(release.infoHashes.begin(), release.infoHashes.end()));
}

TEST_F(ReleaseTest, ServerAnswersFromTheSampledChecksums) {
    varnholt::test::ReplyTable table;
    table.LoadReleaseFile(s_made->release.folder);
    for (int pack = 0; pack < kPackTotal; ++pack) {
        const uint32_t oldChecksum = PackChecksum(OldPack(pack));
        const uint32_t newChecksum = PackChecksum(NewPack(pack));
        EXPECT_EQ(PackStatusReply(table, pack, newChecksum), "ACTUAL!") << PackName(pack);
        if (Changes(pack)) {
            EXPECT_EQ(PackStatusReply(table, pack, oldChecksum), "UPDATE!") << PackName(pack);
        }
        EXPECT_EQ(PackStatusReply(table, pack, newChecksum ^ 0x00010000u), "CORRUPTED!");
    }
    EXPECT_EQ(table.Find("info.php?2.0.0.0;Launcher")->body, "1");
    const auto news = table.Find("news.html");
    ASSERT_TRUE(news.has_value());
    EXPECT_NE(news->body.find("<title>"), std::string::npos);
}

TEST_F(ReleaseTest, ResourcesPackListsEveryFolderBeforeItsFiles) {
    const std::vector<std::string> entries = ZipEntries(NewPack(kResourcesIndex));
    ASSERT_FALSE(entries.empty());
    std::set<std::string> folders;
    for (const std::string& entry : entries) {
        const size_t slash = entry.find_last_of('/', entry.size() - 2);
        if (slash != std::string::npos) {
            EXPECT_TRUE(folders.count(entry.substr(0, slash + 1)) != 0)
                << entry << " comes before its folder";
        }
        if (entry.back() == '/') folders.insert(entry);
    }
    EXPECT_GE(folders.size(), 2u);
}

TEST_F(ReleaseTest, SameSeedAndVersionGiveTheSameBytes) {
    TempFolder again;
    WriteGameVersion(SmallGame(), 2, again.Path());
    for (int pack = 0; pack < kPackTotal; ++pack) {
        EXPECT_EQ(ReadFile(again.Path() / PackFileName(pack)), ReadFile(NewPack(pack)))
            << PackName(pack);
    }
}

TEST_F(ReleaseTest, ClientFolderLacksMissingPacksAndHasUnknownChecksumsForCorruptedOnes) {
    TempFolder client;
    MakeClientFolder(s_made->oldVersion, client.Path(), {{3}, {1, kResourcesIndex}});
    varnholt::test::ReplyTable table;
    table.LoadReleaseFile(s_made->release.folder);
    for (int pack = 0; pack < kPackTotal; ++pack) {
        const fs::path file = client.Path() / "packs" / PackFileName(pack);
        if (pack == 3) {
            EXPECT_FALSE(fs::exists(file));
        } else if (pack == 1 || pack == kResourcesIndex) {
            EXPECT_EQ(PackStatusReply(table, pack, PackChecksum(file)), "CORRUPTED!");
            EXPECT_EQ(fs::file_size(file), fs::file_size(OldPack(pack)));
        } else {
            EXPECT_EQ(ReadFile(file), ReadFile(OldPack(pack))) << PackName(pack);
        }
    }
}

}  // namespace
