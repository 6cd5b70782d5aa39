#include "tests/support/swarm/game_version.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/swarm/pack_names.h"
#include "tests/support/swarm/run_program.h"

namespace swarm {

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// splitmix64: fast, and the same bytes on every machine.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}

    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint64_t Below(uint64_t bound) { return bound == 0 ? 0 : Next() % bound; }
    void Fill(uint8_t* data, size_t size) {
        while (size > 0) {
            const uint64_t value = Next();
            const size_t n = std::min<size_t>(size, sizeof value);
            std::memcpy(data, &value, n);
            data += n;
            size -= n;
        }
    }
    Bytes Make(size_t size) {
        Bytes bytes(size);
        Fill(bytes.data(), size);
        return bytes;
    }

private:
    uint64_t m_state;
};

uint64_t Mix(uint64_t seed, int index, int step) {
    return seed ^ (static_cast<uint64_t>(index + 1) << 40) ^ (static_cast<uint64_t>(step) << 8);
}

// The version whose bytes a pack has: packs outside the changing set keep those of version 1.
int EffectiveVersion(const GameSpec& spec, int version, int index) {
    if (version < 1) throw std::invalid_argument("game versions start at 1");
    return spec.changingPacks.count(index) != 0 ? version : 1;
}

uint64_t BaseSize(const GameSpec& spec, int index) {
    const int shift = (index * 5) % 6;
    return std::max<uint64_t>(spec.largestPack >> shift, 4096) + static_cast<uint64_t>(index) * 97;
}

// One update of a pack's bytes: a new header, a few rewritten stretches, one inserted stretch
// and a longer tail. The header sits in the first sampled MiB, so the sampled checksum changes.
void ApplyUpdate(Bytes& bytes, int index, int step, double rewrittenShare, Random& random) {
    const std::string stamp =
        "Varnholt pack " + std::to_string(index) + " version " + std::to_string(step) + "\n";
    if (bytes.size() < stamp.size()) bytes.resize(stamp.size());
    std::copy(stamp.begin(), stamp.end(), bytes.begin());
    for (int k = 0; k < 3; ++k) {
        const size_t offset = random.Below(bytes.size());
        const size_t length = std::min<size_t>(256 + random.Below(4096), bytes.size() - offset);
        random.Fill(bytes.data() + offset, length);
    }
    // One stretch in each of `stretches` equal slots, so that they never overlap.
    constexpr size_t kStretch = 64 * 1024;
    const auto stretches =
        static_cast<size_t>(static_cast<double>(bytes.size()) * rewrittenShare) / kStretch;
    const size_t slot = stretches == 0 ? 0 : bytes.size() / stretches;
    for (size_t k = 0; k < stretches && slot >= kStretch; ++k) {
        random.Fill(bytes.data() + k * slot + random.Below(slot - kStretch + 1), kStretch);
    }
    const Bytes inserted = random.Make(512 + random.Below(8192));
    const auto at = bytes.begin() + static_cast<std::ptrdiff_t>(random.Below(bytes.size()));
    bytes.insert(at, inserted.begin(), inserted.end());
    const Bytes tail = random.Make(bytes.size() / 64 + 100);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
}

Bytes EvolvedBytes(const GameSpec& spec, int version, int index, uint64_t size, int salt) {
    Random base(Mix(spec.seed, index, 0) + static_cast<uint64_t>(salt));
    Bytes bytes = base.Make(size);
    for (int step = 2; step <= EffectiveVersion(spec, version, index); ++step) {
        Random random(Mix(spec.seed, index, step) + static_cast<uint64_t>(salt));
        ApplyUpdate(bytes, index, step, spec.rewrittenShare, random);
    }
    return bytes;
}

void WriteBytes(const fs::path& file, const void* data, size_t size) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

void WriteText(const fs::path& file, const std::string& text) {
    WriteBytes(file, text.data(), text.size());
}

// The resources pack is a zip of the files the launcher folder receives. Entries are listed
// explicitly, each folder before the files in it (extraction makes only the last folder of a
// path), and every time stamp is fixed, so the same version always gives the same archive.
void WriteResourcesPack(const GameSpec& spec, int version, const fs::path& file) {
    const int effective = EffectiveVersion(spec, version, kResourcesIndex);
    const fs::path staging = file.parent_path() / (file.filename().string() + ".staging");
    fs::remove_all(staging);
    fs::create_directories(staging / "config");
    fs::create_directories(staging / "ui" / "fonts");
    WriteText(staging / "readme.txt",
              "Varnholt game resources, release " + std::to_string(effective) + ".\n");
    WriteText(staging / "config" / "game.ini",
              "[client]\nresources=" + std::to_string(effective) + "\nlanguage=auto\nwindowed=0\n");
    const Bytes skin = EvolvedBytes(spec, version, kResourcesIndex,
                                    std::max<uint64_t>(spec.largestPack / 16, 8192), 1);
    WriteBytes(staging / "ui" / "skin.dat", skin.data(), skin.size());
    const Bytes font = Random(Mix(spec.seed, kResourcesIndex, 0) + 2).Make(16384);
    WriteBytes(staging / "ui" / "fonts" / "main.fnt", font.data(), font.size());

    const std::vector<std::string> entries = {"readme.txt", "config/",   "config/game.ini",
                                              "ui/",        "ui/fonts/", "ui/fonts/main.fnt",
                                              "ui/skin.dat"};
    const std::chrono::sys_seconds noon{std::chrono::sys_days{std::chrono::year{2026} / 1 / 1} +
                                        std::chrono::hours{12}};
    const fs::file_time_type stamp = fs::file_time_type::clock::from_sys(noon);
    for (const std::string& entry : entries) fs::last_write_time(staging / entry, stamp);

    fs::remove(file);
    std::vector<std::string> argv = {"zip", "-X", "-q", fs::absolute(file).string()};
    argv.insert(argv.end(), entries.begin(), entries.end());
    RunProgram(argv, staging);
    fs::remove_all(staging);
}

}  // namespace

void WriteGamePack(const GameSpec& spec, int version, int index, const fs::path& file) {
    if (index == kResourcesIndex) {
        WriteResourcesPack(spec, version, file);
        return;
    }
    const Bytes bytes = EvolvedBytes(spec, version, index, BaseSize(spec, index), 0);
    WriteBytes(file, bytes.data(), bytes.size());
}

void WriteGameVersion(const GameSpec& spec, int version, const fs::path& folder) {
    fs::create_directories(folder);
    for (int index = 0; index < kPackTotal; ++index) {
        WriteGamePack(spec, version, index, folder / PackFileName(index));
    }
}

}  // namespace swarm
