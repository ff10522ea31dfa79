#include <gtest/gtest.h>

#include <atomic>

#include "platform/platform.h"

TEST(RunLoop, RunReturnsOnceAnotherThreadStopsIt)
{
  std::atomic<bool> stopped{false};
  platform::thread_detach([&stopped] {
    stopped = true;
    platform::run_loop_stop();
  });

  platform::run_loop_run();
  EXPECT_TRUE(stopped);
}

TEST(RunLoop, StopBeforeRunIsKeptForTheNextRun)
{
  platform::run_loop_stop();
  platform::run_loop_run();
  SUCCEED();
}
