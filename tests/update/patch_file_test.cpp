// Patching and installing on real files, without the swarm: deltas made by xdelta3, packs in a
// temporary launcher folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>

#include "platform/platform.h"
#include "tests/engine/launcher_folder.h"
#include "update/constants.h"
#include "update/packs.h"
#include "update/source_file.h"
#include "update/status.h"
#include "update/target_file.h"
#include "update/update_thread.h"

namespace {

namespace fs = std::filesystem;
using engine_test::ReadFile;
using engine_test::WriteFile;

class TestThread : public CUpdateThread {
public:
    using CUpdateThread::PatchFile;
};

CString Wide(const fs::path& path) { return CString(Utf8ToWide(path.string()).c_str()); }

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// An old pack and a new version of it that shares most of its bytes, moved about.
std::pair<std::string, std::string> OldAndNewPack(size_t size) {
    const std::string old = RandomBytes(size, 1);
    std::string next = old.substr(size / 3) + RandomBytes(5000, 2) + old.substr(0, size / 3);
    next.replace(size / 2, 300, RandomBytes(300, 3));
    return {old, next};
}

// The failure record is written once per process, so a failure is provoked in a child process
// of its own, which reports whether the record holds `code` and what it left is as `check` wants.
void ExpectFailureRecord(
    const std::function<void()>& operation, int code,
    const std::function<bool()>& check = [] { return true; }) {
    EXPECT_EXIT(
        {
            try {
                operation();
            } catch (CException* e) {
                e->Delete();
                std::_Exit(g_nErrorCode != code ? 2 : check() ? 0 : 3);
            }
            std::_Exit(1);
        },
        ::testing::ExitedWithCode(0), "");
}

int CurrentPercentOf(int nStatus) {
    int status = 0, percent = 0, bar = 0;
    GetStatus(&status, &percent, &bar);
    return status == nStatus ? percent : -2;
}

class Patching : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "varnholt-patch-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_thread.m_strDir = Wide(m_dir) + L"/";
        g_bStop = FALSE;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // Writes old and new pack, and the delta between them, below the folder.
    std::string MakePatch(const std::string& old, const std::string& next,
                          const std::vector<std::string>& xdeltaWindow = {}) {
        WriteFile(m_dir / "old", old);
        WriteFile(m_dir / "new", next);
        std::string command = "xdelta3 -e -f -n -A= -S none -D";
        for (const std::string& arg : xdeltaWindow) command += " " + arg;
        command += " -s '" + (m_dir / "old").string() + "' '" + (m_dir / "new").string() + "' '" +
                   (m_dir / "delta").string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        return ReadFile(m_dir / "delta");
    }

    void Patch() {
        m_thread.PatchFile(Wide(m_dir / "delta"), Wide(m_dir / "old"), Wide(m_dir / "out"));
    }

    fs::path m_dir;
    TestThread m_thread;
};

TEST_F(Patching, RebuildsTheNewPackFromXdelta3Deltas) {
    const auto [old, next] = OldAndNewPack(3 << 20);
    struct Case {
        const char* name;
        std::string old;
        std::string next;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"one window", old, next, {}},
        {"many small windows", old, next, {"-W", "16384"}},
        {"no source bytes used", "", RandomBytes(100000, 4), {}},
        {"empty new pack", old, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string delta = MakePatch(c.old, c.next, c.args);
        // A longer leftover from an earlier attempt must not survive.
        WriteFile(m_dir / "out", RandomBytes(c.next.size() + 70000, 5));
        m_thread.m_qwExtractTotal = delta.size();
        m_thread.m_qwInstallDone = 0;

        Patch();

        EXPECT_TRUE(ReadFile(m_dir / "out") == c.next);
        EXPECT_TRUE(ReadFile(m_dir / "old") == c.old);
        if (!delta.empty()) {
            EXPECT_EQ(CurrentPercentOf(STATUS_INSTALL_PATCH), 100);
        }
    }
}

TEST_F(Patching, PercentWithoutAnExtractionTotalIsZero) {
    const auto [old, next] = OldAndNewPack(200000);
    MakePatch(old, next);
    m_thread.m_qwExtractTotal = 0;  // a pass resumed at installation extracted nothing
    Patch();
    EXPECT_EQ(CurrentPercentOf(STATUS_INSTALL_PATCH), 0);
    EXPECT_TRUE(ReadFile(m_dir / "out") == next);
}

TEST_F(Patching, RejectedDeltasFailWith833) {
    const auto [old, next] = OldAndNewPack(1 << 20);
    const std::string delta = MakePatch(old, next, {"-W", "65536"});
    for (const std::string& broken :
         {delta.substr(0, delta.size() / 2), std::string("no delta at all")}) {
        WriteFile(m_dir / "delta", broken);
        // What was decoded stays in the scratch file, cut at its last written byte.
        ExpectFailureRecord([this] { Patch(); }, 833,
                            [&] { return fs::file_size(m_dir / "out") < next.size(); });
    }
}

TEST_F(Patching, TargetThatCannotBeCreatedFailsWith746) {
    const auto [old, next] = OldAndNewPack(100000);
    MakePatch(old, next);
    ExpectFailureRecord(
        [this] {
            m_thread.PatchFile(Wide(m_dir / "delta"), Wide(m_dir / "old"),
                               Wide(m_dir / "missing" / "out"));
        },
        746);
}

