#include "tests/support/swarm/engine_error.h"

#include "platform/exceptions.h"
#include "platform/utf8.h"

namespace swarm {

std::string TakeEngineReason(CException* error) {
    const std::string reason = WideToUtf8(error->GetErrorMessage().GetString());
    error->Delete();
    return reason.empty() ? "" : ": " + reason;
}

}  // namespace swarm
