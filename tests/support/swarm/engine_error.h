// Engine exceptions turned into the text of the tools' own errors.
#pragma once

#include <string>

class CException;

namespace swarm {

// ": " and the exception's message, or "" when it carries none. Takes ownership of `error` and
// deletes it.
std::string TakeEngineReason(CException* error);

}  // namespace swarm
