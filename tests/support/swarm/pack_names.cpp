#include "tests/support/swarm/pack_names.h"

#include <stdexcept>

#include "platform/utf8.h"
#include "update/constants.h"
#include "update/packs.h"

namespace swarm {

static_assert(kPackTotal == kPackCount && kResourcesIndex == kResourcesPack,
              "the test data follows the engine's pack table");

std::string PackName(int index) {
    if (index < 0 || index >= kPackTotal) {
        throw std::out_of_range("no pack has the index " + std::to_string(index));
    }
    return WideToUtf8(g_aPackNames[index]);
}

std::optional<int> PackIndex(const std::string& name) {
    for (int index = 0; index < kPackTotal; ++index) {
        if (PackName(index) == name) return index;
    }
    return std::nullopt;
}

std::string PackFileName(int index) { return PackName(index) + Narrow(kPackExt); }

std::string Narrow(const CString& text) { return WideToUtf8(text.GetString()); }

}  // namespace swarm
