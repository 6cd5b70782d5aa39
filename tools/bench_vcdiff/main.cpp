// Patches files the way the update engine does (old file read on demand, new file written as
// decoded, delta fed in 4096-byte pieces) and compares with `xdelta3 -d` on the same delta.
// Each decoder runs in a process of its own, so its peak memory can be measured. Hostile deltas
// are fed the same way in this process and timed until the decoder refuses them.
//
//   bench_vcdiff                       run every case and print the table
//   bench_vcdiff --decode OLD DELTA NEW  decode one delta (used by the table run)

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/utf8.h"
#include "tests/support/swarm/delta_file_decode.h"
#include "tests/vcdiff/decode_helpers.h"
#include "tests/vcdiff/test_data.h"
#include "tests/vcdiff/test_delta_writer.h"
#include "update/target_file.h"
#include "vcdiff/streaming_decoder.h"

extern char** environ;

namespace {

constexpr UINT kPieceSize = 4096;

// Decodes with the engine's own file classes: the old pack read range by range in chunks, the
// new pack written as the decoder hands out bytes and closed as the engine closes it.
int DecodeFile(const char* oldPath, const char* deltaPath, const char* newPath) {
    try {
        CTargetFile target(Utf8ToWide(newPath).c_str());
        if (!swarm::DecodeDeltaFile(oldPath, deltaPath, kPieceSize, &target)) return 1;
        target.Close();
        return 0;
    } catch (CException* error) {
        error->Delete();
        std::fprintf(stderr, "file error while patching %s\n", oldPath);
        return 1;
    }
}

struct RunResult {
    double seconds = 0;
    double peakMiB = 0;
};

// --measure RESULT PROGRAM ARGS...: runs PROGRAM in a forked child and writes its wall time and
// peak resident memory to RESULT. The fork starts from this small process, so the child's peak
// is its own and not the benchmark's (a spawned child inherits its parent's peak).
int Measure(char** argv) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[3], argv + 3);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::ofstream result(argv[2]);
    result << seconds << " " << usage.ru_maxrss << "\n";  // kilobytes on Linux
    return result ? 0 : 1;
}

// Runs a program to its end through --measure; the fastest of three runs.
RunResult Run(const std::string& self, const std::string& resultPath,
              const std::vector<std::string>& arguments) {
    RunResult best{1e30, 0};
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<std::string> all = {self, "--measure", resultPath};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (const std::string& argument : all) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            throw std::runtime_error(arguments[0] + " failed");
        }
        std::ifstream result(resultPath);
        double seconds = 0;
        double kilobytes = 0;
        result >> seconds >> kilobytes;
        if (seconds < best.seconds) {
            best.seconds = seconds;
        }
        best.peakMiB = std::max(best.peakMiB, kilobytes / 1024.0);
    }
    return best;
}

struct Case {
    const char* name;
    std::function<void(std::string* old, std::string* now)> make;
};

bool RunCase(const Case& c, const std::string& self) {
    vcdiff_test::ScratchDir dir;
    size_t targetSize = 0;
    size_t deltaSize = 0;
    {
        std::string old;
        std::string now;
        c.make(&old, &now);
        targetSize = now.size();
        deltaSize = vcdiff_test::Xdelta3Encode(dir, old, now).size();
    }
    const std::string result = dir.Path("result");
    const RunResult ours =
        Run(self, result, {self, "--decode", dir.Path("old"), dir.Path("delta"), dir.Path("ours")});
    const RunResult theirs =
        Run(self, result,
            {"xdelta3", "-d", "-f", "-s", dir.Path("old"), dir.Path("delta"), dir.Path("xdelta")});
    const bool same =
        vcdiff_test::ReadFileBytes(dir.Path("ours")) == vcdiff_test::ReadFileBytes(dir.Path("new"));
    const double mib = static_cast<double>(targetSize) / (1 << 20);
    std::printf("%-28s %7.1f %9.2f %8.1f %9.1f %8.1f %9.1f %6.2f %9.1f %9.1f %s\n", c.name, mib,
                static_cast<double>(deltaSize) / (1 << 20), ours.seconds * 1000, mib / ours.seconds,
                theirs.seconds * 1000, mib / theirs.seconds, theirs.seconds / ours.seconds,
                ours.peakMiB, theirs.peakMiB,
                !same                           ? "OUTPUT DIFFERS"
                : theirs.seconds < ours.seconds ? "slower than xdelta3"
                                                : "ok");
    std::fflush(stdout);
    return same;
}

