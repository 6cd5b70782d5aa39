// Benchmark: extraction of a 200 MiB archive of mixed entries (large deflated files, many small
// files, stored files) by the zip reader, beside `unzip -o -q` on the same archive. Each side runs
// in a child process of its own, alternately and several times; the best time of each counts.
// Prints both times, the ratio unzip/reader (at least 1.0 is the goal) and the reader's peak RSS.
//
//   bench_zip [work folder] [rounds]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/utf8.h"
#include "zip/zip_reader.h"

namespace fs = std::filesystem;

namespace {

// Writes size bytes of the given kind in 64 KiB pieces, so the generator holds no file whole.
// Text-like data deflates to about a third; noise does not deflate at all.
void WriteContent(const fs::path& path, size_t size, bool noise, uint32_t seed) {
    std::ofstream out(path, std::ios::binary);
    std::string piece;
    uint32_t state = seed * 2654435761u + 7;
    while (size > 0) {
        piece.clear();
        while (piece.size() < 65536) {
            state = state * 1664525u + 1013904223u;
            if (noise || (state >> 29) == 0) {
                for (int i = 0; i < 32; ++i) {
                    state = state * 1664525u + 1013904223u;
                    piece.push_back(static_cast<char>(state >> 24));
                }
            } else {
                piece += "object " + std::to_string(state % 4099) + " at " +
                         std::to_string(state % 733) + "\n";
            }
        }
        const size_t n = std::min(size, piece.size());
        out.write(piece.data(), static_cast<std::streamsize>(n));
        size -= n;
    }
}

void MakeArchive(const fs::path& work, const fs::path& archive) {
    const fs::path source = work / "source";
    fs::remove_all(source);
    fs::create_directories(source / "large");
    for (int i = 0; i < 3; ++i) {
        WriteContent(source / "large" / ("pack" + std::to_string(i) + ".vh"), 64u << 20, false, i);
    }
    for (int d = 0; d < 30; ++d) {
        const fs::path folder = source / "small" / ("d" + std::to_string(d));
        fs::create_directories(folder);
        for (int i = 0; i < 100; ++i) {
            WriteContent(folder / ("f" + std::to_string(i) + ".txt"), 2000 + (i * 997) % 14000,
                         i % 3 == 0, static_cast<uint32_t>(d * 100 + i + 10));
        }
    }
    fs::create_directories(source / "stored");
    for (int i = 0; i < 5; ++i) {
        WriteContent(source / "stored" / ("media" + std::to_string(i) + ".raw"), 20u << 20, true,
                     static_cast<uint32_t>(100 + i));
    }
    const std::string command = "cd '" + source.string() + "' && zip -q -r -n .raw '" +
                                archive.string() + "' large small stored";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench_zip: zip failed\n");
        std::exit(1);
    }
    fs::remove_all(source);
}

// Extracts every entry below target with the reader, as the launcher does: folder entries are
// made by the caller, file entries get absolute paths. Returns the process's exit code.
int ExtractWithReader(const fs::path& archive, const fs::path& target) {
    HZIP zip = OpenZip(Utf8ToWide(archive.string()).c_str());
    if (zip == nullptr) {
        std::fprintf(stderr, "bench_zip: OpenZip failed: 0x%x\n", g_zipLastError);
        return 1;
    }
    ZipEntry entry{};
    for (int i = 0; GetZipItem(zip, i, &entry) == ZR_OK; ++i) {
        const fs::path path = target / WideToUtf8(entry.name);
        if ((entry.attr & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            fs::create_directories(path);
            continue;
        }
        const DWORD result = UnzipItem(zip, i, Utf8ToWide(path.string()).c_str(), nullptr);
        if (result != ZR_OK) {
            std::fprintf(stderr, "bench_zip: UnzipItem %d failed: 0x%x\n", i, result);
            return 1;
        }
    }
    CloseZip(zip);
    return 0;
}

struct Run {
    double seconds;
    long peakKiB;
};

// Runs work in a child process; its wall time and peak resident set.
template <typename Work>
Run InChild(Work work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) _exit(work());
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_zip: a run failed\n");
        std::exit(1);
    }
    return {seconds, usage.ru_maxrss};
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "bench_zip";
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    fs::create_directories(work);
    const fs::path archive = fs::absolute(work / "mixed.zip");
    if (!fs::exists(archive)) MakeArchive(work, archive);
    std::printf("archive: %.1f MiB\n", static_cast<double>(fs::file_size(archive)) / (1 << 20));

    const fs::path ours = work / "out-reader";
    const fs::path theirs = work / "out-unzip";
    Run bestOurs{1e9, 0}, bestTheirs{1e9, 0};
    for (int round = 0; round < rounds; ++round) {
        fs::remove_all(ours);
        fs::create_directories(ours);
        const Run reader = InChild([&] { return ExtractWithReader(archive, ours); });
        fs::remove_all(theirs);
        const std::string command =
            "unzip -o -q '" + archive.string() + "' -d '" + theirs.string() + "'";
        const Run unzip = InChild([&] { return std::system(command.c_str()) == 0 ? 0 : 1; });
        std::printf("round %d: reader %.3f s, unzip %.3f s\n", round + 1, reader.seconds,
                    unzip.seconds);
        if (reader.seconds < bestOurs.seconds) bestOurs.seconds = reader.seconds;
        if (unzip.seconds < bestTheirs.seconds) bestTheirs.seconds = unzip.seconds;
        bestOurs.peakKiB = std::max(bestOurs.peakKiB, reader.peakKiB);
    }
    const std::string compare = "diff -r -q '" + ours.string() + "' '" + theirs.string() + "'";
    const bool same = std::system(compare.c_str()) == 0;
    std::printf("reader %.3f s, unzip %.3f s, ratio unzip/reader %.2f\n", bestOurs.seconds,
                bestTheirs.seconds, bestTheirs.seconds / bestOurs.seconds);
    std::printf("reader peak RSS %ld KiB; outputs %s\n", bestOurs.peakKiB,
                same ? "identical" : "DIFFER");
    return same ? 0 : 1;
}
