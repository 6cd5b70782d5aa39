#include "tests/support/swarm/release.h"

#include <algorithm>
#include <fstream>
#include <mutex>
#include <thread>

#include "tests/support/swarm/delta_check.h"
#include "tests/support/swarm/delta_file.h"
#include "tests/support/swarm/news_page.h"
#include "tests/support/swarm/pack_checksum.h"
#include "tests/support/swarm/parallel_jobs.h"
#include "tests/support/swarm/release_plan.h"
#include "tests/support/swarm/run_program.h"
#include "tests/support/swarm/torrent_file.h"
#include "update/constants.h"

namespace swarm {

namespace {

namespace fs = std::filesystem;

// Counts the steps of one phase of the work: first the checksums, then the archives. The
// archives are made on several threads; the caller's callback is called by one at a time.
class Progress {
public:
    Progress(const ReleaseOptions& options, int steps) : m_options(options), m_steps(steps) {}
    void StartPhase(int steps) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_steps = steps;
        m_step = 0;
    }
    void Step(const std::string& what) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_step;
        if (m_options.onProgress) m_options.onProgress(what, m_step, m_steps);
    }

private:
    const ReleaseOptions& m_options;
    std::mutex m_mutex;
    int m_steps;
    int m_step = 0;
};

// zip deflates at about 40 MB/s, so large releases are made a few archives at a time.
constexpr unsigned kArchiveThreads = 4;

struct Published {
    fs::path torrent;
    std::string infoHash;
};

void CheckEmptyFolder(const fs::path& folder) {
    std::error_code error;
    if (fs::exists(folder, error) && !fs::is_empty(folder, error)) {
        throw ReleaseError("the release folder " + folder.string() +
                           " is not empty; a release is made into a new folder");
    }
}