// Feeds a delta that must be refused in pieces, as the engine does, and prints how much of it
// the decoder took and how long it worked before refusing it. Returns whether it was refused.
bool RunHostileCase(const char* name, const std::string& delta) {
    const auto start = std::chrono::steady_clock::now();
    const vcdiff_test::DecodeOutcome outcome =
        vcdiff_test::Decode(delta, "", {.pieceSize = kPieceSize});
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool refused = !outcome.chunksAccepted;
    std::printf("%-40s %7.1f %12.1f %9.2f %s\n", name,
                static_cast<double>(delta.size()) / (1 << 20),
                static_cast<double>(outcome.bytesFed) / 1024, seconds * 1000,
                refused ? "refused" : "ACCEPTED");
    std::fflush(stdout);
    return refused;
}

// Integers made of nothing but continuation bytes, where a header and where an instruction is
// parsed again with every piece until it is complete.
bool RunHostileCases() {
    const std::string flood(8 << 20, '\x80');
    vcdiff_test::TestWindow window(0, 0, 0, true);
    window.body.Opcode(vcdiff_test::kOpAdd).RawInstructionBytes(flood);
    window.targetLength = 1;
    std::printf("\n%-40s %7s %12s %9s\n", "hostile delta, 4096-byte pieces", "MiB", "KiB taken",
                "ms");
    bool allRefused =
        RunHostileCase("0x80 bytes in a window header", vcdiff_test::FileHeader(0) + '\0' + flood);
    allRefused = RunHostileCase("0x80 bytes in an interleaved size",
                                vcdiff_test::EncodeDelta('S', {window})) &&
                 allRefused;
    return allRefused;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 5 && std::string(argv[1]) == "--decode") {
            return DecodeFile(argv[2], argv[3], argv[4]);
        }
        if (argc >= 4 && std::string(argv[1]) == "--measure") {
            return Measure(argv);
        }
        if (!vcdiff_test::Xdelta3Available()) {
            std::fprintf(stderr, "bench_vcdiff needs xdelta3\n");
            return 1;
        }
        const std::string self = std::string("/proc/") + std::to_string(getpid()) + "/exe";
        const std::string selfPath = [&] {
            char path[4096];
            const ssize_t n = readlink(self.c_str(), path, sizeof path - 1);
            return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string(argv[0]);
        }();
        const std::vector<Case> cases = {
            {"30 MiB edited binary",
             [](std::string* old, std::string* now) {
                 *old = vcdiff_test::RandomBytes(2, 30 << 20);
                 *now = vcdiff_test::EditBlocks(*old, 3, 60);
             }},
            {"32 MiB text, small changes",
             [](std::string* old, std::string* now) {
                 *old = vcdiff_test::WordText(4, 32 << 20);
                 *now = vcdiff_test::ChangeEveryNthByte(*old, 7);
             }},
            {"32 MiB mostly new bytes",
             [](std::string* old, std::string* now) {
                 *old = vcdiff_test::RandomBytes(5, 32 << 20);
                 *now = *old;
                 const std::string fresh = vcdiff_test::RandomBytes(6, now->size());
                 for (size_t at = 0; at + 256 <= now->size(); at += 256) {
                     if ((at / 256) % 8 != 0) {
                         now->replace(at, 256, fresh, at, 256);
                     }
                 }
             }},
        };
        std::printf("%-28s %7s %9s %8s %9s %8s %9s %6s %9s %9s\n", "case", "MiB", "delta MiB",
                    "ours ms", "ours MB/s", "xd3 ms", "xd3 MB/s", "ratio", "ours RSS", "xd3 RSS");
        bool allSame = true;
        for (const Case& c : cases) {
            allSame = RunCase(c, selfPath) && allSame;
        }
        std::printf("ratio = xdelta3 time / our time (>= 1.0: at least as fast); RSS in MiB\n");
        const bool allRefused = RunHostileCases();
        return allSame && allRefused ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_vcdiff: %s\n", error.what());
        return 1;
    }
}
