// The libdispatch queue behind a platform queue, for code that hands it to
// the system's own interfaces (the media framework's answers come on it).
#pragma once

#include "platform/platform.h"

#include <dispatch/dispatch.h>

namespace platform {

dispatch_queue_t queue_dispatch(const Queue& queue);

}  // namespace platform
