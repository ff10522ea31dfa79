#include <gtest/gtest.h>

#include "platform_child.h"

// exit(0) from a detached thread while the queue, the timer and the run loop
// are busy: a process-wide object torn down under a running thread would
// crash or hang some of these runs.
TEST(ProcessExit, FromADetachedThreadWhileEverythingRunsEndsWithStatusZero)
{
  for (int run = 0; run < 30; run++) {
    ChildResult child = run_child({PLATFORM_EXIT_PROBE});
    ASSERT_TRUE(child.exited) << "run " << run << " crashed or hung: " << child.err;
    ASSERT_EQ(child.status, 0) << "run " << run << ": " << child.err;
  }
}
