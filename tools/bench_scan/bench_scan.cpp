// Scans a client of 21 packs totalling 2 GiB (real files) with the engine's ScanPacks and prints
// its time beside the floor: reading the same sampled ranges (the first 1 MiB of every 16 MiB)
// with a plain pread loop in the same chunk size, warm page cache and, when running as root,
// cold (caches dropped before each run).
//
//   bench_scan [folder]      (default: /tmp/varnholt-bench-scan; the packs are made once)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "update/file_utils.h"
#include "update/packs.h"
#include "update/status.h"
#include "update/update_thread.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kTotal = 2048 * kMiB;
constexpr std::uint64_t kSample = kMiB;
constexpr std::uint64_t kPeriod = 16 * kMiB;

fs::path PackPath(const fs::path& dir, int i) {
    return dir / "packs" / (std::string(WideToUtf8(g_aPackNames[i])) + ".vh");
}

// Pack sizes that add up to 2 GiB and are not all multiples of the sampling period.
std::uint64_t PackSize(int i) {
    const std::uint64_t base = kTotal / kPackCount;
    return i == kPackCount - 1 ? kTotal - base * (kPackCount - 1) : base;
}

void MakePacks(const fs::path& dir) {
    fs::create_directories(dir / "packs");
    std::vector<char> block(4 * kMiB);
    std::mt19937_64 random(11);
    for (int i = 0; i < kPackCount; ++i) {
        const fs::path path = PackPath(dir, i);
        if (fs::exists(path) && fs::file_size(path) == PackSize(i)) continue;
        std::printf("writing %s\n", path.c_str());
        FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) {
            std::perror(path.c_str());
            std::exit(1);
        }
        for (std::uint64_t left = PackSize(i); left > 0;) {
            for (std::size_t j = 0; j < block.size(); j += 8) {
                const std::uint64_t v = random();
                std::memcpy(block.data() + j, &v, 8);
            }
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
            std::fwrite(block.data(), 1, n, out);
            left -= n;
        }
        std::fclose(out);
    }
}

// Reads the sampled ranges of every pack with pread in chunks of dwChunk bytes; with bChecksum
// the bytes also go through adler32, as the scan's work.
std::uint64_t ReadSampledRanges(const fs::path& dir, DWORD dwChunk, bool bChecksum) {
    std::vector<unsigned char> buffer(dwChunk);
    std::uint64_t sum = 0;
    for (int i = 0; i < kPackCount; ++i) {
        const int fd = open(PackPath(dir, i).c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        fstat(fd, &info);
        const std::uint64_t length = static_cast<std::uint64_t>(info.st_size);
        uLong value = 0;
        for (std::uint64_t start = 0; start < length; start += kPeriod) {
            const std::uint64_t end = std::min(length, start + kSample);
            for (std::uint64_t pos = start; pos < end;) {
                const std::size_t want =
                    static_cast<std::size_t>(std::min<std::uint64_t>(dwChunk, end - pos));
                const ssize_t n = pread(fd, buffer.data(), want, static_cast<off_t>(pos));
                if (n <= 0) break;
                if (bChecksum) value = adler32(value, buffer.data(), static_cast<uInt>(n));
                pos += static_cast<std::uint64_t>(n);
            }
        }
        sum += value;
        close(fd);
    }
    return sum;
}

bool DropCaches() {
    sync();
    FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w");
    if (f == nullptr) return false;
    const bool ok = std::fputs("3\n", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

double Seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Best of several runs; each cold run starts from dropped caches.
double Best(int runs, bool bCold, const std::function<void()>& work) {
    double best = 1e9;
    for (int i = 0; i < runs; ++i) {
        if (bCold) DropCaches();
        best = std::min(best, Seconds(work));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::path("/tmp/varnholt-bench-scan");
    MakePacks(dir);
    const std::string strDir = dir.string() + "/";
    const DWORD dwChunk = GetClusterSize(Utf8ToWide(PackPath(dir, 0).string()).c_str());

    CUpdateThread thread;  // not started: the scan runs on this thread
    thread.m_strDir = Utf8ToWide(strDir).c_str();
    auto scan = [&] {
        thread.m_setReload.clear();
        thread.ScanPacks();
    };
    auto floor = [&] { ReadSampledRanges(dir, dwChunk, false); };
    auto floorChecksum = [&] { ReadSampledRanges(dir, dwChunk, true); };

    std::printf("client: %d packs, %llu MiB; chunk %u bytes\n", kPackCount,
                static_cast<unsigned long long>(kTotal / kMiB), dwChunk);
    scan();  // warms the cache
    const double warmScan = Best(5, false, scan);
    const double warmFloor = Best(5, false, floor);
    const double warmFloorChecksum = Best(5, false, floorChecksum);
    std::printf(
        "warm: scan %.3f s, pread floor %.3f s (ratio %.2f), pread+adler32 %.3f s "
        "(ratio %.2f)\n",
        warmScan, warmFloor, warmScan / warmFloor, warmFloorChecksum, warmScan / warmFloorChecksum);
    if (DropCaches()) {
        const double coldScan = Best(3, true, scan);
        const double coldFloor = Best(3, true, floor);
        const double coldFloorChecksum = Best(3, true, floorChecksum);
        std::printf(
            "cold: scan %.3f s, pread floor %.3f s (ratio %.2f), pread+adler32 %.3f s "
            "(ratio %.2f)\n",
            coldScan, coldFloor, coldScan / coldFloor, coldFloorChecksum,
            coldScan / coldFloorChecksum);
    } else {
        std::printf("cold: skipped (dropping the page cache needs root)\n");
    }
    return 0;
}
