// Repeating timers, carried by their queue: each firing is a block due at the
// firing's deadline that runs the handler and queues the next one. A resumed
// timer is held by its pending firing and runs for the life of the process.
// Firings come on time, which is within any leeway asked for.
#include "queue_at.h"

#include <algorithm>
#include <mutex>

namespace platform {

struct TimerSource {
    Queue queue;
    std::mutex mutex;
    Block handler;
    Nanoseconds start{0};
    Nanoseconds interval{0};
    uint64_t schedule = 0;  // bumped by every timer_set; 0 until the first
    bool resumed = false;
};

static void arm(const Timer& timer, uint64_t schedule, Clock::time_point due);

static void fire(const Timer& timer, uint64_t schedule, Clock::time_point due)
{
    Block handler;
    Nanoseconds interval;
    {
        std::lock_guard lock(timer->mutex);
        if (schedule != timer->schedule)
            return;  // superseded by a later timer_set
        handler = timer->handler;
        interval = timer->interval;
    }
    if (handler)
        handler();
    if (interval <= Nanoseconds(0))
        return;  // no period: it fires once
    // Firings missed while the queue was busy fold into one, as they would
    // with a late wake-up.
    arm(timer, schedule, std::max(due + interval, Clock::now()));
}

static void arm(const Timer& timer, uint64_t schedule, Clock::time_point due)
{
    queue_at(timer->queue, due, [timer, schedule, due] { fire(timer, schedule, due); });
}

static void arm_locked(const Timer& timer)
{
    if (timer->resumed && timer->schedule != 0)
        arm(timer, timer->schedule, Clock::now() + std::max(timer->start, Nanoseconds(0)));
}

Timer timer_create(const Queue& queue)
{
    auto timer = std::make_shared<TimerSource>();
    timer->queue = queue;
    return timer;
}

void timer_set(const Timer& timer, Nanoseconds start, Nanoseconds interval, Nanoseconds /*leeway*/)
{
    std::lock_guard lock(timer->mutex);
    timer->start = start;
    timer->interval = interval;
    timer->schedule++;
    arm_locked(timer);
}

void timer_set_handler(const Timer& timer, Block handler)
{
    std::lock_guard lock(timer->mutex);
    timer->handler = std::move(handler);
}

void timer_resume(const Timer& timer)
{
    std::lock_guard lock(timer->mutex);
    if (timer->resumed)
        return;
    timer->resumed = true;
    arm_locked(timer);
}

}  // namespace platform
