// Benchmark: one 1 GiB pack patched through PatchFile beside `xdelta3 -d` of the same delta, each
// in a child process of its own, alternately and several times; the best time of each counts.
// Prints both times, the ratio (at least 1.0 is the goal) and PatchFile's peak memory.
//
//   bench_patch [work folder] [rounds]
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "tests/support/swarm/delta_file.h"
#include "tests/support/swarm/game_version.h"
#include "tools/bench_update/child_run.h"
#include "update/update_thread.h"

namespace fs = std::filesystem;

namespace {

class BenchThread : public CUpdateThread {
public:
    using CUpdateThread::PatchFile;
};

CString Wide(const fs::path& path) { return CString(Utf8ToWide(path.string()).c_str()); }

bool SameFiles(const fs::path& a, const fs::path& b) {
    return bench::RunProgramTimed({"cmp", "-s", a.string(), b.string()}).exitCode == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "bench_patch";
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 3;
    fs::create_directories(work);
    const fs::path old = work / "old.vh", next = work / "new.vh", delta = work / "pack.patch";
    if (!fs::exists(delta)) {
        std::printf("making a 1 GiB pack, its next version and the delta ...\n");
        swarm::GameSpec game;
        game.largestPack = 1ull << 30;
        game.rewrittenShare = 0.1;
        swarm::WriteGamePack(game, 1, 0, old);
        swarm::WriteGamePack(game, 2, 0, next);
        swarm::MakeDeltaFile(old, next, delta);
    }
    std::printf("old %.0f MiB, new %.0f MiB, delta %.1f MiB\n", fs::file_size(old) / 1048576.0,
                fs::file_size(next) / 1048576.0, fs::file_size(delta) / 1048576.0);

    const fs::path ours = work / "ours.out", theirs = work / "xdelta3.out";
    bench::ChildRun bestOurs, bestTheirs;
    bestOurs.seconds = bestTheirs.seconds = 1e9;
    for (int round = 0; round < rounds; ++round) {
        // Each side starts from no output file and no dirty pages of the side before.
        fs::remove(ours);
        fs::remove(theirs);
        bench::RunProgramTimed({"sync"});
        const bench::ChildRun patch = bench::RunInChild([&] {
            BenchThread thread;
            thread.PatchFile(Wide(delta), Wide(old), Wide(ours));
            return 0;
        });
        bench::RunProgramTimed({"sync"});
        const bench::ChildRun xdelta = bench::RunProgramTimed(
            {"xdelta3", "-d", "-f", "-s", old.string(), delta.string(), theirs.string()});
        if (patch.exitCode != 0 || xdelta.exitCode != 0) {
            std::fprintf(stderr, "a run failed: PatchFile %d, xdelta3 %d\n", patch.exitCode,
                         xdelta.exitCode);
            return 1;
        }
        std::printf("round %d: PatchFile %.2f s (%ld MiB peak), xdelta3 -d %.2f s (%ld MiB)\n",
                    round + 1, patch.seconds, patch.peakKiB / 1024, xdelta.seconds,
                    xdelta.peakKiB / 1024);
        if (patch.seconds < bestOurs.seconds) bestOurs = patch;
        if (xdelta.seconds < bestTheirs.seconds) bestTheirs = xdelta;
    }
    if (!SameFiles(ours, next) || !SameFiles(theirs, next)) {
        std::fprintf(stderr, "the patched pack differs from the new version\n");
        return 1;
    }
    std::printf(
        "best: PatchFile %.2f s, xdelta3 -d %.2f s, ratio xdelta3/PatchFile %.2f "
        "(goal >= 1.0); PatchFile peak %ld MiB\n",
        bestOurs.seconds, bestTheirs.seconds, bestTheirs.seconds / bestOurs.seconds,
        bestOurs.peakKiB / 1024);
    fs::remove(ours);
    fs::remove(theirs);
    return 0;
}
