#include "slow_loop.h"

#include <poll.h>

#include <algorithm>

using namespace std::chrono_literals;

// Polls in short turns so that the loop sees its end without a wake-up
// descriptor of its own.
static bool message_waiting(sdbus::IConnection& connection)
{
    auto data = connection.getEventLoopPollData();
    pollfd ready = {data.fd, data.events, 0};
    int timeout = data.getPollTimeout();
    return poll(&ready, 1, timeout < 0 ? 100 : std::min(timeout, 100)) > 0;
}

SlowLoop::SlowLoop(sdbus::IConnection& connection, std::chrono::milliseconds delay)
    : connection_(connection), thread_([this, delay] {
          std::unique_lock guard(lock_);
          while (!stopping_) {
              guard.unlock();
              bool waiting = message_waiting(connection_);
              guard.lock();
              if (waiting && stop_.wait_for(guard, delay, [this] { return stopping_; }))
                  break;
              while (connection_.processPendingRequest()) {
              }
          }
      })
{
}

SlowLoop::~SlowLoop()
{
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    stop_.notify_one();
    thread_.join();
}
