// Threads started with the C runtime's own thread start. The pthreads layer
// behind std::thread now and then lost a detached thread that started while
// another detached one ended (seen under load: its body never ran).
#pragma once
#include <functional>

#include "win/Resources.h"

namespace qelt::win {

// Runs body on a new thread and gives its handle, signalled when the thread
// has ended; dropping the handle leaves the thread running. Throws Exception
// when no thread can be made. An exception escaping body ends the process,
// as with std::thread.
UniqueHandle StartThread(std::function<void()> body);

}  // namespace qelt::win
