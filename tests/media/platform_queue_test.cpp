#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform_wait.h"

using namespace std::chrono_literals;
using platform::Nanoseconds;

TEST(SerialQueue, RunsBlocksInSubmissionOrder)
{
  platform::Queue queue = platform::queue_create("test.fifo");
  std::vector<int> seen;  // touched only on the queue
  std::atomic<bool> done{false};
  for (int i = 0; i < 1000; i++)
    platform::queue_async(queue, [&seen, i] { seen.push_back(i); });
  platform::queue_async(queue, [&done] { done = true; });

  ASSERT_TRUE(wait_for([&] { return done.load(); }));
  ASSERT_EQ(seen.size(), 1000u);
  for (int i = 0; i < 1000; i++)
    EXPECT_EQ(seen[i], i);
}

TEST(SerialQueue, RunsOneBlockAtATimeOnItsOwnWorker)
{
  platform::Queue queue = platform::queue_create("test.serial");
  std::atomic<int> running{0}, overlaps{0}, offQueue{0}, finished{0}, submitters{0};
  auto submit = [&] {
    for (int i = 0; i < 200; i++)
      platform::queue_async(queue, [&] {
        if (running.fetch_add(1) != 0)
          overlaps++;
        if (!platform::queue_is_current(queue))
          offQueue++;
        std::this_thread::yield();
        running--;
        finished++;
      });
    submitters++;
  };
  platform::thread_detach(submit);
  submit();

  ASSERT_TRUE(wait_for([&] { return finished == 400 && submitters == 2; }));
  EXPECT_EQ(overlaps, 0);
  EXPECT_EQ(offQueue, 0);
  EXPECT_FALSE(platform::queue_is_current(queue));
}

TEST(SerialQueue, RunsDelayedBlocksByDeadline)
{
  platform::Queue queue = platform::queue_create("test.after");
  std::vector<std::string> seen;  // touched only on the queue
  std::atomic<bool> done{false};
  platform::queue_after(queue, 300ms, [&] {
    seen.push_back("late");
    done = true;
  });
  platform::queue_after(queue, 100ms, [&] { seen.push_back("early"); });
  platform::queue_async(queue, [&] { seen.push_back("now"); });

  ASSERT_TRUE(wait_for([&] { return done.load(); }));
  EXPECT_EQ(seen, (std::vector<std::string>{"now", "early", "late"}));
}

TEST(SerialQueue, KeepsSubmissionOrderAmongEqualDelays)
{
  platform::Queue queue = platform::queue_create("test.equal");
  std::vector<int> seen;
  std::atomic<bool> done{false};
  for (int i = 0; i < 100; i++)
    platform::queue_after(queue, 50ms, [&seen, i] { seen.push_back(i); });
  platform::queue_after(queue, 50ms, [&done] { done = true; });

  ASSERT_TRUE(wait_for([&] { return done.load(); }));
  for (int i = 0; i < 100; i++)
    EXPECT_EQ(seen.at(i), i);
}

TEST(SerialQueue, NeverRunsADelayedBlockEarly)
{
  platform::Queue queue = platform::queue_create("test.not-early");
  std::atomic<bool> done{false};
  std::chrono::steady_clock::time_point ranAt;
  auto submittedAt = std::chrono::steady_clock::now();
  platform::queue_after(queue, 150ms, [&] {
    ranAt = std::chrono::steady_clock::now();
    done = true;
  });

  ASSERT_TRUE(wait_for([&] { return done.load(); }));
  EXPECT_GE(ranAt - submittedAt, 150ms);
}

TEST(SerialQueue, RunsPendingWorkAfterTheLastHandleIsGone)
{
  std::atomic<bool> ran{false};
  platform::Queue queue = platform::queue_create("test.released");
  platform::queue_after(queue, 50ms, [&ran] { ran = true; });
  queue.reset();

  EXPECT_TRUE(wait_for([&] { return ran.load(); }));
}

TEST(CancellableBlock, NeverRunsOnceCancelledBeforeItsTurn)
{
  platform::Queue queue = platform::queue_create("test.cancel");
  std::atomic<int> runs{0};
  std::atomic<bool> after{false};
  platform::BlockRef block = platform::block_create([&runs] { runs++; });
  platform::queue_after(queue, 50ms, block);
  platform::block_cancel(block);
  platform::queue_after(queue, 100ms, [&after] { after = true; });

  ASSERT_TRUE(wait_for([&] { return after.load(); }));
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(platform::block_is_cancelled(block));
}

TEST(CancellableBlock, CancelAfterItRanChangesNothing)
{
  platform::Queue queue = platform::queue_create("test.cancel-late");
  std::atomic<int> runs{0};
  std::atomic<bool> after{false};
  platform::BlockRef block = platform::block_create([&runs] { runs++; });
  platform::queue_after(queue, Nanoseconds(0), block);
  ASSERT_TRUE(wait_for([&] { return runs == 1; }));

  platform::block_cancel(block);
  platform::queue_async(queue, [&after] { after = true; });

  ASSERT_TRUE(wait_for([&] { return after.load(); }));
  EXPECT_EQ(runs, 1);
}
