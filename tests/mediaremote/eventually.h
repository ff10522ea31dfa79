// Waiting on a condition with a generous deadline instead of sleeping.
#pragma once

#include <chrono>
#include <thread>

inline constexpr auto patience = std::chrono::seconds(10);

template <typename Predicate>
bool eventually(Predicate done, std::chrono::milliseconds limit = patience)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
