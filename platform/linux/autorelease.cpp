// No Objective-C objects on Linux, so no pool either.
#include "platform/platform.h"

namespace platform {

void* autorelease_pool_push()
{
    return nullptr;
}

void autorelease_pool_pop(void*) { }

}  // namespace platform
