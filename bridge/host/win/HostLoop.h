// One connection from start to end: takes the standard handles, reads frames
// on a thread of its own, and answers them in order on this thread, the
// control's apartment, processing window messages while it waits.
#pragma once
#include <functional>
#include <memory>

#include "Session.h"

namespace qelt::bridge {

// makeEndpoint gets what tells whether input has ended. Returns the exit code.
int RunHost(const std::function<std::unique_ptr<Endpoint>(std::function<bool()> inputEnded)>& makeEndpoint);

// Memory ran out: the host ends at once (exit 3), never with a half-made reply.
[[noreturn]] void EndOutOfMemory();

}  // namespace qelt::bridge
