// Polls the condition until a generous deadline: a loaded machine makes a test slower, never wrong.
#pragma once

#include <chrono>
#include <thread>

template <class Condition> bool wait_until(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
