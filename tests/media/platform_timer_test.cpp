#include <gtest/gtest.h>

#include <atomic>

#include "platform/platform.h"
#include "platform_wait.h"

using namespace std::chrono_literals;
using platform::Nanoseconds;

// Resumed timers run until the process ends, so their handlers only touch
// counters that outlive the test.
static std::atomic<int>& counter()
{
  return *new std::atomic<int>(0);
}

// A timer set and given its handler, still suspended.
static platform::Timer make_timer(const platform::Queue& queue, Nanoseconds start, Nanoseconds interval,
                                  platform::Block handler)
{
  platform::Timer timer = platform::timer_create(queue);
  platform::timer_set(timer, start, interval, Nanoseconds(0));
  platform::timer_set_handler(timer, std::move(handler));
  return timer;
}

TEST(Timer, FiresAtOnceOnItsQueueWhenStartIsZero)
{
  platform::Queue queue = platform::queue_create("test.timer-now");
  std::atomic<int>& onQueue = counter();
  platform::Timer timer =
      make_timer(queue, Nanoseconds(0), 1h, [&onQueue, queue] { onQueue += platform::queue_is_current(queue); });
  platform::timer_resume(timer);

  EXPECT_TRUE(wait_for([&] { return onQueue == 1; }));
}

TEST(Timer, RepeatsEveryInterval)
{
  platform::Queue queue = platform::queue_create("test.timer-repeat");
  std::atomic<int>& fired = counter();
  platform::Timer timer = make_timer(queue, Nanoseconds(0), 20ms, [&fired] { fired++; });
  platform::timer_resume(timer);

  EXPECT_TRUE(wait_for([&] { return fired >= 5; }));
}

TEST(Timer, StaysSilentUntilResumed)
{
  platform::Queue queue = platform::queue_create("test.timer-suspended");
  std::atomic<int>& fired = counter();
  std::atomic<bool> later{false};
  platform::Timer timer = make_timer(queue, Nanoseconds(0), 1h, [&fired] { fired++; });
  // Had the timer been armed, its firing would be due before this block.
  platform::queue_after(queue, 50ms, [&later] { later = true; });

  ASSERT_TRUE(wait_for([&] { return later.load(); }));
  EXPECT_EQ(fired, 0);
  platform::timer_resume(timer);
  EXPECT_TRUE(wait_for([&] { return fired == 1; }));
}

TEST(Timer, StartsAfterTheGivenStartDelay)
{
  platform::Queue queue = platform::queue_create("test.timer-start");
  std::atomic<int>& fired = counter();
  std::atomic<bool> before{false};
  platform::Timer timer = make_timer(queue, 200ms, 1h, [&fired] { fired++; });
  platform::timer_resume(timer);
  platform::queue_after(queue, 50ms, [&] { before = fired == 0; });

  ASSERT_TRUE(wait_for([&] { return fired == 1; }));
  EXPECT_TRUE(before);
}
