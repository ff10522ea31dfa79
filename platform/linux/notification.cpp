// The process's default notification center. It is made on first use and
// never destroyed, so a post from any thread stays safe while the process
// exits. Observers are called outside the lock, from a copy of the list, so
// an observer may post or register without deadlocking.
#include "platform/platform.h"

#include <mutex>
#include <utility>
#include <vector>

namespace platform {

struct NotificationCenter {
    std::mutex mutex;
    std::vector<std::pair<std::string, Observer>> observers;
};

static NotificationCenter& default_center()
{
    static NotificationCenter* center = new NotificationCenter;
    return *center;
}

void notification_add_observer(const std::string& name, Observer observer)
{
    NotificationCenter& center = default_center();
    std::lock_guard lock(center.mutex);
    center.observers.emplace_back(name, std::move(observer));
}

void notification_post(const std::string& name)
{
    NotificationCenter& center = default_center();
    std::vector<Observer> called;
    {
        std::lock_guard lock(center.mutex);
        for (const auto& [observed, observer] : center.observers)
            if (observed == name)
                called.push_back(observer);
    }
    for (const Observer& observer : called)
        observer(name);
}

}  // namespace platform
