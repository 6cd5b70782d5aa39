// Benchmark: a whole update of a client of 21 packs (2 GiB, a tenth of it changed) through the
// update server, tracker and seeder on loopback, timed from BeginUpdate to status 9, beside the
// sum of its floors measured in the same run: the same archives fetched by a BitTorrent session
// alone, `unzip` of those archives and `xdelta3 -d` of their deltas. Goal: at most 1.5 times the
// sum. Run it inside scripts/netns-run.sh; the game and its release are kept in the work folder
// for the next run.
//
//   bench_update [work folder]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tests/support/swarm/client_layout.h"
#include "tests/support/swarm/game_version.h"
#include "tests/support/swarm/pack_checksum.h"
#include "tests/support/swarm/pack_names.h"
#include "tests/support/swarm/release.h"
#include "tests/support/swarm/seeder.h"
#include "tests/support/swarm/tracker.h"
#include "tests/support/update_server.h"
#include "tools/bench_update/child_run.h"
#include "update/file_utils.h"
#include "update/status.h"
#include "update/torrent_session.h"
#include "update/update_thread.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The launcher's side, run from the client folder: the time from BeginUpdate to status 9.
int RunUpdate() {
    const auto start = Clock::now();
    BeginUpdate();
    int nStatus = 0;
    for (;;) {
        int nPercent = 0, nBar = 0;
        GetStatus(&nStatus, &nPercent, &nBar);
        if (nStatus == STATUS_READY || nStatus >= STATUS_STOPPED) break;
        Sleep(1);
    }
    std::printf("%d %.3f %d\n", nStatus, SecondsSince(start), static_cast<int>(g_nErrorCode));
    std::fflush(stdout);
    g_evExit.SetEvent();
    if (g_hUpdateThread != nullptr) WaitForSingleObject(g_hUpdateThread, INFINITE);
    return nStatus == STATUS_READY ? 0 : 1;
}

void MakeGameAndRelease(const fs::path& work) {
    if (fs::exists(work / "release" / "replies.txt")) return;
    swarm::GameSpec game;
    game.largestPack = 296ull << 20;  // with the packs below it, 2 GiB in all
    game.rewrittenShare = 0.1;
    for (int i = 0; i < swarm::kPackTotal; ++i) game.changingPacks.insert(i);
    std::printf("making two versions of a 2 GiB game and their release (once) ...\n");
    std::fflush(stdout);
    fs::remove_all(work / "release");
    swarm::WriteGameVersion(game, 1, work / "v1");
    swarm::WriteGameVersion(game, 2, work / "v2");
    swarm::MakeRelease({work / "v1", work / "v2"}, work / "release");
}

// The stem "NAME.HEX" of the delta archive that the client of version 1 fetches for each pack.
std::vector<std::string> DeltaStems(const fs::path& v1) {
    std::vector<std::string> stems;
    for (int i = 0; i < swarm::kPackTotal; ++i) {
        stems.push_back(swarm::PackName(i) + "." +
                        swarm::ChecksumText(swarm::PackChecksum(v1 / swarm::PackFileName(i))));
    }
    return stems;
}

