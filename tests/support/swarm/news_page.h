// The news page that the launcher's window shows.
#pragma once

#include <string>

namespace swarm {

// A game's news page: a title, a few dated items and a link to the game's site.
std::string MakeNewsPage();

}  // namespace swarm
