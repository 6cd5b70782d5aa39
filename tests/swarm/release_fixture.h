// A small game in two versions and its release, made once per test program.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/swarm/game_version.h"
#include "tests/support/swarm/release.h"

namespace swarm_test {

// A fresh folder below the temporary folder, removed with everything in it when destroyed.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Small packs (the largest 3 MiB, so that it spans past a sampled MiB) keep the tests fast.
swarm::GameSpec SmallGame();

struct TwoVersionRelease {
    std::filesystem::path oldVersion;
    std::filesystem::path newVersion;
    swarm::Release release;
};

// Versions 1 and 2 of SmallGame() and their release, below `folder`.
TwoVersionRelease MakeTwoVersionRelease(const std::filesystem::path& folder);

std::string ReadFile(const std::filesystem::path& file);

// A suite whose tests share one TwoVersionRelease, made before its first test and removed after
// its last: making a release takes seconds.
class TwoVersionReleaseTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = new TempFolder;
        s_made = new TwoVersionRelease(MakeTwoVersionRelease(s_folder->Path()));
    }
    static void TearDownTestSuite() {
        delete s_made;
        s_made = nullptr;
        delete s_folder;
        s_folder = nullptr;
    }

    static inline TempFolder* s_folder = nullptr;
    static inline TwoVersionRelease* s_made = nullptr;
};

}  // namespace swarm_test