TEST_F(Patching, StopAfterAChunkLeavesTheRecordAlone) {
    const auto [old, next] = OldAndNewPack(1 << 20);
    MakePatch(old, next);
    m_thread.m_qwExtractTotal = 1;
    g_bStop = TRUE;
    // The chunk's status is stored before the stop is honoured.
    ExpectFailureRecord([this] { Patch(); }, -1,
                        [] { return CurrentPercentOf(STATUS_INSTALL_PATCH) >= 0; });
    g_bStop = FALSE;
}

TEST(SourceFile, ReadsExactRangesWhateverTheChunkSize) {
    const fs::path file = fs::temp_directory_path() / "varnholt-source-range";
    const std::string bytes = RandomBytes(10000, 6);
    WriteFile(file, bytes);
    for (UINT chunk : {1u, 7u, 4096u, 65536u}) {
        CSourceFile source(Wide(file), chunk);
        EXPECT_EQ(source.GetLength(), bytes.size());
        std::string out = "x";
        source.ReadRange(&out, 9000, 1000);
        source.ReadRange(&out, 3, 4100);
        source.ReadRange(&out, 0, 0);
        EXPECT_TRUE(out == "x" + bytes.substr(9000, 1000) + bytes.substr(3, 4100)) << chunk;
    }
    ExpectFailureRecord(
        [&] {
            CSourceFile source(Wide(file), 4096);
            std::string out;
            source.ReadRange(&out, 9000, 1001);
        },
        799);
    fs::remove(file);
}

TEST(TargetFile, CutsWhatWasReservedButNotWritten) {
    const fs::path file = fs::temp_directory_path() / "varnholt-target-cut";
    {
        CTargetFile target(Wide(file));
        target.append("abc", 3);
        target.reserve(target.size() + 5000);
        EXPECT_EQ(fs::file_size(file), 5003u);
        target.push_back('d');
        EXPECT_EQ(target.size(), 4u);
    }
    EXPECT_EQ(ReadFile(file), "abcd");
    {
        CTargetFile target(Wide(file));
        target.append("xyz", 3);
        target.clear();
        target.append("q", 1);
        target.Close();
    }
    EXPECT_EQ(ReadFile(file), "q");
    fs::remove(file);
}

// The final cut reports its failure on the way to success, where a pack with reserved garbage
// at its end would otherwise be installed, but never from the destructor that runs while a
// failure unwinds.
TEST(TargetFile, FailingCutThrowsFromCloseButNotFromTheDestructor) {
    const fs::path file = fs::temp_directory_path() / "varnholt-target-fail";
    const auto failCuts = [](bool fail) {
        SetFaultHook([fail](FileOperation op, const CString&) {
            return fail && op == FileOperation::SetLength ? EIO : 0;
        });
    };
    {
        CTargetFile target(Wide(file));
        target.append("abc", 3);
        target.reserve(1000);
        failCuts(true);
        bool thrown = false;
        try {
            target.Close();
        } catch (CFileException* e) {
            e->Delete();
            thrown = true;
        }
        EXPECT_TRUE(thrown);
        ::testing::internal::CaptureStderr();
    }
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("ERROR: "), std::string::npos);
    ClearFaultHook();
    EXPECT_EQ(fs::file_size(file), 1000u);
    fs::remove(file);
}

class Installing : public Patching {
protected:
    fs::path PackFile(int nPack) const {
        return m_dir / "packs" / (WideToUtf8(g_aPackNames[nPack]) + ".vh");
    }
    fs::path NewPack(int nPack) const {
        return m_dir / "temp" / (WideToUtf8(g_aPackNames[nPack]) + ".patched");
    }
};

TEST_F(Installing, MovesPatchedThenWholePacksAndMakesThePacksFolder) {
    m_thread.m_setUpdate = {3};
    m_thread.m_setReload = {1, 20};
    for (int nPack : {1, 3, 20}) WriteFile(NewPack(nPack), "new " + std::to_string(nPack));

    m_thread.InstallPatchedPacks();

    for (int nPack : {1, 3, 20}) {
        EXPECT_EQ(ReadFile(PackFile(nPack)), "new " + std::to_string(nPack));
        EXPECT_FALSE(fs::exists(NewPack(nPack)));
    }
}

TEST_F(Installing, FailuresNameTheirStep) {
    m_thread.m_setUpdate = {3};
    m_thread.m_setReload = {5};
    WriteFile(NewPack(5), "whole");
    ExpectFailureRecord([this] { m_thread.InstallPatchedPacks(); }, 606);
    m_thread.m_setUpdate.clear();
    fs::remove(NewPack(5));
    ExpectFailureRecord([this] { m_thread.InstallPatchedPacks(); }, 614);
    WriteFile(m_dir / "packs", "a file, not a folder");
    ExpectFailureRecord([this] { m_thread.InstallPatchedPacks(); }, 599);
}

TEST_F(Installing, MissingDeltaFailsWith586BeforeAnyFileIsOpened) {
    m_thread.m_setUpdate = {2};
    m_thread.m_mapPackChecksum[2] = 0xAB;
    WriteFile(PackFile(2), "old");
    WriteFile(m_dir / "temp" / (WideToUtf8(g_aPackNames[2]) + ".000000AC.patch"), "other");
    ExpectFailureRecord([this] { m_thread.ApplyPatches(); }, 586);
    EXPECT_FALSE(fs::exists(NewPack(2)));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The engine object may run threads of its own (the HTTP client); a forked child must not
    // inherit them half-way.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    return RUN_ALL_TESTS();
}
