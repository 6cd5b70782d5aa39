// The engine's pack table, as the narrow names that test data and file names use.
#pragma once

#include <optional>
#include <string>

#include "platform/cstring.h"

namespace swarm {

inline constexpr int kPackTotal = 21;
inline constexpr int kResourcesIndex = 4;

// Name of pack `index` (0 to 20) in the engine's pack table, e.g. "scripts".
std::string PackName(int index);
// Index of a pack name in the table, if it is one.
std::optional<int> PackIndex(const std::string& name);
// "NAME.vh", the pack's file name in a client's packs/ folder.
std::string PackFileName(int index);

// One of the engine's names (an extension, a folder, a reply) as UTF-8, so that the test data
// is named by the same constants the engine builds its paths and comparisons from.
std::string Narrow(const CString& text);

}  // namespace swarm
