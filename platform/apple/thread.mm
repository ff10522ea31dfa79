// Detached threads are Foundation's: never joined.
#import <Foundation/Foundation.h>

#include "platform/platform.h"

namespace platform {

void thread_detach(Block block)
{
    [NSThread detachNewThreadWithBlock:^{ block(); }];
}

}  // namespace platform
