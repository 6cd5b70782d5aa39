#include "tests/support/swarm/pack_checksum.h"

#include <stdexcept>

#include "platform/exceptions.h"
#include "platform/utf8.h"
#include "tests/support/swarm/engine_error.h"
#include "tests/support/swarm/pack_names.h"
#include "update/file_utils.h"
#include "update/packs.h"

namespace swarm {

uint32_t PackChecksum(const std::filesystem::path& file) {
    DWORD checksum = 0;
    const std::wstring path = Utf8ToWide(file.string());
    try {
        CalcFileChecksum(path.c_str(), &checksum, nullptr);
    } catch (CException* error) {
        throw std::runtime_error("cannot checksum " + file.string() + TakeEngineReason(error));
    }
    return checksum;
}

std::string ChecksumText(uint32_t checksum) { return Narrow(DwordToHex(checksum)); }

}  // namespace swarm
