// The process's default notification center is Foundation's. With no
// operation queue, observers run synchronously on the posting thread.
#import <Foundation/Foundation.h>

#include "platform/platform.h"

namespace platform {

static NSString* string_of(const std::string& text)
{
    return [NSString stringWithUTF8String:text.c_str()];
}

// The token that names the observer is dropped: observers are never removed.
void notification_add_observer(const std::string& name, Observer observer)
{
    [[NSNotificationCenter defaultCenter] addObserverForName:string_of(name)
                                                      object:nil
                                                       queue:nil
                                                  usingBlock:^(NSNotification* note) {
                                                      (void)note;
                                                      observer(name);
                                                  }];
}

void notification_post(const std::string& name)
{
    [[NSNotificationCenter defaultCenter] postNotificationName:string_of(name) object:nil];
}

}  // namespace platform
