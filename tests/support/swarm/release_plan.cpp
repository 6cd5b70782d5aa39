#include "tests/support/swarm/release_plan.h"

#include <fstream>
#include <map>
#include <optional>

#include "tests/support/swarm/pack_checksum.h"
#include "tests/support/swarm/release.h"
#include "update/constants.h"

namespace swarm {

namespace {

namespace fs = std::filesystem;

using VersionPacks = std::array<std::optional<fs::path>, kPackTotal>;

// The packs of one version folder. Anything in it that is no "NAME.vh" of the pack table is
// refused rather than ignored: a misspelt pack would otherwise be left out of the release.
VersionPacks ReadVersionFolder(const fs::path& folder) {
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        throw ReleaseError("no folder of packs at " + folder.string());
    }
    VersionPacks packs;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const fs::path name = entry.path().filename();
        if (name.extension() != Narrow(kPackExt)) {
            throw ReleaseError(entry.path().string() + " is no pack file (NAME.vh)");
        }
        const std::optional<int> index = PackIndex(name.stem().string());
        if (!index) {
            throw ReleaseError(entry.path().string() + ": \"" + name.stem().string() +
                               "\" is not a pack of the pack table");
        }
        if (!entry.is_regular_file()) {
            throw ReleaseError(entry.path().string() + " is not a file");
        }
        packs[*index] = entry.path();
    }
    return packs;
}

bool SameContent(const fs::path& a, const fs::path& b) {
    if (fs::file_size(a) != fs::file_size(b)) return false;
    std::ifstream left(a, std::ios::binary);
    std::ifstream right(b, std::ios::binary);
    std::vector<char> leftBuffer(1 << 16);
    std::vector<char> rightBuffer(1 << 16);
    while (left && right) {
        left.read(leftBuffer.data(), static_cast<std::streamsize>(leftBuffer.size()));
        right.read(rightBuffer.data(), static_cast<std::streamsize>(rightBuffer.size()));
        if (left.gcount() != right.gcount() ||
            !std::equal(leftBuffer.begin(), leftBuffer.begin() + left.gcount(),
                        rightBuffer.begin())) {
            return false;
        }
    }
    if (left.bad() || right.bad()) {
        throw std::runtime_error("cannot compare " + a.string() + " with " + b.string());
    }
    return true;
}

struct KnownVersion {
    fs::path file;
    size_t version;
};

}  // namespace

int CountPackFiles(const std::vector<fs::path>& versionFolders) {
    int count = 0;
    for (const fs::path& folder : versionFolders) {
        for (const std::optional<fs::path>& pack : ReadVersionFolder(folder)) count += pack ? 1 : 0;
    }
    return count;
}

ReleasePlan PlanRelease(const std::vector<fs::path>& versionFolders,
                        const std::function<void(const fs::path&)>& onChecksum) {
    if (versionFolders.empty()) throw ReleaseError("a release needs at least one version");
    std::vector<VersionPacks> versions;
    for (const fs::path& folder : versionFolders) versions.push_back(ReadVersionFolder(folder));
    for (int pack = 0; pack < kPackTotal; ++pack) {
        if (!versions.back()[pack]) {
            throw ReleaseError("the current version " + versionFolders.back().string() +
                               " lacks the pack " + PackFileName(pack));
        }
    }

    ReleasePlan plan;
    for (int pack = 0; pack < kPackTotal; ++pack) {
        // Each checksum names one content; the delta for it leads to the version after the last
        // version that has it, so a pack that returns to older bytes still gets one delta.
        std::map<uint32_t, KnownVersion> known;
        std::map<uint32_t, size_t> nextVersion;
        for (size_t v = 0; v < versions.size(); ++v) {
            if (!versions[v][pack]) continue;
            const fs::path& file = *versions[v][pack];
            if (onChecksum) onChecksum(file);
            const uint32_t checksum = PackChecksum(file);
            const auto found = known.find(checksum);
            if (found != known.end() && !SameContent(found->second.file, file)) {
                throw ReleaseError("the packs " + found->second.file.string() + " and " +
                                   file.string() + " differ but have the same sampled checksum " +
                                   ChecksumText(checksum) +
                                   ": the update server could not tell them apart");
            }
            known[checksum] = {file, v};
            if (v + 1 < versions.size()) nextVersion[checksum] = v + 1;
            plan.currentChecksum[pack] = checksum;  // the last version always has the pack
        }
        plan.current[pack] = *versions.back()[pack];
        for (const auto& [checksum, next] : nextVersion) {
            if (checksum == plan.currentChecksum[pack]) continue;
            // The next version may lack the pack; the delta then leads to the first later one
            // that has it.
            size_t target = next;
            while (!versions[target][pack]) ++target;
            plan.deltas.push_back({pack, known[checksum].file, *versions[target][pack], checksum});
        }
    }
    return plan;
}

}  // namespace swarm
