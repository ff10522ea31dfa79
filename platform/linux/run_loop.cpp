// The run loop the calling thread parks in. Nothing on Linux ever stops it:
// the process ends from another thread. Made on first use and never
// destroyed, so the parked thread is never left waiting on a dead object.
#include "platform/platform.h"

#include <condition_variable>
#include <mutex>

namespace platform {

void run_loop_run()
{
    static std::mutex& mutex = *new std::mutex;
    static std::condition_variable& wake = *new std::condition_variable;
    std::unique_lock lock(mutex);
    wake.wait(lock, [] { return false; });
}

}  // namespace platform
