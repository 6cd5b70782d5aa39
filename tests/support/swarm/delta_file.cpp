#include "tests/support/swarm/delta_file.h"

#include "tests/support/swarm/run_program.h"

namespace swarm {

void MakeDeltaFile(const std::filesystem::path& oldPack, const std::filesystem::path& newPack,
                   const std::filesystem::path& delta) {
    RunProgram({"xdelta3", "-e", "-f", "-n", "-A=", "-S", "none", "-D", "-s", oldPack.string(),
                newPack.string(), delta.string()});
}

}  // namespace swarm
