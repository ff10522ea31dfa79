// Detached threads: never joined, so nothing waits on them at exit.
#include "platform/platform.h"

#include <thread>

namespace platform {

void thread_detach(Block block)
{
    std::thread(std::move(block)).detach();
}

}  // namespace platform