// The same archives fetched by a session like the launcher's, polled without the launcher's
// one-second rhythm.
double DownloadFloor(const fs::path& release, const std::vector<std::string>& stems,
                     const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto start = Clock::now();
    CTorrentSession session(GetModuleVersion());
    std::vector<int> torrents;
    for (const std::string& stem : stems) {
        torrents.push_back(session.AddTorrent((release / "patch" / (stem + ".torrent")).string(),
                                              folder.string() + "/"));
    }
    for (;;) {
        bool finished = true;
        for (int torrent : torrents) finished = finished && session.IsFinished(torrent);
        if (finished) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return SecondsSince(start);
}

double UnzipFloor(const std::vector<std::string>& stems, const fs::path& folder) {
    double seconds = 0;
    for (const std::string& stem : stems) {
        seconds += bench::RunProgramTimed({"unzip", "-o", "-q", (folder / (stem + ".zip")).string(),
                                           "-d", folder.string()})
                       .seconds;
    }
    return seconds;
}

double XdeltaFloor(const fs::path& v1, const std::vector<std::string>& stems,
                   const fs::path& folder) {
    double seconds = 0;
    for (int i = 0; i < swarm::kPackTotal; ++i) {
        const fs::path out = folder / (swarm::PackName(i) + ".out");
        seconds += bench::RunProgramTimed({"xdelta3", "-d", "-f", "-s",
                                           (v1 / swarm::PackFileName(i)).string(),
                                           (folder / (stems[i] + ".patch")).string(), out.string()})
                       .seconds;
        fs::remove(out);
    }
    return seconds;
}

// Runs the launcher copy in the client folder; returns its seconds to status 9, or -1.
double UpdateTime(const fs::path& client, const fs::path& self) {
    fs::copy_file(self, client / "VarnholtLauncher.exe", fs::copy_options::overwrite_existing);
    const std::string command = "'" + (client / "VarnholtLauncher.exe").string() + "' --run-update";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    int status = 0, error = 0;
    double seconds = -1;
    const int fields = std::fscanf(pipe, "%d %lf %d", &status, &seconds, &error);
    pclose(pipe);
    if (fields != 3 || status != STATUS_READY) {
        std::fprintf(stderr, "the update ended with status %d, error %d\n", status, error);
        return -1;
    }
    return seconds;
}

bool PacksAre(const fs::path& packs, const fs::path& version) {
    for (int i = 0; i < swarm::kPackTotal; ++i) {
        const std::string name = swarm::PackFileName(i);
        if (bench::RunProgramTimed(
                {"cmp", "-s", (packs / name).string(), (version / name).string()})
                .exitCode != 0)
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    _wsetlocale(LC_ALL, L"");
    if (argc > 1 && std::string(argv[1]) == "--run-update") return RunUpdate();

    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "bench_update";
    const fs::path self = fs::canonical("/proc/self/exe");
    fs::create_directories(work);
    MakeGameAndRelease(work);
    uintmax_t total = 0;
    for (int i = 0; i < swarm::kPackTotal; ++i)
        total += fs::file_size(work / "v1" / swarm::PackFileName(i));
    std::printf("client of %.0f MiB in 21 packs\n", total / 1048576.0);

    const swarm::Release release = swarm::LoadRelease(work / "release");
    swarm::Tracker tracker(release.infoHashes, work / "tracker");
    swarm::Seeder seeder(release.torrentFiles, release.PatchFolder());
    seeder.Start();
    seeder.WaitUntilSeeding(std::chrono::minutes(10));
    varnholt::test::UpdateServer server;
    server.LoadRelease(work / "release");
    server.Replies().SetLauncherReply(varnholt::test::ServerReply::Text("1"));
    server.Start();

    const std::vector<std::string> stems = DeltaStems(work / "v1");
    const fs::path floors = work / "floors";
    // Every measured step starts without dirty pages of the step before.
    const auto sync = [] { bench::RunProgramTimed({"sync"}); };
    sync();
    const double download = DownloadFloor(work / "release", stems, floors);
    sync();
    const double unzip = UnzipFloor(stems, floors);
    sync();
    const double xdelta = XdeltaFloor(work / "v1", stems, floors);
    fs::remove_all(floors);

    const fs::path client = work / "client";
    fs::remove_all(client);
    swarm::MakeClientFolder(work / "v1", client);
    sync();
    const double update = UpdateTime(client, self);
    if (update < 0) return 1;
    if (!PacksAre(client / "packs", work / "v2")) {
        std::fprintf(stderr, "the updated packs differ from version 2\n");
        return 1;
    }
    const double floor = download + unzip + xdelta;
    std::printf("floors: download %.2f s, unzip %.2f s, xdelta3 -d %.2f s; sum %.2f s\n", download,
                unzip, xdelta, floor);
    std::printf(
        "update from BeginUpdate to status 9: %.2f s, %.2f times the floors (goal <= 1.5)\n",
        update, update / floor);
    return 0;
}
