// The run loop the calling thread parks in. Made on first use and never
// destroyed: the parked thread may still be waiting on it while another
// thread exits the process.
#include "platform/platform.h"

#include <condition_variable>
#include <mutex>

namespace platform {

struct RunLoop {
  std::mutex mutex;
  std::condition_variable wake;
  bool stopped = false;
};

static RunLoop& main_loop()
{
  static RunLoop* loop = new RunLoop;
  return *loop;
}

void run_loop_run()
{
  RunLoop& loop = main_loop();
  std::unique_lock lock(loop.mutex);
  loop.wake.wait(lock, [&loop] { return loop.stopped; });
  loop.stopped = false;
}

void run_loop_stop()
{
  RunLoop& loop = main_loop();
  std::lock_guard lock(loop.mutex);
  loop.stopped = true;
  loop.wake.notify_all();
}

}  // namespace platform
