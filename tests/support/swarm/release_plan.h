// What a release must hold, worked out from the versions of the packs before anything is written.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "tests/support/swarm/pack_names.h"

namespace swarm {

struct PlannedDelta {
    int pack = 0;
    std::filesystem::path from;  // the older pack, named by its checksum
    std::filesystem::path to;
    uint32_t fromChecksum = 0;
};

struct ReleasePlan {
    std::array<std::filesystem::path, kPackTotal> current;
    std::array<uint32_t, kPackTotal> currentChecksum{};
    std::vector<PlannedDelta> deltas;  // in pack order
};

// Checks the version folders (see MakeRelease) and checksums every pack, reporting each file to
// onChecksum. Throws ReleaseError for bad input.
ReleasePlan PlanRelease(const std::vector<std::filesystem::path>& versionFolders,
                        const std::function<void(const std::filesystem::path&)>& onChecksum);

// Number of pack files PlanRelease will checksum (for progress counts).
int CountPackFiles(const std::vector<std::filesystem::path>& versionFolders);

}  // namespace swarm