// Makes a link to the file under another name, or a copy where no link can be made, so that a
// large pack enters its archive under the name the engine expects without being copied.
void LinkOrCopy(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::create_hard_link(from, to, error);
    if (error) fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

// Zips one file under its bare name and publishes the archive with its torrent.
Published PublishArchive(const fs::path& content, const fs::path& patchFolder,
                         const std::string& archiveStem, const ReleaseOptions& options) {
    const fs::path archive = patchFolder / (archiveStem + Narrow(kZipExt));
    RunProgram({"zip", "-X", "-q", "-j", archive.string(), content.string()});
    fs::remove(content);
    Published published;
    published.torrent = patchFolder / (archiveStem + Narrow(kTorrentExt));
    published.infoHash = MakeTorrentFile(archive, published.torrent, options.trackerUrl);
    return published;
}

void WriteReplies(const ReleasePlan& plan, const ReleaseOptions& options, const fs::path& file) {
    std::ofstream out(file, std::ios::trunc);
    out << "# Replies of the update server, keyed by the packs' sampled checksums.\n";
    if (options.launcherVersion.empty()) {
        out << "launcher\t1\n";
    } else {
        out << "launcher-current\t" << options.launcherVersion << '\n';
    }
    if (!options.launcherUpdate.empty()) {
        out << "launcher-size\t" << fs::file_size(options.launcherUpdate) << '\n';
    }
    for (int pack = 0; pack < kPackTotal; ++pack) {
        out << "pack\t" << PackName(pack) << '\t' << ChecksumText(plan.currentChecksum[pack])
            << '\t' << Narrow(kReplyActual) << '\n';
    }
    for (const PlannedDelta& delta : plan.deltas) {
        out << "pack\t" << PackName(delta.pack) << '\t' << ChecksumText(delta.fromChecksum) << '\t'
            << Narrow(kReplyUpdate) << '\n';
    }
    out << "pack-unknown\t" << Narrow(kReplyCorrupted) << '\n';
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

void WriteText(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

// Fills a staging folder with everything the release holds; Release paths point into it.
Release WriteRelease(const ReleasePlan& plan, const fs::path& stage, const ReleaseOptions& options,
                     Progress& progress) {
    const fs::path work = stage / ".work";
    const fs::path patchFolder = stage / "patch";
    fs::create_directories(work);
    fs::create_directories(patchFolder);
    std::vector<Published> published(plan.deltas.size() + kPackTotal);
    std::vector<std::function<void()>> jobs;
    for (size_t i = 0; i < plan.deltas.size(); ++i) {
        jobs.push_back([&, i]() {
            const PlannedDelta& delta = plan.deltas[i];
            const std::string stem = PackName(delta.pack) + "." + ChecksumText(delta.fromChecksum);
            const fs::path patch = work / (stem + Narrow(kPatchExt));
            progress.Step("delta " + patch.filename().string());
            MakeDeltaFile(delta.from, delta.to, patch);
            // The very file that goes into the archive: its torrent would hash any damage in it
            // as good data.
            CheckDeltaFile(delta.from, patch, delta.to);
            published[i] = PublishArchive(patch, patchFolder, stem, options);
        });
    }
    for (int pack = 0; pack < kPackTotal; ++pack) {
        jobs.push_back([&, pack]() {
            const fs::path whole = work / (PackName(pack) + Narrow(kPatchedExt));
            progress.Step("whole pack " + whole.filename().string());
            LinkOrCopy(plan.current[pack], whole);
            published[plan.deltas.size() + static_cast<size_t>(pack)] =
                PublishArchive(whole, patchFolder, PackName(pack), options);
        });
    }
    RunInParallel(jobs, kArchiveThreads);
    fs::remove_all(work);

    progress.Step("replies and news");
    WriteReplies(plan, options, stage / "replies.txt");
    WriteText(stage / Narrow(kNewsPage),
              options.newsPage.empty() ? MakeNewsPage() : options.newsPage);
    if (!options.launcherUpdate.empty()) {
        fs::copy_file(options.launcherUpdate, patchFolder / Narrow(kUpdaterExe));
    }
    Release release;
    release.folder = stage;
    for (const Published& archive : published) {
        release.torrentFiles.push_back(archive.torrent);
        release.infoHashes.push_back(archive.infoHash);
    }
    return release;
}

}  // namespace

Release MakeRelease(const std::vector<fs::path>& versionFolders, const fs::path& releaseFolder,
                    const ReleaseOptions& options) {
    if (!options.launcherUpdate.empty() && !fs::is_regular_file(options.launcherUpdate)) {
        throw ReleaseError("no launcher build at " + options.launcherUpdate.string());
    }
    if (options.launcherUpdate.empty() != options.launcherVersion.empty()) {
        throw ReleaseError("a launcher build and its version go together");
    }
    CheckEmptyFolder(releaseFolder);
    Progress progress(options, CountPackFiles(versionFolders));
    const ReleasePlan plan = PlanRelease(versionFolders, [&progress](const fs::path& file) {
        progress.Step("checksum " + file.string());
    });
    progress.StartPhase(static_cast<int>(plan.deltas.size()) + kPackTotal + 1);

    // The release appears whole or not at all, so that a failed run never leaves a folder that
    // an update server could serve half made.
    const fs::path target = fs::absolute(releaseFolder).lexically_normal();
    const fs::path stage = target.parent_path() / (target.filename().string() + ".partial");
    fs::remove_all(stage);
    Release release;
    try {
        release = WriteRelease(plan, stage, options, progress);
        fs::create_directories(target.parent_path());
        fs::rename(stage, target);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(stage, ignored);
        throw;
    }
    release.folder = releaseFolder;
    for (fs::path& torrent : release.torrentFiles) {
        torrent = release.PatchFolder() / torrent.filename();
    }
    return release;
}

Release LoadRelease(const fs::path& releaseFolder) {
    Release release;
    release.folder = releaseFolder;
    if (!fs::is_directory(release.PatchFolder())) {
        throw ReleaseError("no release at " + releaseFolder.string() + " (patch/ is missing)");
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(release.PatchFolder())) {
        if (entry.path().extension() == Narrow(kTorrentExt)) {
            release.torrentFiles.push_back(entry.path());
        }
    }
    std::sort(release.torrentFiles.begin(), release.torrentFiles.end());
    for (const fs::path& torrent : release.torrentFiles) {
        release.infoHashes.push_back(ReadInfoHash(torrent));
    }
    return release;
}

}  // namespace swarm
