// Polls the condition until a generous deadline: a loaded machine makes a test slower, never wrong.
#pragma once

#include <chrono>
#include <thread>

template <class Condition> bool wait_until(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    using namespace std::chrono;
    for (auto deadline = steady_clock::now() + limit; !done(); std::this_thread::sleep_for(milliseconds(2)))
        if (steady_clock::now() > deadline)
            return false;
    return true;
}
