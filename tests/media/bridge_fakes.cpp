#include "bridge_fakes.h"

#include "wait.h"

#include <atomic>
#include <mutex>

static std::mutex lock;
static std::vector<Clock::time_point>& queried = *new std::vector<Clock::time_point>;

static void note_pid_query(const platform::Queue&, const MRPIDCallback&)
{
    std::lock_guard guard(lock);
    queried.push_back(Clock::now());
}

void use_fakes()
{
    if (!queue)
        queue = platform::queue_create("com.tolvane.media");
    drain_queue(std::chrono::milliseconds(150));  // past the debounce
    getPID = note_pid_query;
    std::lock_guard guard(lock);
    queried.clear();
}

std::vector<Clock::time_point> refreshes()
{
    std::lock_guard guard(lock);
    return queried;
}

bool drain_queue(std::chrono::milliseconds delay)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    platform::queue_after(queue, delay, [done] { *done = true; });
    return wait_until([&] { return done->load(); });
}
