#include "tests/swarm/release_fixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace swarm_test {

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "varnholt-swarm-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make " + pattern);
    m_path = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
}

swarm::GameSpec SmallGame() {
    swarm::GameSpec spec;
    spec.largestPack = 3u << 20;
    return spec;
}

TwoVersionRelease MakeTwoVersionRelease(const fs::path& folder) {
    TwoVersionRelease made;
    made.oldVersion = folder / "v1";
    made.newVersion = folder / "v2";
    swarm::WriteGameVersion(SmallGame(), 1, made.oldVersion);
    swarm::WriteGameVersion(SmallGame(), 2, made.newVersion);
    made.release = swarm::MakeRelease({made.oldVersion, made.newVersion}, folder / "release");
    return made;
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace swarm_test
