// Waiting on an event in tests: poll a condition until a generous deadline,
// so a loaded machine only makes a test slower, never wrong.
#pragma once

#include <chrono>
#include <thread>

template <class Condition>
bool wait_for(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
