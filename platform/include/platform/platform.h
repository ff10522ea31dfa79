// The small platform the bridge is written against: on macOS these are
// libdispatch, Foundation and CoreFoundation (apple/); on Linux they are ours
// (linux/), in one shared library that the bridge and the media framework
// stand-in both link, so that both see the same notification center.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

using Block = std::function<void()>;
using Nanoseconds = std::chrono::nanoseconds;

// A serial queue: one worker, blocks run one at a time in submission order;
// delayed blocks run at their deadline on a monotonic clock.
struct SerialQueue;
using Queue = std::shared_ptr<SerialQueue>;

Queue queue_create(const char* label);
bool queue_is_current(const Queue& queue);  // true on the queue's own worker
void queue_async(const Queue& queue, Block block);
void queue_after(const Queue& queue, Nanoseconds delay, Block block);

// A cancellable block: once cancelled, it never runs unless it has already
// started; cancelling one that has run changes nothing.
struct CancellableBlock;
using BlockRef = std::shared_ptr<CancellableBlock>;

BlockRef block_create(Block body);
void block_cancel(const BlockRef& block);
void queue_after(const Queue& queue, Nanoseconds delay, const BlockRef& block);

// A repeating timer that runs its handler on a queue: first at start, then
// every interval; a firing may come up to leeway late. Created suspended;
// once resumed it runs while its handle is held (on Linux, until the process
// ends). An interval of 0 fires once.
struct TimerSource;
using Timer = std::shared_ptr<TimerSource>;

Timer timer_create(const Queue& queue);
void timer_set(const Timer& timer, Nanoseconds start, Nanoseconds interval, Nanoseconds leeway);
void timer_set_handler(const Timer& timer, Block handler);
void timer_resume(const Timer& timer);

// The process's default notification center. Observers run synchronously on
// the posting thread; they are never removed.
using Observer = std::function<void(const std::string& name)>;

void notification_add_observer(const std::string& name, Observer observer);
void notification_post(const std::string& name);

// Parks the calling thread in its run loop. On Linux it never returns; on
// macOS it returns when the thread's run loop is stopped or runs dry.
void run_loop_run();

// Starts a detached thread that runs the block.
void thread_detach(Block block);

// An autorelease pool around work that makes temporary platform objects;
// pop the token that push gave. Nothing to do where there are none (Linux).
void* autorelease_pool_push();
void autorelease_pool_pop(void* pool);

}  // namespace platform
