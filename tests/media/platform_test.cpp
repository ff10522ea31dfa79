// The platform layer. Blocks, timers and observers may outlive a test, so what they touch is static.
#include "platform/platform.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Due now, blocks run in order, one at a time, on the queue's worker; later by deadline, never early; cancelled, never.
TEST(SerialQueue, RunsBlocksOneAtATimeInOrderOfDeadlineThenSubmission)
{
    platform::Queue queue = platform::queue_create("test.queue");
    static std::vector<int> seen, order;  // seen touched only on the queue
    static std::atomic<int> faults = 0, running = 0;
    static std::atomic<Clock::time_point> lastAt;
    auto submitted = Clock::now();
    platform::queue_after(queue, 300ms, [] { seen.push_back(-3), lastAt = Clock::now(); });
    platform::queue_after(queue, 100ms, [] { seen.push_back(-1); });
    platform::queue_after(queue, 100ms, [] { seen.push_back(-2); });
    platform::BlockRef cancelled = platform::block_create([] { seen.push_back(-4); });
    platform::queue_after(queue, 50ms, cancelled), platform::block_cancel(cancelled);
    for (int i = 0; i < 1000; i++)
        order.push_back(i), platform::queue_async(queue, [queue, i] {
            faults += running++ != 0 || !platform::queue_is_current(queue);
            seen.push_back(i), running--;
        });
    ASSERT_TRUE(wait_until([] { return lastAt.load() != Clock::time_point(); }));
    EXPECT_EQ(faults, 0);
    order.insert(order.end(), {-1, -2, -3});
    EXPECT_EQ(seen, order);
    EXPECT_GE(lastAt.load() - submitted, 300ms);
    EXPECT_FALSE(platform::queue_is_current(queue));
}

// As the bridge's: at once, then firing k no sooner than k periods after resuming (a late one may shorten a gap).
TEST(Timer, FiresAtOnceThenEveryPeriod)
{
    platform::Queue queue = platform::queue_create("test.timer");
    static std::atomic<int> firings = 0, offQueue = 0, firstInTime = 0, beforeResume = -1, early = 0;
    static Clock::time_point resumed;
    platform::Timer timer = platform::timer_create(queue);
    platform::timer_set_handler(timer, [queue] {
        early = early || Clock::now() - resumed < firings++ * 300ms, offQueue += !platform::queue_is_current(queue);
    });
    platform::timer_set(timer, 0ns, 300ms, 0ns);
    platform::queue_after(queue, 50ms, [] { beforeResume = firings.load(); });  // set, but not yet resumed
    ASSERT_TRUE(wait_until([] { return beforeResume >= 0; }));
    EXPECT_EQ(beforeResume, 0);
    resumed = Clock::now(), platform::timer_resume(timer);
    // Due well before the second firing: only a firing at once precedes it.
    platform::queue_after(queue, 150ms, [] { firstInTime = firings == 1 ? 1 : -1; });
    ASSERT_TRUE(wait_until([] { return firstInTime != 0 && firings >= 4; }));
    EXPECT_EQ(std::tuple(firstInTime.load(), early.load(), offQueue.load()), std::tuple(1, 0, 0));
}

TEST(NotificationCenter, RunsTheObserversOfThePostedNameOnThePostingThread)
{
    static std::vector<std::thread::id> seen;  // written only by the poster
    for (const char* name : {"test.mine", "test.mine", "test.other"})
        platform::notification_add_observer(name, [name](const std::string& posted) {
            seen.push_back(posted == name ? std::this_thread::get_id() : std::thread::id());
        });
    std::thread::id poster;
    std::thread([&poster] { poster = std::this_thread::get_id(), platform::notification_post("test.mine"); }).join();
    EXPECT_EQ(seen, (std::vector<std::thread::id>{poster, poster}));
}
