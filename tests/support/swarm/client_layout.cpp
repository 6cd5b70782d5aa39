#include "tests/support/swarm/client_layout.h"

#include <fstream>
#include <stdexcept>
#include <vector>

#include "tests/support/swarm/pack_checksum.h"
#include "tests/support/swarm/pack_names.h"

namespace swarm {

namespace fs = std::filesystem;

void CorruptPack(const fs::path& pack) {
    const uint32_t before = PackChecksum(pack);
    std::fstream file(pack, std::ios::binary | std::ios::in | std::ios::out);
    std::vector<char> head(64);
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    const std::streamsize length = file.gcount();
    if (length == 0) throw std::runtime_error("cannot corrupt the empty pack " + pack.string());
    file.clear();
    for (std::streamsize i = 0; i < length; ++i) head[static_cast<size_t>(i)] ^= 0x5A;
    file.seekp(0);
    file.write(head.data(), length);
    file.close();
    if (!file || PackChecksum(pack) == before) {
        throw std::runtime_error("cannot corrupt " + pack.string());
    }
}

void MakeClientFolder(const fs::path& versionFolder, const fs::path& clientFolder,
                      const ClientLayout& layout) {
    const fs::path packs = clientFolder / "packs";
    fs::create_directories(packs);
    for (int index = 0; index < kPackTotal; ++index) {
        if (layout.missingPacks.count(index) != 0) continue;
        const fs::path from = versionFolder / PackFileName(index);
        if (!fs::exists(from)) continue;
        const fs::path to = packs / PackFileName(index);
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        if (layout.corruptedPacks.count(index) != 0) CorruptPack(to);
    }
}

}  // namespace swarm
