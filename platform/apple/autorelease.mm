// Autorelease pools across a function's span: the token is the pool itself.
// Built without ARC, which forbids naming the pool class.
#import <Foundation/Foundation.h>

#include "platform/platform.h"

namespace platform {

void* autorelease_pool_push()
{
    return [[NSAutoreleasePool alloc] init];
}

void autorelease_pool_pop(void* pool)
{
    [static_cast<NSAutoreleasePool*>(pool) drain];
}

}  // namespace platform
