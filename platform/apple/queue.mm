// Serial queues are libdispatch's own. Each is tagged with itself under one
// key, so a block can tell which queue it runs on.
#include "platform/dispatch_queue.h"

namespace platform {

struct SerialQueue {
    dispatch_queue_t queue;
    ~SerialQueue() { dispatch_release(queue); }
};

static char currentKey;

dispatch_queue_t queue_dispatch(const Queue& queue)
{
    return queue->queue;
}

// No attributes: a serial queue.
Queue queue_create(const char* label)
{
    auto created = std::make_shared<SerialQueue>();
    created->queue = dispatch_queue_create(label, NULL);
    dispatch_queue_set_specific(created->queue, &currentKey, (void*)created->queue, NULL);
    return created;
}

bool queue_is_current(const Queue& queue)
{
    return dispatch_get_specific(&currentKey) == (void*)queue->queue;
}

void queue_async(const Queue& queue, Block block)
{
    dispatch_async(queue->queue, ^{ block(); });
}

void queue_after(const Queue& queue, Nanoseconds delay, Block block)
{
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, delay.count()), queue->queue, ^{ block(); });
}

}  // namespace platform
