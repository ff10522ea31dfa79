// The calling thread's CoreFoundation run loop, in its default mode.
#include <CoreFoundation/CoreFoundation.h>

#include "platform/platform.h"

namespace platform {

void run_loop_run()
{
    CFRunLoopRun();
}

}  // namespace platform
