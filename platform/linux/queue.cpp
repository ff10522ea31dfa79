// Serial queues: one detached worker per queue runs its blocks one at a time,
// earliest deadline first, in submission order among equal deadlines. The
// worker owns the queue; handing out the last handle only tells it to end once
// nothing is left to run, so a queue never disappears under its own worker.
#include "queue_at.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace platform {

struct SerialQueue {
    std::mutex mutex;
    std::condition_variable wake;
    std::map<std::pair<Clock::time_point, uint64_t>, Block> work;
    uint64_t submitted = 0;
    bool released = false;
    std::thread::id worker;  // set before the queue is handed out, never changed
};

static bool next_block(SerialQueue* queue, Block& block)
{
    std::unique_lock lock(queue->mutex);
    for (;;) {
        if (queue->work.empty()) {
            if (queue->released)
                return false;
            queue->wake.wait(lock);
            continue;
        }
        auto first = queue->work.begin();
        Clock::time_point due = first->first.first;
        if (Clock::now() < due) {
            queue->wake.wait_until(lock, due);
            continue;
        }
        block = std::move(first->second);
        queue->work.erase(first);
        return true;
    }
}

static void run_worker(SerialQueue* queue)
{
    Block block;
    while (next_block(queue, block)) {
        block();
        block = nullptr;  // drop its captures before waiting for the next one
    }
    delete queue;
}

static void release(SerialQueue* queue)
{
    std::lock_guard lock(queue->mutex);
    queue->released = true;
    queue->wake.notify_one();
}

static void insert_locked(SerialQueue* queue, Clock::time_point due, Block block)
{
    queue->work.emplace(std::pair(due, queue->submitted++), std::move(block));
    queue->wake.notify_one();
}

// The label names a queue for Apple's tools only.
Queue queue_create(const char* /*label*/)
{
    auto* queue = new SerialQueue;
    std::thread worker(run_worker, queue);
    queue->worker = worker.get_id();
    worker.detach();
    return Queue(queue, release);
}

// Compared by thread id rather than kept in a thread_local: a library loaded
// with dlopen gets dynamic TLS, which LeakSanitizer misreads at exit.
bool queue_is_current(const Queue& queue)
{
    return queue->worker == std::this_thread::get_id();
}

void queue_at(const Queue& queue, Clock::time_point due, Block block)
{
    std::lock_guard lock(queue->mutex);
    insert_locked(queue.get(), due, std::move(block));
}

// The deadline is taken under the lock so that order on the queue is the
// order in which submissions got in, whatever thread they came from.
void queue_after(const Queue& queue, Nanoseconds delay, Block block)
{
    std::lock_guard lock(queue->mutex);
    insert_locked(queue.get(), Clock::now() + std::max(delay, Nanoseconds(0)), std::move(block));
}

void queue_async(const Queue& queue, Block block)
{
    queue_after(queue, Nanoseconds(0), std::move(block));
}

}  // namespace platform
