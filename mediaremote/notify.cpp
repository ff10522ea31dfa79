#include "notify.h"

#include "platform/platform.h"

#include <atomic>

static std::atomic<bool> registered;

void notify_register()
{
    registered = true;
}

void notify_post(const char* name)
{
    if (registered)
        platform::notification_post(name);
}
