// Repeating timers are dispatch timer sources targeting the queue. A source
// runs while its handle is held; libdispatch cancels it when the last one goes.
#include "platform/dispatch_queue.h"

namespace platform {

struct TimerSource {
    dispatch_source_t source;
    bool resumed = false;
    // Releasing a suspended source is a fault: one never resumed is
    // cancelled and resumed first, so it ends without firing.
    ~TimerSource()
    {
        if (!resumed) {
            dispatch_source_cancel(source);
            dispatch_resume(source);
        }
        dispatch_release(source);
    }
};

Timer timer_create(const Queue& queue)
{
    auto created = std::make_shared<TimerSource>();
    created->source = dispatch_source_create(DISPATCH_SOURCE_TYPE_TIMER, 0, 0, queue_dispatch(queue));
    return created;
}

// An interval of 0 fires once: the source's "no period".
void timer_set(const Timer& timer, Nanoseconds start, Nanoseconds interval, Nanoseconds leeway)
{
    uint64_t period = interval.count() > 0 ? static_cast<uint64_t>(interval.count()) : DISPATCH_TIME_FOREVER;
    dispatch_source_set_timer(
        timer->source, dispatch_time(DISPATCH_TIME_NOW, start.count()), period, static_cast<uint64_t>(leeway.count()));
}

void timer_set_handler(const Timer& timer, Block handler)
{
    dispatch_source_set_event_handler(timer->source, ^{ handler(); });
}

void timer_resume(const Timer& timer)
{
    if (timer->resumed)
        return;
    timer->resumed = true;
    dispatch_resume(timer->source);
}

}  // namespace platform
